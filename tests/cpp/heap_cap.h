// Makes big allocations fail on purpose, so the heap-exhausted paths run against the real malloc.
#ifndef ZKNATIVE7_HEAP_CAP_H
#define ZKNATIVE7_HEAP_CAP_H

#include <jni.h>

#include <cstddef>
#include <string>

// A Java string length whose 2 x length + 2 bytes the heap cannot supply while capped: on 32-bit
// hosts that is true of any heap; elsewhere capHeap must succeed first.
constexpr jsize kUnallocatableLength = sizeof(size_t) == 4 ? 0x7FFFFFFE : 0x7FFFFFFF;

// Caps the address space a little above what the process uses; false where that cannot be done
// (then a test needing it skips). Undo with uncapHeap.
bool capHeap();
void uncapHeap();

// What sMalloc prints when `bytes` cannot be had.
std::string mallocFailureMessage(size_t bytes);

#endif
