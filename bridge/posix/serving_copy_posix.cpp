// The serving copy on ELF hosts: the first loaded object whose soname is this library's.
#include "serving_copy.h"

#include "zknative7_alloc.h"

#include <dlfcn.h>
#include <link.h>
#include <sched.h>

#include <cstdio>
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

bool findOtherServingCopy(FirstCopy* found) {
    char* path = nullptr;
    dl_iterate_phdr(findFirstCopy, &path);
    // By the path it was loaded from, as musl matches no soname; glibc takes either.
    void* first = path == nullptr ? nullptr : dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    bool other = false;
    *found = FirstCopy();
    if (first != nullptr) {
        auto contract = reinterpret_cast<decltype(&zknative7_serving_contract)>(dlsym(first, "zknative7_serving_contract"));
        auto getenv0 = reinterpret_cast<decltype(EarlierNatives::getenv0)>(dlsym(first, "Java_quorvalen_zelka_NativeTools_getenv0"));
        other = contract != nullptr ? contract != &zknative7_serving_contract
                                    : getenv0 != nullptr && getenv0 != &Java_quorvalen_zelka_NativeTools_getenv0;
        if (other && contract != nullptr) {
            found->contract = contract();
            if (found->contract == nullptr || found->contract->version < 1 ||
                !ZKNATIVE7_HAS_ENTRY(found->contract, followJdkView)) {
                found->contract = nullptr;
                std::snprintf(found->note, sizeof found->note, "the copy of zknative7 serving this process (%s) offers no "
                              "contract %s can use: each keeps a lock of its own, and changes made through both at once "
                              "may be lost", path, kThisLibrary);
            }
        } else if (other) {
            found->earlier.getenv0 = getenv0;
            found->earlier.putenv0 = reinterpret_cast<decltype(EarlierNatives::putenv0)>(dlsym(first, "Java_quorvalen_zelka_NativeTools_putenv0"));
            found->earlier.environ0 = reinterpret_cast<decltype(EarlierNatives::environ0)>(dlsym(first, "Java_quorvalen_zelka_NativeTools_environ0"));
            found->hasEarlier = found->earlier.putenv0 != nullptr && found->earlier.environ0 != nullptr;
            std::snprintf(found->note, sizeof found->note, found->hasEarlier
                ? "the copy of zknative7 serving this process (%s) is an earlier version without a serving contract: %s "
                  "looks up, changes and lists variables through it, but cannot follow the JDK's copy, hold entries as "
                  "they are stored or compact the environment beside it"
                : "the copy of zknative7 serving this process (%s) is an earlier version that %s cannot share a lock "
                  "with: each keeps its own, and changes made through both at once may be lost",
                path, kThisLibrary);
        }
    }
    sFree(path);
    return other;
}

void yieldToResolvingThread() {
    sched_yield();
}
