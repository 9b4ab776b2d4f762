// Java strings copied into NUL-terminated UTF-16 blocks on the library's heap, for the host calls.
#ifndef ZKNATIVE7_WIDE_STRING_H
#define ZKNATIVE7_WIDE_STRING_H

#include <jni.h>

#include <cstddef>

// A new block holding the string's UTF-16 units and one zero unit, or null (null string, no
// characters from the JVM, unusable length, exhausted heap). Give it back with freeWide.
jchar* jstringToWide(JNIEnv* env, jstring jstr);

// The same for a caller that has just asked the JVM for the length: the JVM is not asked twice.
jchar* jstringOfLengthToWide(JNIEnv* env, jstring jstr, jsize length);

// Releases a block from jstringToWide; null is ignored.
void freeWide(JNIEnv* env, jchar* wide);

// Units before the first zero unit: where every host stops reading the string.
size_t wideLength(const jchar* wide);

#endif
