// The JNI natives of quorvalen.zelka.NativeTools: read one variable, apply one assignment, list all,
// and follow the JDK's own copy of the environment or not.
#include "natives.h"

#include "host_env.h"
#include "jdk_view.h"
#include "serving_copy.h"
#include "wide_string.h"

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
