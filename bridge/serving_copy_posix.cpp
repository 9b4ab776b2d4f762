// The serving copy on ELF hosts: the first object loaded with this library's soname.
#include "serving_copy.h"

#include "natives.h"

#include <dlfcn.h>
#include <sched.h>

namespace {

// What dlopen matches against every loaded object's DT_SONAME, whatever folder it came from.
const char* const kSoname = "libzknative7.so";

}  // namespace

bool findOtherServingCopy(ServingNatives* natives) {
    void* first = dlopen(kSoname, RTLD_LAZY | RTLD_NOLOAD);
    if (first == nullptr) {
        return false;  // linked into a program, not loaded as the library
    }
    void* getenv0 = dlsym(first, "Java_quorvalen_zelka_NativeTools_getenv0");
    void* putenv0 = dlsym(first, "Java_quorvalen_zelka_NativeTools_putenv0");
    if (getenv0 == nullptr || putenv0 == nullptr ||
        getenv0 == reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_getenv0)) {
        return false;
    }
    natives->getenv0 = reinterpret_cast<Getenv0Native>(getenv0);
    natives->putenv0 = reinterpret_cast<Putenv0Native>(putenv0);
    return true;
}

void yieldToResolvingThread() {
    sched_yield();
}
