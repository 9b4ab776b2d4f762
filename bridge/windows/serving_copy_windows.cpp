// The serving copy on Windows: the first copy to resolve, found through a mapping named for the process.
#include "serving_copy.h"

#include "natives.h"

#include <windows.h>

#include <cwchar>

namespace {

// The names GetProcAddress knows the natives by (cmake/exports-windows-*.def).
#if defined(_WIN64)
const char* const kGetenv0Export = "Java_quorvalen_zelka_NativeTools_getenv0";
const char* const kPutenv0Export = "Java_quorvalen_zelka_NativeTools_putenv0";
const char* const kEnviron0Export = "Java_quorvalen_zelka_NativeTools_environ0";
#else
const char* const kGetenv0Export = "_Java_quorvalen_zelka_NativeTools_getenv0@12";
const char* const kPutenv0Export = "_Java_quorvalen_zelka_NativeTools_putenv0@12";
const char* const kEnviron0Export = "_Java_quorvalen_zelka_NativeTools_environ0@8";
#endif

// Looked up by base name, each copy finds itself; a named object of the process is found by all.
const wchar_t kMappingPrefix[] = L"Local\\zknative7-serving-";

// How long a later copy waits for the creator to publish; it has only two pointers to write.
const DWORD kPublishWaitMillis = 2000;

// The mapping's contents: the serving copy's natives, null until written.
struct PublishedNatives {
    void* volatile getenv0;
    void* volatile putenv0;
    void* volatile environ0;
};

void* ownGetenv0() {
    return reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_getenv0);
}

void* ownPutenv0() {
    return reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_putenv0);
}

void* ownEnviron0() {
    return reinterpret_cast<void*>(&Java_quorvalen_zelka_NativeTools_environ0);
}

// True when `address` is the export `name` of the loaded module that holds it.
bool isExportedAs(void* address, const char* name, HMODULE* module) {
    return address != nullptr &&
           GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), module) &&
           reinterpret_cast<void*>(GetProcAddress(*module, name)) == address;
}

// This copy serves the process; later copies will call into it, so it is never unloaded, and the
// mapping handle is never closed, so the name lasts as long as the process.
bool publishThisCopy(HANDLE mapping) {
    HMODULE self;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(ownGetenv0()), &self)) {
        return false;  // unpinned, it must not be published
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(PublishedNatives));
    auto* published = static_cast<PublishedNatives*>(view);
    if (published != nullptr) {
        InterlockedExchangePointer(&published->getenv0, ownGetenv0());
        InterlockedExchangePointer(&published->putenv0, ownPutenv0());
        InterlockedExchangePointer(&published->environ0, ownEnviron0());
    }
    return false;
}

// The natives named in a mapping this copy did not create, when they are another copy's. Anything
// else (nothing published in time, a process in the session that took the name first, this
// copy's own natives) leaves this copy serving itself.
bool findServingCopy(HANDLE mapping, ServingNatives* natives) {
    // Read-only: whoever made the mapping may not let us write. Aligned pointer reads are atomic.
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(PublishedNatives));
    const auto* published = static_cast<const PublishedNatives*>(view);
    if (published == nullptr) {
        return false;
    }
    void* getenv0 = nullptr;
    void* putenv0 = nullptr;
    void* environ0 = nullptr;
    for (DWORD start = GetTickCount();; Sleep(1)) {
        getenv0 = published->getenv0;
        putenv0 = published->putenv0;
        environ0 = published->environ0;
        if ((getenv0 != nullptr && putenv0 != nullptr && environ0 != nullptr) ||
            GetTickCount() - start >= kPublishWaitMillis) {
            break;
        }
    }
    UnmapViewOfFile(published);
    HMODULE getenvModule;
    HMODULE putenvModule;
    HMODULE environModule;
    if (getenv0 == ownGetenv0() || !isExportedAs(getenv0, kGetenv0Export, &getenvModule) ||
        !isExportedAs(putenv0, kPutenv0Export, &putenvModule) ||
        !isExportedAs(environ0, kEnviron0Export, &environModule) || getenvModule != putenvModule ||
        getenvModule != environModule) {
        return false;
    }
    natives->getenv0 = reinterpret_cast<Getenv0Native>(getenv0);
    natives->putenv0 = reinterpret_cast<Putenv0Native>(putenv0);
    natives->environ0 = reinterpret_cast<Environ0Native>(environ0);
    return true;
}

}  // namespace

bool findOtherServingCopy(ServingNatives* natives) {
    wchar_t name[sizeof(kMappingPrefix) / sizeof(wchar_t) + 10];
    wcscpy(name, kMappingPrefix);
    _ultow(GetCurrentProcessId(), name + wcslen(name), 10);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(PublishedNatives), name);
    if (mapping == nullptr) {
        return false;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        return publishThisCopy(mapping);
    }
    bool found = findServingCopy(mapping, natives);
    CloseHandle(mapping);  // the serving copy holds its own handle
    return found;
}

void yieldToResolvingThread() {
    SwitchToThread();
}
