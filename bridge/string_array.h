// Java String arrays of any length, made one element at a time.
#ifndef ZKNATIVE7_STRING_ARRAY_H
#define ZKNATIVE7_STRING_ARRAY_H

#include <jni.h>

#include <cstddef>

// Element `index` of `items` as a new Java string; null when it cannot be made.
typedef jstring (*ElementString)(JNIEnv* env, jclass stringClass, const void* items, size_t index);

// A new String[count] whose elements `element` makes. Each element's local reference is dropped
// once stored, so any length needs only a few. Null, with the JVM's error pending when it raised
// one, when any step fails.
jobjectArray newStringArray(JNIEnv* env, size_t count, ElementString element, const void* items);

#endif
