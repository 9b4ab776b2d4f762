// The natives' signatures, as quorvalen.zelka.NativeTools declares them.
#ifndef ZKNATIVE7_NATIVES_H
#define ZKNATIVE7_NATIVES_H

#include <jni.h>

extern "C" {

JNIEXPORT jstring JNICALL Java_quorvalen_zelka_NativeTools_getenv0(JNIEnv* env, jclass, jstring name);

JNIEXPORT jboolean JNICALL Java_quorvalen_zelka_NativeTools_putenv0(JNIEnv* env, jclass, jstring assignment);

JNIEXPORT jobjectArray JNICALL Java_quorvalen_zelka_NativeTools_environ0(JNIEnv* env, jclass);
}

#endif
