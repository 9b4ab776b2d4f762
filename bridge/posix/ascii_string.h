// Java strings of long ASCII values, copied in by a byte array instead of NewStringUTF.
#ifndef ZKNATIVE7_ASCII_STRING_H
#define ZKNATIVE7_ASCII_STRING_H

#include <jni.h>

#include <cstddef>

// From this many bytes on, an ASCII value is faster through a byte array (measured on HotSpot 17):
// NewStringUTF checks and counts every byte one at a time, which outweighs the array's extra JNI
// calls and copy only for long values.
constexpr size_t kAsciiThroughArrayBytes = 1024;

// The Java string of ascii[0, length), all bytes below 0x80, made by String(byte[], int hibyte,
// int offset, int count) with hibyte 0, which copies each byte as one Latin-1 character.
// `stringClass` is java.lang.String's class. Null, with the JVM's exception left pending, when the
// JVM refuses any step.
jstring newStringFromAscii(JNIEnv* env, jclass stringClass, const char* ascii, jsize length);

#endif
