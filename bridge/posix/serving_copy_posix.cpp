// The serving copy on ELF hosts: the first loaded object whose soname is this library's.
#include "serving_copy.h"

#include "zknative7_alloc.h"

#include <dlfcn.h>
#include <link.h>
#include <sched.h>

#include <cstring>

namespace {

// Each copy is loaded from a folder of its own, so only the soname tells copies apart from others.
const char* const kSoname = ZKNATIVE7_SONAME;

// True when [address, address + bytes) lies in one of the object's loaded segments.
bool isMapped(const dl_phdr_info* object, ElfW(Addr) address, size_t bytes) {
    for (ElfW(Half) i = 0; i < object->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = object->dlpi_phdr[i];
        ElfW(Addr) start = object->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && address >= start && address - start <= segment.p_memsz &&
            segment.p_memsz - (address - start) >= bytes) {
            return true;
        }
    }
    return false;
}

// The object's DT_SONAME, or null when it has none. glibc relocates the addresses in .dynamic as
// it loads an object, musl leaves them as linked; the one that lies in the object is right.
const char* sonameOf(const dl_phdr_info* object) {
    const ElfW(Dyn)* dynamic = nullptr;
    for (ElfW(Half) i = 0; i < object->dlpi_phnum; ++i) {
        if (object->dlpi_phdr[i].p_type == PT_DYNAMIC) {
            dynamic = reinterpret_cast<const ElfW(Dyn)*>(object->dlpi_addr + object->dlpi_phdr[i].p_vaddr);
        }
    }
    ElfW(Addr) strings = 0;
    ElfW(Addr) soname = 0;
    bool named = false;
    for (; dynamic != nullptr && dynamic->d_tag != DT_NULL; ++dynamic) {
        if (dynamic->d_tag == DT_STRTAB) {
            strings = dynamic->d_un.d_ptr;
        } else if (dynamic->d_tag == DT_SONAME) {
            soname = dynamic->d_un.d_val;
            named = true;
        }
    }
    if (!named || strings == 0) {
        return nullptr;
    }
    size_t bytes = std::strlen(kSoname) + 1;  // all a match can need
    if (isMapped(object, strings + soname, bytes)) {
        return reinterpret_cast<const char*>(strings + soname);
    }
    if (isMapped(object, object->dlpi_addr + strings + soname, bytes)) {
        return reinterpret_cast<const char*>(object->dlpi_addr + strings + soname);
    }
    return nullptr;
}

// Stops at the first object named like this library, keeping a copy of the path it was loaded from.
int findFirstCopy(dl_phdr_info* object, size_t, void* path) {
    const char* soname = sonameOf(object);
    if (soname == nullptr || std::strcmp(soname, kSoname) != 0 || object->dlpi_name == nullptr ||
        object->dlpi_name[0] == '\0') {
        return 0;
    }
    *static_cast<char**>(path) = sStrdup(object->dlpi_name);
    return 1;
}

}  // namespace

bool findOtherServingCopy(NativeTable* natives) {
    char* path = nullptr;
    dl_iterate_phdr(findFirstCopy, &path);
    // By the path it was loaded from, as musl matches no soname; glibc takes either.
    void* first = path == nullptr ? nullptr : dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    sFree(path);
    if (first == nullptr) {
        return false;  // linked into a program, not loaded as the library
    }
    void* found[kNativeCount];
    for (size_t i = 0; i < kNativeCount; ++i) {
        found[i] = dlsym(first, kNativeSymbols[i]);
        if (found[i] == nullptr) {
            return false;  // another version: it cannot serve this one's calls
        }
    }
    if (found[0] == kOwnNatives[0]) {
        return false;
    }
    *natives = nativeTableOf(found);
    return true;
}

void yieldToResolvingThread() {
    sched_yield();
}
