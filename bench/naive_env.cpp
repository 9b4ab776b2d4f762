// The baseline a Java user writes in a few lines: modified UTF-8 in, libc, modified UTF-8 out.
// Lossy (surrogates, NUL) and unlocked; here only to be measured against.
#include <jni.h>

#include <unistd.h>

#include <cstdlib>

extern "C" {

JNIEXPORT jstring JNICALL Java_quorvalen_zelka_bench_NaiveEnv_getenv(JNIEnv* env, jclass, jstring name) {
    const char* utfName = env->GetStringUTFChars(name, nullptr);
    if (utfName == nullptr) {
        return nullptr;
    }
    const char* value = std::getenv(utfName);
    env->ReleaseStringUTFChars(name, utfName);
    return value == nullptr ? nullptr : env->NewStringUTF(value);
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_bench_NaiveEnv_setenv(JNIEnv* env, jclass, jstring name,
                                                                     jstring value) {
    const char* utfName = env->GetStringUTFChars(name, nullptr);
    const char* utfValue = env->GetStringUTFChars(value, nullptr);
    bool applied = utfName != nullptr && utfValue != nullptr && setenv(utfName, utfValue, 1) == 0;
    if (utfValue != nullptr) {
        env->ReleaseStringUTFChars(value, utfValue);
    }
    if (utfName != nullptr) {
        env->ReleaseStringUTFChars(name, utfName);
    }
    return applied ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jobjectArray JNICALL Java_quorvalen_zelka_bench_NaiveEnv_environ(JNIEnv* env, jclass) {
    jsize count = 0;
    while (environ[count] != nullptr) {
        ++count;
    }
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray entries = stringClass == nullptr ? nullptr : env->NewObjectArray(count, stringClass, nullptr);
    for (jsize i = 0; entries != nullptr && i < count; ++i) {
        jstring entry = env->NewStringUTF(environ[i]);
        env->SetObjectArrayElement(entries, i, entry);
        env->DeleteLocalRef(entry);
    }
    return entries;
}

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_bench_NaiveEnv_unsetenv(JNIEnv* env, jclass, jstring name) {
    const char* utfName = env->GetStringUTFChars(name, nullptr);
    if (utfName == nullptr) {
        return JNI_FALSE;
    }
    bool applied = unsetenv(utfName) == 0;
    env->ReleaseStringUTFChars(name, utfName);
    return applied ? JNI_TRUE : JNI_FALSE;
}
}
