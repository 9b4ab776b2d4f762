// Resolves, once per copy and without a lock, which copy of the library serves the process.
#include "serving_copy.h"

#include <atomic>

#define ZKNATIVE7_SYMBOL_OF(method, symbol) symbol,
const char* const kNativeSymbols[kNativeCount] = {ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_SYMBOL_OF)};
#undef ZKNATIVE7_SYMBOL_OF

#define ZKNATIVE7_OWN(method, symbol) reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_##method),
void* const kOwnNatives[kNativeCount] = {ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_OWN)};
#undef ZKNATIVE7_OWN

NativeTable nativeTableOf(void* const addresses[kNativeCount]) {
    NativeTable table;
    size_t next = 0;
#define ZKNATIVE7_TAKE(method, symbol) table.method = reinterpret_cast<decltype(table.method)>(addresses[next++]);
    ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_TAKE)
#undef ZKNATIVE7_TAKE
    return table;
}

namespace {

enum Resolution { kUnresolved, kResolving, kThisCopy, kOtherCopy };

std::atomic<int> servingResolution(kUnresolved);
NativeTable servingNatives;  // written once, by the thread that resolves

}  // namespace

const NativeTable* otherServingCopy() {
    int resolution = servingResolution.load(std::memory_order_acquire);
    if (resolution < kThisCopy) {
        int unresolved = kUnresolved;
        if (servingResolution.compare_exchange_strong(unresolved, kResolving, std::memory_order_acq_rel)) {
            resolution = findOtherServingCopy(&servingNatives) ? kOtherCopy : kThisCopy;
            servingResolution.store(resolution, std::memory_order_release);
        } else {
            while ((resolution = servingResolution.load(std::memory_order_acquire)) == kResolving) {
                yieldToResolvingThread();
            }
        }
    }
    return resolution == kOtherCopy ? &servingNatives : nullptr;
}
