// The serving copy on Windows: the first copy to resolve, found through a mapping named for the process.
#include "serving_copy.h"

#include <windows.h>

#include <cwchar>

namespace {

// Looked up by base name, each copy finds itself; a named object of the process is found by all.
const wchar_t kMappingPrefix[] = L"Local\\zknative7-serving-";

// How long a later copy waits for the creator to publish, which takes it one pointer per native.
const DWORD kPublishWaitMillis = 2000;

// The mapping's contents: the serving copy's natives in the list's order, null until written.
struct PublishedNatives {
    void* volatile natives[kNativeCount];
};

// True when `address` is the export `symbol` of the loaded module that holds it.
bool isExportedAs(void* address, const char* symbol, HMODULE* module) {
    return address != nullptr &&
           GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), module) &&
           reinterpret_cast<void*>(GetProcAddress(*module, symbol)) == address;
}

// This copy serves the process; later copies will call into it, so it is never unloaded, and the
// mapping handle is never closed, so the name lasts as long as the process. Unpinned, it must not
// be published, and later copies then serve themselves.
void publishThisCopy(HANDLE mapping) {
    HMODULE self;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            static_cast<LPCWSTR>(kOwnNatives[0]), &self)) {
        return;
    }
    auto* published = static_cast<PublishedNatives*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(PublishedNatives)));
    if (published != nullptr) {
        for (size_t i = 0; i < kNativeCount; ++i) {
            InterlockedExchangePointer(&published->natives[i], kOwnNatives[i]);
        }
    }
}

// The natives named in a mapping this copy did not create, when they are another copy's. Anything
// else (nothing published in time, a process in the session that took the name first, this
// copy's own natives, a module without all of them) leaves this copy serving itself.
bool findServingCopy(HANDLE mapping, NativeTable* natives) {
    // Read-only: whoever made the mapping may not let us write. Aligned pointer reads are atomic.
    const auto* published = static_cast<const PublishedNatives*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(PublishedNatives)));
    if (published == nullptr) {
        return false;
    }
    void* found[kNativeCount];
    for (DWORD start = GetTickCount();; Sleep(1)) {
        size_t written = 0;
        for (size_t i = 0; i < kNativeCount; ++i) {
            found[i] = published->natives[i];
            written += found[i] != nullptr ? 1 : 0;
        }
        if (written == kNativeCount || GetTickCount() - start >= kPublishWaitMillis) {
            break;
        }
    }
    UnmapViewOfFile(published);
    HMODULE first = nullptr;
    for (size_t i = 0; i < kNativeCount; ++i) {
        HMODULE module;
        if (found[i] == kOwnNatives[i] || !isExportedAs(found[i], kNativeSymbols[i], &module) ||
            (first != nullptr && module != first)) {
            return false;
        }
        first = module;
    }
    *natives = nativeTableOf(found);
    return true;
}

}  // namespace

bool findOtherServingCopy(NativeTable* natives) {
    wchar_t name[sizeof(kMappingPrefix) / sizeof(wchar_t) + 10];
    wcscpy(name, kMappingPrefix);
    _ultow(GetCurrentProcessId(), name + wcslen(name), 10);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(PublishedNatives), name);
    if (mapping == nullptr) {
        return false;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        publishThisCopy(mapping);
        return false;
    }
    bool found = findServingCopy(mapping, natives);
    CloseHandle(mapping);  // the serving copy holds its own handle
    return found;
}

void yieldToResolvingThread() {
    SwitchToThread();
}
