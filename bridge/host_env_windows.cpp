// The process environment on Windows: the C runtime's own UTF-16 functions, under one lock, with
// every assignment passed on to each other C runtime loaded in the process.
#include "host_env.h"
#include "assignment.h"
#include "other_runtimes.h"
#include "wide_string.h"

#include <windows.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cwchar>

namespace {

// The process's one lock (later copies of the library call the first). The runtime frees a
// variable's old string when an assignment replaces it, so a value from _wgetenv is only safe to
// copy while no assignment can run. The Windows cross-compiler has no std::mutex; an SRW lock
// needs no initialiser and no teardown.
SRWLOCK environmentLock = SRWLOCK_INIT;

// Whether a lookup has run, after which the runtime's UTF-16 environment exists.
std::atomic<bool> wideEnvironmentBuilt(false);

// Windows keeps names and values in counted strings of at most 32,766 units. Past that, Wine's
// runtime stores a truncated value and reports success; Windows fails only after the runtime's
// own copy has changed. Neither may happen to a caller's data.
constexpr size_t kMaxUnits = 32766;
}  // namespace

static_assert(sizeof(wchar_t) == sizeof(jchar), "the runtime's wide strings are UTF-16");

jstring hostGetenv(JNIEnv* env, jstring /*nameString*/, const jchar* name, size_t /*nameUnits*/) {
    jstring result = nullptr;
    // Lookups only read, so they share the lock, but the runtime builds its UTF-16 environment on
    // the first one, which must therefore run alone.
    bool alone = !wideEnvironmentBuilt.load(std::memory_order_acquire);
    if (alone) {
        AcquireSRWLockExclusive(&environmentLock);
    } else {
        AcquireSRWLockShared(&environmentLock);
    }
    const wchar_t* value = _wgetenv(reinterpret_cast<const wchar_t*>(name));
    if (value != nullptr) {
        size_t units = wcslen(value);
        if (units <= INT_MAX) {
            result = env->NewString(reinterpret_cast<const jchar*>(value), static_cast<jsize>(units));
        }
    }
    if (alone) {
        wideEnvironmentBuilt.store(true, std::memory_order_release);
        ReleaseSRWLockExclusive(&environmentLock);
    } else {
        ReleaseSRWLockShared(&environmentLock);
    }
    return result;
}

bool hostPutenv(const jchar* assignment) {
    size_t units = wideLength(assignment);
    size_t nameUnits = assignmentNameUnits(assignment, units);
    if (nameUnits > kMaxUnits || units - nameUnits - 1 > kMaxUnits) {
        return false;  // nameUnits == 0 (no assignment) is the runtime's to refuse
    }
    AcquireSRWLockExclusive(&environmentLock);
    bool applied = _wputenv(reinterpret_cast<const wchar_t*>(assignment)) == 0;
    if (applied && nameUnits > 0) {
        putenvInOtherRuntimes(assignment, nameUnits);
    }
    ReleaseSRWLockExclusive(&environmentLock);
    return applied;
}
