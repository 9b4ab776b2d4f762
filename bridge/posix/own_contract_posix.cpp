// This copy's shared state on POSIX hosts, the lock and the published environment, as it offers them to later copies.
#include "environ_publication.h"
#include "serving_copy.h"

#include <pthread.h>

namespace {

// Orders the assignments of every copy served by this one, which read, then change, the published
// environment; lookups need no lock, as nothing they read is ever freed. A plain pthread mutex:
// std::mutex would bring in libstdc++'s exceptions, which the library neither links nor lets reach
// the JVM.
pthread_mutex_t environmentLock = PTHREAD_MUTEX_INITIALIZER;

void ZKNATIVE7_CALL lockEnvironment(void) {
    pthread_mutex_lock(&environmentLock);
}

void ZKNATIVE7_CALL unlockEnvironment(void) {
    pthread_mutex_unlock(&environmentLock);
}

bool ZKNATIVE7_CALL assign(const char* entry, size_t entryBytes, size_t nameBytes) {
    return publishAssignment(entry, entryBytes, nameBytes);
}

bool ZKNATIVE7_CALL removeNamed(const char* name, size_t nameBytes) {
    return publishRemoval(name, nameBytes);
}

const char* ZKNATIVE7_CALL valueNamed(const char* name, size_t nameBytes) {
    return publishedValue(name, nameBytes);
}

const char** ZKNATIVE7_CALL variables(size_t* count) {
    return publishedVariables(count);
}

bool ZKNATIVE7_CALL compacted(void) {
    return publishCompacted();
}

const ServingContract kOwnContract = {kServingContractVersion, sizeof(ServingContract), kThisLibrary,
                                      lockEnvironment, unlockEnvironment, lockEnvironment, unlockEnvironment,
                                      assign, removeNamed, valueNamed, variables, compacted,
                                      jdkViewFollowedEntry, followAssignmentEntry, followJdkViewEntry};

}  // namespace

const ServingContract& hostServingContract() {
    return kOwnContract;
}
