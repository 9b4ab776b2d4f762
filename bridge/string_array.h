// Java arrays of objects of any length, made one element at a time: String[] and byte[][].
#ifndef ZKNATIVE7_STRING_ARRAY_H
#define ZKNATIVE7_STRING_ARRAY_H

#include <jni.h>

#include <cstddef>

// Element `index` of `items` as a new object of `elementClass`; null when it cannot be made.
typedef jobject (*Element)(JNIEnv* env, jclass elementClass, const void* items, size_t index);

// A new array of `count` objects of the class `className` names, which `element` makes. Each
// element's local reference is dropped once stored, so any length needs only a few. Null, with
// the JVM's error pending when it raised one, when any step fails.
jobjectArray newObjectArray(JNIEnv* env, const char* className, size_t count, Element element, const void* items);

// The same for a String[].
inline jobjectArray newStringArray(JNIEnv* env, size_t count, Element element, const void* items) {
    return newObjectArray(env, "java/lang/String", count, element, items);
}

#endif
