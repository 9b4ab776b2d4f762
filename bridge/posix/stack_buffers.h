// How much of a name or value the POSIX host keeps on the stack; longer ones take the heap.
#ifndef ZKNATIVE7_STACK_BUFFERS_H
#define ZKNATIVE7_STACK_BUFFERS_H

#include "wtf8.h"

#include <cstddef>

// Bytes of transcoded text (a name, an assignment, a decoded value) kept on the stack.
constexpr size_t kStackBytes = 512;

// Units of a name looked up that are taken onto the stack, as many as encode within kStackBytes.
constexpr size_t kNameStackUnits = kStackBytes / kWtf8MaxBytesPerUnit;

#endif
