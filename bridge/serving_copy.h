// Which copy of the library serves this process. A JVM loads one copy per class loader that loads
// NativeTools; the first copy serves them all, so every assignment in the process takes turns
// under one lock, and every copy reads one published environment.
#ifndef ZKNATIVE7_SERVING_COPY_H
#define ZKNATIVE7_SERVING_COPY_H

#include "natives.h"

#include <cstddef>

// The natives of the copy that serves the process, or null when that is this copy. Found once, on
// the first call; the serving copy is never unloaded, so the answer stays true.
const NativeTable* otherServingCopy();

#define ZKNATIVE7_COUNT_NATIVE(method, symbol) +1
constexpr size_t kNativeCount = 0 ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_COUNT_NATIVE);
#undef ZKNATIVE7_COUNT_NATIVE

// Each native's symbol on this target and this copy's own native, in the list's order.
extern const char* const kNativeSymbols[kNativeCount];
extern void* const kOwnNatives[kNativeCount];

// The table of the natives at `addresses`, given in the list's order.
NativeTable nativeTableOf(void* const addresses[kNativeCount]);

// Each host's way to find the serving copy: true, with `natives` filled in, when it is another copy
// that has every native this one has.
bool findOtherServingCopy(NativeTable* natives);

// Lets the thread that is finding the serving copy run.
void yieldToResolvingThread();

#endif
