// The serving copy on ELF hosts: the first object loaded with this library's soname.
#include "serving_copy.h"

#include "natives.h"

#include <dlfcn.h>
#include <sched.h>

#include <atomic>

namespace {

// What dlopen matches against every loaded object's DT_SONAME, whatever folder it came from.
const char* const kSoname = "libzknative7.so";

enum Resolution { kUnresolved, kResolving, kThisCopy, kOtherCopy };

std::atomic<int> servingResolution(kUnresolved);
ServingNatives servingNatives;  // written once, by the thread that resolves

int resolveServingCopy() {
    void* first = dlopen(kSoname, RTLD_LAZY | RTLD_NOLOAD);
    if (first == nullptr) {
        return kThisCopy;  // linked into a program, not loaded as the library
    }
    void* getenv0 = dlsym(first, "Java_quorvalen_zelka_NativeTools_getenv0");
    void* putenv0 = dlsym(first, "Java_quorvalen_zelka_NativeTools_putenv0");
    if (getenv0 == nullptr || putenv0 == nullptr ||
        getenv0 == reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_getenv0)) {
        return kThisCopy;
    }
    servingNatives.getenv0 = reinterpret_cast<Getenv0Native>(getenv0);
    servingNatives.putenv0 = reinterpret_cast<Putenv0Native>(putenv0);
    return kOtherCopy;
}

}  // namespace

const ServingNatives* otherServingCopy() {
    int resolution = servingResolution.load(std::memory_order_acquire);
    if (resolution < kThisCopy) {
        int unresolved = kUnresolved;
        if (servingResolution.compare_exchange_strong(unresolved, kResolving, std::memory_order_acq_rel)) {
            resolution = resolveServingCopy();
            servingResolution.store(resolution, std::memory_order_release);
        } else {
            while ((resolution = servingResolution.load(std::memory_order_acquire)) == kResolving) {
                sched_yield();
            }
        }
    }
    return resolution == kOtherCopy ? &servingNatives : nullptr;
}
