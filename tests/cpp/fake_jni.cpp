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

jstring JNICALL fakeNewString(JNIEnv* env, const jchar* units, jsize length) {
    FakeJni& fake = fakeOf(env);
    ++fake.jniCalls;
    if (fake.refuseNewString) {
        return nullptr;
    }
    return fake.string(std::u16string(reinterpret_cast<const char16_t*>(units), static_cast<size_t>(length)));
}

jstring JNICALL fakeNewStringUTF(JNIEnv* env, const char* bytes) {
    FakeJni& fake = fakeOf(env);
    ++fake.jniCalls;
    ++fake.utfStringsMade;
    bool wellFormed = false;
    std::u16string units = decodeModifiedUtf8(bytes, std::strlen(bytes), &wellFormed);
    if (fake.refuseNewString || !wellFormed) {
        return nullptr;
    }
    return fake.string(units);
}

}  // namespace

FakeJni::FakeJni() : env(), functions() {
    functions.GetStringLength = fakeGetStringLength;
    functions.GetStringChars = fakeGetStringChars;
    functions.ReleaseStringChars = fakeReleaseStringChars;
    functions.NewString = fakeNewString;
    functions.NewStringUTF = fakeNewStringUTF;
    env.functions = &functions;
}

jstring FakeJni::string(const std::u16string& units) {
    return stringWithLength(units, static_cast<jsize>(units.size()));
}

jstring FakeJni::stringWithLength(const std::u16string& units, jsize reportedLength) {
    strings.push_back(FakeString{units, reportedLength});
    return reinterpret_cast<jstring>(&strings.back());
}

std::u16string FakeJni::unitsOf(jstring made) {
    return stringOf(made).units;
}
