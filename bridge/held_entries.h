// The environment's entries as the host holds them, for Java code that puts them back byte for byte.
#ifndef ZKNATIVE7_HELD_ENTRIES_H
#define ZKNATIVE7_HELD_ENTRIES_H

#include <jni.h>

#include <cstddef>

// One variable as the host holds it: its name's bytes and its value's (on Windows their UTF-16
// units, little-endian), neither terminated.
struct HeldVariable {
    const void* name;
    size_t nameBytes;
    const void* value;
    size_t valueBytes;
};

// A new byte[][] of 2 × count elements, each variable's name and then its value. Null, with the
// JVM's error pending when it raised one, when any step fails.
jobjectArray newHeldArray(JNIEnv* env, const HeldVariable* variables, size_t count);

// A byte[] copied onto the heap with one NUL after it: a new block from sMalloc, which the caller
// frees, and its length in `bytes`; null when the heap is exhausted (or `array` is null).
char* heldBytesOf(JNIEnv* env, jbyteArray array, size_t* bytes);

#endif
