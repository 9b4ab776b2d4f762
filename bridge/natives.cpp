// The JNI natives of quorvalen.zelka.NativeTools: read one variable, apply one assignment, list all,
// follow the JDK's own copy of the environment or not, and read and put back entries as held.
#include "natives.h"

#include "held_entries.h"
#include "host_env.h"
#include "jdk_view.h"
#include "serving_copy.h"
#include "wide_string.h"
#include "zknative7_alloc.h"

JNIEXPORT jstring JNICALL Java_quorvalen_zelka_NativeTools_getenv0(JNIEnv* env, jclass cls, jstring name) {
    if (const NativeTable* serving = otherServingCopy()) {
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
    if (const NativeTable* serving = otherServingCopy()) {
        return serving->lookup0(env, cls, name, length);
    }
    return name == nullptr || length <= 0 ? nullptr : hostGetenv(env, name, length);
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_putenv0(JNIEnv* env, jclass cls, jstring assignment) {
    if (const NativeTable* serving = otherServingCopy()) {
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
    if (const NativeTable* serving = otherServingCopy()) {
        return serving->environ0(env, cls);
    }
    return hostEnviron(env);
}

JNIEXPORT jstring JNICALL Java_quorvalen_zelka_NativeTools_followJdk0(JNIEnv* env, jclass cls, jobject environment,
                                                                     jobject caseInsensitive, jclass variable, jclass value) {
    if (const NativeTable* serving = otherServingCopy()) {
        return serving->followJdk0(env, cls, environment, caseInsensitive, variable, value);
    }
    return hostFollowJdk(env, environment, caseInsensitive, variable, value);
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_followsJdk0(JNIEnv* env, jclass cls) {
    if (const NativeTable* serving = otherServingCopy()) {
        return serving->followsJdk0(env, cls);
    }
    return isJdkViewFollowed() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jobjectArray JNICALL Java_quorvalen_zelka_NativeTools_heldEntries0(JNIEnv* env, jclass cls) {
    if (const NativeTable* serving = otherServingCopy()) {
        return serving->heldEntries0(env, cls);
    }
    return hostHeldEntries(env);
}

JNIEXPORT jobjectArray JNICALL Java_quorvalen_zelka_NativeTools_heldVariable0(JNIEnv* env, jclass cls, jstring name) {
    if (const NativeTable* serving = otherServingCopy()) {
        return serving->heldVariable0(env, cls, name);
    }
    jsize length = name == nullptr ? 0 : env->GetStringLength(name);
    return length > 0 ? hostHeldVariable(env, name, length) : newHeldArray(env, nullptr, 0);
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_putHeld0(JNIEnv* env, jclass cls, jbyteArray name,
                                                                    jbyteArray value) {
    if (const NativeTable* serving = otherServingCopy()) {
        return serving->putHeld0(env, cls, name, value);
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
