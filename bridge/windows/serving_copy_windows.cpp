// The serving copy on Windows: the first copy to resolve, found through a mapping named for the process.
#include "serving_copy.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

// Looked up by base name, each copy finds itself; a named object of the process is found by all.
const wchar_t kMappingPrefix[] = L"Local\\zknative7-serving-";

// How long a later copy waits for the creator to publish, which takes it four pointers.
const DWORD kPublishWaitMillis = 2000;

// The most slots a reader looks at: more than any earlier version had natives.
const size_t kMostSlots = 32;

// The mapping's contents as this version writes them, null until written: the three natives where
// copies of 1.0.0 before the serving contract put them and look for them, then the function that
// gives the contract. Copies between those and the contract wrote every native in their list's
// order, so a reader finds the three by what each address is exported as, wherever it lies.
struct Published {
    void* volatile getenv0;
    void* volatile putenv0;
    void* volatile environ0;
    void* volatile contract;
};

const char* const kGetenv0 = ZKNATIVE7_GETENV0_SYMBOL;
const char* const kPutenv0 = ZKNATIVE7_PUTENV0_SYMBOL;
const char* const kEnviron0 = ZKNATIVE7_ENVIRON0_SYMBOL;
const char* const kContract = "zknative7_serving_contract";

// The loaded module that exports `address` as `symbol`, or null.
HMODULE exporterOf(void* address, const char* symbol) {
    HMODULE module;
    bool exported = address != nullptr &&
                    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                       static_cast<LPCWSTR>(address), &module) &&
                    reinterpret_cast<void*>(GetProcAddress(module, symbol)) == address;
    return exported ? module : nullptr;
}

// This copy serves the process; later copies will call into it, so it is never unloaded, and the
// mapping handle is never closed, so the name lasts as long as the process. Unpinned, it must not
// be published, and later copies then serve themselves.
void publishThisCopy(HANDLE mapping) {
    HMODULE self;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&zknative7_serving_contract), &self)) {
        return;
    }
    auto* published = static_cast<Published*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(Published)));
    if (published != nullptr) {
        // The contract first: a reader that sees the three natives without it takes this copy for
        // one from before the contract, however long this thread was kept from writing it.
        InterlockedExchangePointer(&published->contract, reinterpret_cast<void*>(&zknative7_serving_contract));
        InterlockedExchangePointer(&published->getenv0, reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_getenv0));
        InterlockedExchangePointer(&published->putenv0, reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_putenv0));
        InterlockedExchangePointer(&published->environ0, reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_environ0));
    }
}

// The three natives and the contract among `count` slots, each by the export it is; null where none is.
Published exportsAmong(const void* const volatile* slots, size_t count) {
    Published seen = {nullptr, nullptr, nullptr, nullptr};
    for (size_t i = 0; i < count; ++i) {
        void* address = const_cast<void*>(slots[i]);
        void* volatile* as = exporterOf(address, kGetenv0) != nullptr    ? &seen.getenv0
                             : exporterOf(address, kPutenv0) != nullptr  ? &seen.putenv0
                             : exporterOf(address, kEnviron0) != nullptr ? &seen.environ0
                             : exporterOf(address, kContract) != nullptr ? &seen.contract
                                                                          : nullptr;
        if (as != nullptr && *as == nullptr) {
            *as = address;
        }
    }
    return seen;
}

// Reads what the creator of the mapping published, once it is all there (a copy before the
// contract publishes no contract) or the wait is up.
Published read(HANDLE mapping) {
    Published seen = {nullptr, nullptr, nullptr, nullptr};
    // Read-only: whoever made the mapping may not let us write. Aligned pointer reads are atomic.
    // The whole mapping, as long as its creator made it; the rest of its page reads as zeros.
    const auto* slots = static_cast<const void* const volatile*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    MEMORY_BASIC_INFORMATION region;
    if (slots == nullptr || VirtualQuery(const_cast<const void**>(slots), &region, sizeof region) == 0) {
        if (slots != nullptr) {
            UnmapViewOfFile(const_cast<const void**>(slots));
        }
        return seen;
    }
    size_t count = region.RegionSize / sizeof(void*) < kMostSlots ? region.RegionSize / sizeof(void*) : kMostSlots;
    for (DWORD start = GetTickCount();; Sleep(1)) {
        seen = exportsAmong(slots, count);
        bool earlierDone = seen.getenv0 != nullptr && seen.putenv0 != nullptr && seen.environ0 != nullptr;
        if ((earlierDone && (seen.contract != nullptr || GetTickCount() - start >= 50)) ||
            GetTickCount() - start >= kPublishWaitMillis) {
            break;
        }
    }
    UnmapViewOfFile(const_cast<const void**>(slots));
    return seen;
}

void say(FirstCopy* found, HMODULE module, const char* what) {
    char path[MAX_PATH] = "unknown";
    if (module != nullptr) {
        GetModuleFileNameA(module, path, MAX_PATH);
    }
    std::snprintf(found->note, sizeof found->note, what, path, kThisLibrary);
}

// What the mapping this copy did not create offers. Anything but another copy's contract, or an
// earlier copy's three natives (nothing in time, a process of the session that took the name
// first, a copy whose natives lie elsewhere), leaves this copy serving itself, and saying so.
bool findServingCopy(HANDLE mapping, FirstCopy* found) {
    Published seen = read(mapping);
    auto contract = reinterpret_cast<decltype(&zknative7_serving_contract)>(seen.contract);
    if (contract == &zknative7_serving_contract) {
        return false;
    }
    HMODULE first = exporterOf(seen.getenv0, kGetenv0);
    bool earlier = first != nullptr && exporterOf(seen.putenv0, kPutenv0) == first && exporterOf(seen.environ0, kEnviron0) == first;
    if (contract != nullptr && exporterOf(seen.contract, kContract) == first && earlier) {
        found->contract = contract();
        if (found->contract != nullptr && found->contract->version >= 1 && ZKNATIVE7_HAS_ENTRY(found->contract, followJdkView)) {
            return true;
        }
        found->contract = nullptr;
        say(found, first, "the copy of zknative7 serving this process (%s) offers no contract %s can use: each keeps a "
                          "lock of its own, and changes made through both at once may be lost");
        return true;
    }
    if (contract == nullptr && earlier) {
        found->earlier.getenv0 = reinterpret_cast<decltype(EarlierNatives::getenv0)>(seen.getenv0);
        found->earlier.putenv0 = reinterpret_cast<decltype(EarlierNatives::putenv0)>(seen.putenv0);
        found->earlier.environ0 = reinterpret_cast<decltype(EarlierNatives::environ0)>(seen.environ0);
        found->hasEarlier = true;
        say(found, first, "the copy of zknative7 serving this process (%s) is an earlier version without a serving "
                          "contract: %s looks up, changes and lists variables through it, but cannot follow the JDK's copy, "
                          "hold entries as they are stored or compact the environment beside it");
        return true;
    }
    say(found, first, "another copy of zknative7 (%s) serves this process in a way %s cannot share: each keeps a lock "
                      "of its own, and changes made through both at once may be lost");
    return true;
}

}  // namespace

bool findOtherServingCopy(FirstCopy* found) {
    *found = FirstCopy();
    wchar_t name[sizeof(kMappingPrefix) / sizeof(wchar_t) + 10];
    wcscpy(name, kMappingPrefix);
    _ultow(GetCurrentProcessId(), name + wcslen(name), 10);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Published), name);
    if (mapping == nullptr) {
        return false;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        publishThisCopy(mapping);
        return false;
    }
    bool other = findServingCopy(mapping, found);
    CloseHandle(mapping);  // the serving copy holds its own handle
    return other;
}

void yieldToResolvingThread() {
    SwitchToThread();
}
