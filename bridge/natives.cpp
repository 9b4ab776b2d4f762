// The JNI natives of quorvalen.zelka.NativeTools: read one variable, apply one assignment, list all,
// follow the JDK's own copy of the environment or not, read and put back entries as held, and say
// what this copy shares with the one serving the process.
#include "natives.h"

#include "held_entries.h"
#include "host_env.h"
#include "jdk_view.h"
#include "serving_copy.h"
#include "wide_string.h"
#include "zknative7_alloc.h"

namespace {

// An earlier first copy serves these three through its own natives, which every version has had.
const EarlierNatives* earlier() {
    return servingCopy().earlier;
}

// What cannot be done beside an earlier first copy: the JVM's error, naming what this copy says of it.
void refuse(JNIEnv* env) {
    jclass type = env->FindClass("java/lang/UnsupportedOperationException");
    if (type != nullptr) {
        env->ThrowNew(type, servingCopy().note);
        env->DeleteLocalRef(type);
    }
}

}  // namespace

JNIEXPORT jstring JNICALL Java_quorvalen_zelka_NativeTools_getenv0(JNIEnv* env, jclass cls, jstring name) {
    if (const EarlierNatives* serving = earlier()) {
        return serving->getenv0(env, cls, name);
    }
    // GetStringLength of null crashes the JVM.
    if (name == nullptr) {
        return nullptr;
    }
    jsize length = env->GetStringLength(name);
    return length <= 0 ? nullptr : hostGetenv(env, name, length);
}

// getenv0 for a caller that knows the name's length, as NativeTools always does: asking the JVM
// for it costs a lookup one more transition into the VM than the naive call makes.
JNIEXPORT jstring JNICALL Java_quorvalen_zelka_NativeTools_lookup0(JNIEnv* env, jclass cls, jstring name, jint length) {
    if (const EarlierNatives* serving = earlier()) {
        return serving->getenv0(env, cls, name);
    }
    return name == nullptr || length <= 0 ? nullptr : hostGetenv(env, name, length);
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_putenv0(JNIEnv* env, jclass cls, jstring assignment) {
    if (const EarlierNatives* serving = earlier()) {
        return serving->putenv0(env, cls, assignment);
    }
    jchar* wideAssignment = jstringToWide(env, assignment);
    if (wideAssignment == nullptr) {
        return JNI_FALSE;
    }
    bool applied = hostPutenv(env, wideAssignment);
    freeWide(env, wideAssignment);
    return applied ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jobjectArray JNICALL Java_quorvalen_zelka_NativeTools_environ0(JNIEnv* env, jclass cls) {
    if (const EarlierNatives* serving = earlier()) {
        return serving->environ0(env, cls);
    }
    return hostEnviron(env);
}

JNIEXPORT jstring JNICALL Java_quorvalen_zelka_NativeTools_followJdk0(JNIEnv* env, jclass /*cls*/, jobject environment,
                                                                     jobject caseInsensitive, jclass variable, jclass value) {
    if (earlier() != nullptr) {
        if (environment != nullptr) {
            refuse(env);
        }
        return nullptr;
    }
    return hostFollowJdk(env, environment, caseInsensitive, variable, value);
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_followsJdk0(JNIEnv* /*env*/, jclass /*cls*/) {
    return earlier() == nullptr && shared().jdkViewFollowed() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jobjectArray JNICALL Java_quorvalen_zelka_NativeTools_heldEntries0(JNIEnv* env, jclass /*cls*/) {
    if (earlier() != nullptr) {
        refuse(env);
        return nullptr;
    }
    return hostHeldEntries(env);
}

JNIEXPORT jobjectArray JNICALL Java_quorvalen_zelka_NativeTools_heldVariable0(JNIEnv* env, jclass /*cls*/, jstring name) {
    if (earlier() != nullptr) {
        refuse(env);
        return nullptr;
    }
    jsize length = name == nullptr ? 0 : env->GetStringLength(name);
    return length > 0 ? hostHeldVariable(env, name, length) : newHeldArray(env, nullptr, 0);
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_putHeld0(JNIEnv* env, jclass /*cls*/, jbyteArray name,
                                                                    jbyteArray value) {
    if (earlier() != nullptr) {
        refuse(env);
        return JNI_FALSE;
    }
    size_t nameBytes = 0;
    size_t valueBytes = 0;
    char* nameCopy = heldBytesOf(env, name, &nameBytes);
    char* valueCopy = heldBytesOf(env, value, &valueBytes);
    // A null value removes; one that could not be copied must not.
    bool applied = nameCopy != nullptr && (value == nullptr || valueCopy != nullptr) &&
                   hostPutHeld(env, nameCopy, nameBytes, valueCopy, valueBytes);
    sFree(valueCopy);
    sFree(nameCopy);
    return applied ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jstring JNICALL Java_quorvalen_zelka_NativeTools_servingCopy0(JNIEnv* env, jclass /*cls*/) {
    const char* note = servingCopy().note;
    return note == nullptr ? nullptr : env->NewStringUTF(note);
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_compact0(JNIEnv* env, jclass /*cls*/) {
    if (earlier() != nullptr) {
        refuse(env);
        return JNI_FALSE;
    }
    return hostCompact(env) ? JNI_TRUE : JNI_FALSE;
}
