// The fake JNI functions; JNICALL like every slot of the real table, or 32-bit Windows breaks.
#include "fake_jni.h"

#include "modified_utf8.h"

#include <algorithm>
#include <cstring>

namespace {

FakeJni& fakeOf(JNIEnv* env) {
    return *reinterpret_cast<FakeJni*>(env);
}

FakeString& stringOf(jstring str) {
    return *reinterpret_cast<FakeString*>(str);
}

jsize JNICALL fakeGetStringLength(JNIEnv* env, jstring str) {
    ++fakeOf(env).jniCalls;
    return stringOf(str).reportedLength;
}

const jchar* JNICALL fakeGetStringChars(JNIEnv* env, jstring str, jboolean* isCopy) {
    FakeJni& fake = fakeOf(env);
    ++fake.jniCalls;
    if (isCopy != nullptr) {
        *isCopy = JNI_FALSE;
    }
    if (fake.withholdChars) {
        return nullptr;
    }
    const jchar* chars = reinterpret_cast<const jchar*>(stringOf(str).units.c_str());
    fake.lent.push_back(chars);
    ++fake.charsHeld;
    return chars;
}

// The JVM copies the units straight into the caller's buffer; a region past the end of the string,
// which a caller that asked for its length never asks for, would throw.
void JNICALL fakeGetStringRegion(JNIEnv* env, jstring str, jsize start, jsize length, jchar* buffer) {
    FakeJni& fake = fakeOf(env);
    ++fake.jniCalls;
    ++fake.regionsCopied;
    const std::u16string& units = stringOf(str).units;
    if (start < 0 || length < 0 || static_cast<size_t>(start) + static_cast<size_t>(length) > units.size()) {
        ++fake.badCalls;
        return;
    }
    std::copy(units.begin() + start, units.begin() + start + length, buffer);
}

void JNICALL fakeReleaseStringChars(JNIEnv* env, jstring, const jchar* chars) {
    FakeJni& fake = fakeOf(env);
    ++fake.jniCalls;
    auto lent = std::find(fake.lent.begin(), fake.lent.end(), chars);
    if (lent == fake.lent.end()) {
        ++fake.badReleases;
        return;
    }
    fake.lent.erase(lent);
    --fake.charsHeld;
}

// What NewString and NewStringUTF give: a string the caller holds a local reference to, or null.
jstring madeString(FakeJni& fake, const std::u16string& units) {
    if (fake.refuseNewString || fake.stringsBeforeRefusal == 0) {
        return nullptr;
    }
    if (fake.stringsBeforeRefusal > 0) {
        --fake.stringsBeforeRefusal;
    }
    jstring made = fake.string(units);
    fake.strings.back().made = true;
    ++fake.stringRefs;
    return made;
}

jstring JNICALL fakeNewString(JNIEnv* env, const jchar* units, jsize length) {
    FakeJni& fake = fakeOf(env);
    ++fake.jniCalls;
    return madeString(fake, std::u16string(reinterpret_cast<const char16_t*>(units), static_cast<size_t>(length)));
}

jstring JNICALL fakeNewStringUTF(JNIEnv* env, const char* bytes) {
    FakeJni& fake = fakeOf(env);
    ++fake.jniCalls;
    ++fake.utfStringsMade;
    bool wellFormed = false;
    std::u16string units = decodeModifiedUtf8(bytes, std::strlen(bytes), &wellFormed);
    return wellFormed ? madeString(fake, units) : nullptr;
}

// JNI allows only a few calls, such as DeleteLocalRef, while an exception is pending.
void enter(FakeJni& fake) {
    ++fake.jniCalls;
    if (fake.exceptionPending) {
        ++fake.callsWithExceptionPending;
    }
}

jobject refuse(FakeJni& fake) {
    fake.exceptionPending = true;
    return nullptr;
}

// The live array `array` names; anything else is a call a JVM would crash on.
FakeByteArray* byteArrayOf(FakeJni& fake, jobject array) {
    for (FakeByteArray& made : fake.byteArrays) {
        if (reinterpret_cast<jobject>(&made) == array && made.live) {
            return &made;
        }
    }
    ++fake.badCalls;
    return nullptr;
}

// Whether [start, start + length) lies in an array of `size` bytes.
bool inRange(jint start, jint length, size_t size) {
    return start >= 0 && length >= 0 && static_cast<size_t>(start) + static_cast<size_t>(length) <= size;
}

jclass JNICALL fakeGetObjectClass(JNIEnv* env, jobject obj) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    if (obj == nullptr) {
        ++fake.badCalls;
        return nullptr;
    }
    // Only strings reach the natives.
    ++fake.localRefs;
    return reinterpret_cast<jclass>(&fake.stringClass);
}

jmethodID JNICALL fakeGetMethodID(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    if (cls != reinterpret_cast<jclass>(&fake.stringClass) || std::strcmp(name, "<init>") != 0 ||
        std::strcmp(signature, "([BIII)V") != 0) {
        ++fake.badCalls;
        return nullptr;
    }
    if (fake.refuseMethod) {
        refuse(fake);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(&fake.latin1Constructor);
}

jbyteArray JNICALL fakeNewByteArray(JNIEnv* env, jsize length) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    if (length < 0) {
        ++fake.badCalls;
        return nullptr;
    }
    if (fake.refuseByteArray) {
        return static_cast<jbyteArray>(refuse(fake));
    }
    ++fake.localRefs;
    fake.byteArrays.push_back(FakeByteArray{std::string(static_cast<size_t>(length), '\0'), true});
    return reinterpret_cast<jbyteArray>(&fake.byteArrays.back());
}

void JNICALL fakeSetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length, const jbyte* bytes) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    FakeByteArray* made = byteArrayOf(fake, array);
    if (made == nullptr) {
        return;
    }
    if (!inRange(start, length, made->bytes.size())) {
        ++fake.badCalls;
        return;
    }
    std::memcpy(&made->bytes[static_cast<size_t>(start)], bytes, static_cast<size_t>(length));
}

// String(byte[] ascii, int hibyte, int offset, int count): each byte b becomes hibyte << 8 | b.
jobject JNICALL fakeNewObjectA(JNIEnv* env, jclass cls, jmethodID method, const jvalue* arguments) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    if (cls != reinterpret_cast<jclass>(&fake.stringClass) ||
        method != reinterpret_cast<jmethodID>(&fake.latin1Constructor)) {
        ++fake.badCalls;
        return nullptr;
    }
    FakeByteArray* array = byteArrayOf(fake, arguments[0].l);
    if (array == nullptr) {
        return nullptr;
    }
    jint hibyte = arguments[1].i;
    jint offset = arguments[2].i;
    jint count = arguments[3].i;
    if (!inRange(offset, count, array->bytes.size())) {
        ++fake.badCalls;
        return nullptr;
    }
    if (fake.refuseNewObject) {
        return refuse(fake);
    }
    std::u16string units;
    for (jint i = offset; i < offset + count; ++i) {
        unsigned char low = static_cast<unsigned char>(array->bytes[static_cast<size_t>(i)]);
        units.push_back(static_cast<char16_t>((hibyte & 0xFF) << 8 | low));
    }
    ++fake.objectsMade;
    jstring made = fake.string(units);
    fake.strings.back().made = true;
    ++fake.stringRefs;
    return made;
}

jclass JNICALL fakeFindClass(JNIEnv* env, const char* name) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    bool bytes = std::strcmp(name, "[B") == 0;
    if (!bytes && std::strcmp(name, "java/lang/String") != 0) {
        ++fake.badCalls;
        return nullptr;
    }
    if (fake.refuseFindClass) {
        return static_cast<jclass>(refuse(fake));
    }
    ++fake.localRefs;
    return reinterpret_cast<jclass>(bytes ? &fake.byteArrayClass : &fake.stringClass);
}

jobjectArray JNICALL fakeNewObjectArray(JNIEnv* env, jsize length, jclass cls, jobject initial) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    bool ofBytes = cls == reinterpret_cast<jclass>(&fake.byteArrayClass);
    if (length < 0 || (cls != reinterpret_cast<jclass>(&fake.stringClass) && !ofBytes) || initial != nullptr) {
        ++fake.badCalls;
        return nullptr;
    }
    if (fake.refuseObjectArray) {
        return static_cast<jobjectArray>(refuse(fake));
    }
    ++fake.localRefs;
    fake.objectArrays.push_back(FakeObjectArray{std::vector<jobject>(static_cast<size_t>(length), nullptr), true, ofBytes});
    return reinterpret_cast<jobjectArray>(&fake.objectArrays.back());
}

FakeObjectArray* objectArrayOf(FakeJni& fake, jobject array) {
    for (FakeObjectArray& made : fake.objectArrays) {
        if (reinterpret_cast<jobject>(&made) == array && made.live) {
            return &made;
        }
    }
    return nullptr;
}

FakeString* liveStringOf(FakeJni& fake, jobject string) {
    for (FakeString& made : fake.strings) {
        if (reinterpret_cast<jobject>(&made) == string && !made.deleted) {
            return &made;
        }
    }
    return nullptr;
}

void JNICALL fakeSetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    FakeObjectArray* made = objectArrayOf(fake, array);
    if (made == nullptr || index < 0 || static_cast<size_t>(index) >= made->elements.size() ||
        (made->ofBytes ? byteArrayOf(fake, value) == nullptr : liveStringOf(fake, value) == nullptr)) {
        ++fake.badCalls;
        return;
    }
    made->elements[static_cast<size_t>(index)] = value;
}

void JNICALL fakeDeleteLocalRef(JNIEnv* env, jobject ref) {
    FakeJni& fake = fakeOf(env);
    ++fake.jniCalls;
    if (ref == nullptr) {
        return;  // allowed, and does nothing
    }
    if (ref == reinterpret_cast<jobject>(&fake.stringClass) || ref == reinterpret_cast<jobject>(&fake.byteArrayClass)) {
        --fake.localRefs;
        return;
    }
    if (FakeObjectArray* array = objectArrayOf(fake, ref)) {
        array->live = false;
        --fake.localRefs;
        return;
    }
    if (FakeString* string = liveStringOf(fake, ref)) {
        string->deleted = true;
        fake.stringRefs -= string->made ? 1 : 0;
        return;
    }
    if (FakeByteArray* array = byteArrayOf(fake, ref)) {
        array->live = false;
        --fake.localRefs;
    }
}

jsize JNICALL fakeGetArrayLength(JNIEnv* env, jarray array) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    FakeByteArray* bytes = byteArrayOf(fake, array);
    return bytes == nullptr ? 0 : static_cast<jsize>(bytes->bytes.size());
}

void JNICALL fakeGetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length, jbyte* out) {
    FakeJni& fake = fakeOf(env);
    enter(fake);
    FakeByteArray* bytes = byteArrayOf(fake, array);
    if (bytes == nullptr || !inRange(start, length, bytes->bytes.size())) {
        ++fake.badCalls;
        return;
    }
    std::memcpy(out, bytes->bytes.data() + start, static_cast<size_t>(length));
}

}  // namespace

FakeJni::FakeJni() : env(), functions() {
    functions.GetStringLength = fakeGetStringLength;
    functions.GetStringChars = fakeGetStringChars;
    functions.ReleaseStringChars = fakeReleaseStringChars;
    functions.GetStringRegion = fakeGetStringRegion;
    functions.NewString = fakeNewString;
    functions.NewStringUTF = fakeNewStringUTF;
    functions.GetObjectClass = fakeGetObjectClass;
    functions.GetMethodID = fakeGetMethodID;
    functions.NewByteArray = fakeNewByteArray;
    functions.SetByteArrayRegion = fakeSetByteArrayRegion;
    functions.NewObjectA = fakeNewObjectA;
    functions.DeleteLocalRef = fakeDeleteLocalRef;
    functions.FindClass = fakeFindClass;
    functions.NewObjectArray = fakeNewObjectArray;
    functions.SetObjectArrayElement = fakeSetObjectArrayElement;
    functions.GetArrayLength = fakeGetArrayLength;
    functions.GetByteArrayRegion = fakeGetByteArrayRegion;
    env.functions = &functions;
}

jstring FakeJni::string(const std::u16string& units) {
    return stringWithLength(units, static_cast<jsize>(units.size()));
}

jstring FakeJni::stringWithLength(const std::u16string& units, jsize reportedLength) {
    strings.push_back(FakeString{units, reportedLength, false, false});
    return reinterpret_cast<jstring>(&strings.back());
}

std::u16string FakeJni::unitsOf(jstring made) {
    return stringOf(made).units;
}

std::vector<std::u16string> FakeJni::elementsOf(jobjectArray made) {
    std::vector<std::u16string> elements;
    for (jobject element : reinterpret_cast<FakeObjectArray*>(made)->elements) {
        elements.push_back(element == nullptr ? u"(null)" : stringOf(reinterpret_cast<jstring>(element)).units);
    }
    return elements;
}

jbyteArray FakeJni::bytes(const std::string& content) {
    byteArrays.push_back(FakeByteArray{content, true});
    return reinterpret_cast<jbyteArray>(&byteArrays.back());
}

std::vector<std::string> FakeJni::byteElementsOf(jobjectArray made) {
    std::vector<std::string> elements;
    for (jobject element : reinterpret_cast<FakeObjectArray*>(made)->elements) {
        elements.push_back(element == nullptr ? "(null)" : reinterpret_cast<FakeByteArray*>(element)->bytes);
    }
    return elements;
}
