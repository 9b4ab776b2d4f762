// This copy's shared state on Windows, the lock, as it offers it to later copies; the runtime keeps the one environment itself.
#include "serving_copy.h"

#include <windows.h>

namespace {

// The process's one lock: the runtime frees a variable's old string when an assignment replaces
// it, so a value from _wgetenv is only safe to copy while no assignment can run. The Windows
// cross-compiler has no std::mutex; an SRW lock needs no initialiser and no teardown.
SRWLOCK environmentLock = SRWLOCK_INIT;

void ZKNATIVE7_CALL lockEnvironment(void) {
    AcquireSRWLockExclusive(&environmentLock);
}

void ZKNATIVE7_CALL unlockEnvironment(void) {
    ReleaseSRWLockExclusive(&environmentLock);
}

void ZKNATIVE7_CALL lockEnvironmentShared(void) {
    AcquireSRWLockShared(&environmentLock);
}

void ZKNATIVE7_CALL unlockEnvironmentShared(void) {
    ReleaseSRWLockShared(&environmentLock);
}

const ServingContract kOwnContract = {kServingContractVersion, sizeof(ServingContract), kThisLibrary,
                                      lockEnvironment, unlockEnvironment, lockEnvironmentShared, unlockEnvironmentShared,
                                      nullptr, nullptr, nullptr, nullptr, nullptr,
                                      jdkViewFollowedEntry, followAssignmentEntry, followJdkViewEntry};

}  // namespace

const ServingContract& hostServingContract() {
    return kOwnContract;
}
