// Resolves, once per copy and without a lock, which copy of the library serves the process.
#include "serving_copy.h"

#include <atomic>

namespace {

enum Resolution { kUnresolved, kResolving, kThisCopy, kOtherCopy };

std::atomic<int> servingResolution(kUnresolved);
ServingNatives servingNatives;  // written once, by the thread that resolves

}  // namespace

const ServingNatives* otherServingCopy() {
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
