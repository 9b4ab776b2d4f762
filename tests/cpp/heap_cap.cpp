// Heap caps by address-space limit where the host has one.
#include "heap_cap.h"

#if defined(__linux__)
#include <sys/resource.h>

#include <fstream>
#endif

#if defined(__linux__)
namespace {

struct rlimit savedLimit;

size_t addressSpaceInUse() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmSize:") {
            size_t kib = 0;
            status >> kib;
            return kib * 1024;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

}  // namespace

bool capHeap() {
    if (sizeof(size_t) == 4) {
        return true;
    }
    size_t inUse = addressSpaceInUse();
    if (inUse == 0 || getrlimit(RLIMIT_AS, &savedLimit) != 0) {
        return false;
    }
    struct rlimit capped = savedLimit;
    capped.rlim_cur = inUse + (size_t{1} << 30);
    // qemu-user accepts the limit but keeps it from the host process, so read it back.
    struct rlimit now;
    if (setrlimit(RLIMIT_AS, &capped) != 0 || getrlimit(RLIMIT_AS, &now) != 0 || now.rlim_cur != capped.rlim_cur) {
        setrlimit(RLIMIT_AS, &savedLimit);
        return false;
    }
    return true;
}

void uncapHeap() {
    if (sizeof(size_t) != 4) {
        setrlimit(RLIMIT_AS, &savedLimit);
    }
}
#else
bool capHeap() {
    return sizeof(size_t) == 4;
}

void uncapHeap() {
}
#endif

std::string mallocFailureMessage(size_t bytes) {
    return "Malloc for " + std::to_string(bytes) + " bytes failed\nAbout to crash\n";
}
