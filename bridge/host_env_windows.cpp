// The process environment on Windows: the C runtime's own UTF-16 functions, under one lock.
#include "host_env.h"

#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cwchar>

namespace {

// The library's one lock. The runtime frees a variable's old string when an assignment replaces
// it, so a value from _wgetenv is only safe to copy while no assignment can run. The Windows
// cross-compiler has no std::mutex; an SRW lock needs no initialiser and no teardown.
SRWLOCK environmentLock = SRWLOCK_INIT;

}  // namespace

static_assert(sizeof(wchar_t) == sizeof(jchar), "the runtime's wide strings are UTF-16");

jstring hostGetenv(JNIEnv* env, const jchar* name) {
    jstring result = nullptr;
    AcquireSRWLockExclusive(&environmentLock);
    const wchar_t* value = _wgetenv(reinterpret_cast<const wchar_t*>(name));
    if (value != nullptr) {
        size_t units = wcslen(value);
        if (units <= INT_MAX) {
            result = env->NewString(reinterpret_cast<const jchar*>(value), static_cast<jsize>(units));
        }
    }
    ReleaseSRWLockExclusive(&environmentLock);
    return result;
}

bool hostPutenv(const jchar* assignment) {
    AcquireSRWLockExclusive(&environmentLock);
    int status = _wputenv(reinterpret_cast<const wchar_t*>(assignment));
    ReleaseSRWLockExclusive(&environmentLock);
    return status == 0;
}
