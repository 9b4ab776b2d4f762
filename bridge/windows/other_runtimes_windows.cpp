// Passing assignments on to the other C runtimes of a Windows process, found by module handle.
#include "other_runtimes.h"

#include "zknative7_alloc.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

namespace {

// Each C runtime DLL makes its copy from the OS block at its first use; msvcrt's _wputenv changes
// msvcrt's copy and the OS block. These are the runtimes JVMs and native libraries bring (the JVM
// itself links ucrtbase, JDK 8 msvcr100; debug builds ucrtbased). One linked statically into a DLL
// has a copy no one else can reach.
const wchar_t* const kRuntimes[] = {L"ucrtbase.dll", L"ucrtbased.dll", L"msvcr120.dll", L"msvcr110.dll",
                                    L"msvcr100.dll", L"msvcr90.dll",   L"msvcr80.dll",  L"msvcr71.dll",
                                    L"msvcr70.dll"};
constexpr size_t kRuntimeCount = sizeof kRuntimes / sizeof kRuntimes[0];

typedef int(__cdecl* WputenvFunction)(const wchar_t*);

// DLLs loaded so far, as the loader reports them. Looking up a DLL that is not loaded may search
// the disk (under Wine, 50 us a name), so a runtime missing at the last search is looked for again
// only once this has moved; the loader reports a DLL only once it can be found.
std::atomic<unsigned long> dllsLoaded(0);

// The loader's notification, which ntdll exports but the SDK headers do not declare.
typedef VOID(CALLBACK* DllNotification)(ULONG reason, const void* data, void* context);
typedef LONG(NTAPI* RegisterDllNotification)(ULONG flags, DllNotification notification, void* context, void** cookie);
constexpr ULONG kDllLoaded = 1;  // LDR_DLL_NOTIFICATION_REASON_LOADED

VOID CALLBACK countDllLoad(ULONG reason, const void* /*data*/, void* /*context*/) {
    if (reason == kDllLoaded) {
        dllsLoaded.fetch_add(1);
    }
}

// Under the environment lock: whether loads are counted, the count at the last search, and which
// runtimes that search found.
bool countingTried = false;
bool loadsCounted = false;
bool searched = false;
unsigned long dllsLoadedAtSearch = 0;
bool runtimeFound[kRuntimeCount];

// The loader calls back into this copy for as long as the process runs, so it stays loaded.
bool startCountingDllLoads() {
    HMODULE self;
    auto registerNotification = reinterpret_cast<RegisterDllNotification>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrRegisterDllNotification")));
    void* cookie;
    return registerNotification != nullptr &&
           GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                              reinterpret_cast<LPCWSTR>(&countDllLoad), &self) &&
           registerNotification(0, countDllLoad, nullptr, &cookie) >= 0;
}

// "NAME=" for the variable `assignment` assigns, from sMalloc; null when the heap is exhausted.
wchar_t* removalOf(const wchar_t* assignment, size_t nameUnits) {
    auto* removal = static_cast<wchar_t*>(sMalloc((nameUnits + 2) * sizeof(wchar_t)));
    if (removal != nullptr) {
        wmemcpy(removal, assignment, nameUnits + 1);
        removal[nameUnits + 1] = L'\0';
    }
    return removal;
}

}  // namespace

// A runtime that refuses the new value loses the variable instead of keeping the old one; its
// removal also reaches the OS block, which then gets the value back, as children and runtimes
// loaded later read it there.
void putenvInOtherRuntimes(const jchar* assignment, size_t nameUnits) {
    if (!countingTried) {
        countingTried = true;
        loadsCounted = startCountingDllLoads();
    }
    unsigned long loadsNow = dllsLoaded.load();  // before the search, so a load during it counts
    bool searching = !loadsCounted || !searched || loadsNow != dllsLoadedAtSearch;
    const auto* wide = reinterpret_cast<const wchar_t*>(assignment);
    wchar_t* removal = nullptr;
    for (size_t i = 0; i < kRuntimeCount; ++i) {
        HMODULE module;
        if (!searching && !runtimeFound[i]) {
            continue;
        }
        // Found, never loaded; counted, so no thread can unload it while its _wputenv runs.
        runtimeFound[i] = GetModuleHandleExW(0, kRuntimes[i], &module) != 0;
        if (!runtimeFound[i]) {
            continue;  // unloaded since, or not loaded: a later load sets off a new search
        }
        auto wputenv = reinterpret_cast<WputenvFunction>(reinterpret_cast<void*>(GetProcAddress(module, "_wputenv")));
        if (wputenv != nullptr && wputenv(wide) != 0 && wide[nameUnits + 1] != L'\0') {
            removal = removal != nullptr ? removal : removalOf(wide, nameUnits);
            if (removal != nullptr) {
                wputenv(removal);
            }
        }
        FreeLibrary(module);
    }
    if (searching) {
        searched = true;
        dllsLoadedAtSearch = loadsNow;
    }
    if (removal != nullptr) {
        removal[nameUnits] = L'\0';  // the name alone
        SetEnvironmentVariableW(removal, wide + nameUnits + 1);
        sFree(removal);
    }
}
