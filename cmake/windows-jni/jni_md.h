/* jni.h's machine header for Windows targets, in place of the build JDK's Linux one. */
#ifndef ZKNATIVE7_WINDOWS_JNI_MD_H
#define ZKNATIVE7_WINDOWS_JNI_MD_H

/* Exports are named by the module-definition files: only they give 32-bit Windows the decorated
   names its JVM looks up, and dllexport would add an undecorated duplicate. */
#define JNIEXPORT
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
