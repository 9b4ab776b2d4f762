// What every copy of the library in a process shares with the copy that serves it, whatever either's
// version: the one environment lock, the published environment and the followed JDK copy. This is
// the only thing one copy ever calls in another, so it is all that must stay compatible. Its
// layout is frozen: a later version may only append entries (raising kServingContractVersion),
// never change or remove one; a copy calls an entry only when the serving copy's `size` covers it.
#ifndef ZKNATIVE7_SERVING_CONTRACT_H
#define ZKNATIVE7_SERVING_CONTRACT_H

#include "jdk_view.h"
#include "zknative7_alloc.h"

#include <jni.h>

#include <cstddef>
#include <cstdint>

constexpr uint32_t kServingContractVersion = 1;

extern "C" {

// Every entry is a C function of the platform's C calling convention, whichever compiler built it.
struct ServingContract {
    uint32_t version;     // of the copy that made it
    uint32_t size;        // of its contract in bytes
    const char* library;  // its name and version, "zknative7 1.0.0", for what a copy says of it
    // The environment lock: every change takes it alone; lookups and listings that must not meet a
    // change share it (on POSIX hosts they need not).
    void (ZKNATIVE7_CALL* lock)(void);
    void (ZKNATIVE7_CALL* unlock)(void);
    void (ZKNATIVE7_CALL* lockShared)(void);
    void (ZKNATIVE7_CALL* unlockShared)(void);
    // The published environment of POSIX hosts (environ_publication.h), under the lock for
    // changes; null on Windows, whose runtime keeps the one environment itself.
    bool (ZKNATIVE7_CALL* publishAssignment)(const char* entry, size_t entryBytes, size_t nameBytes);
    bool (ZKNATIVE7_CALL* publishRemoval)(const char* name, size_t nameBytes);
    const char* (ZKNATIVE7_CALL* publishedValue)(const char* name, size_t nameBytes);
    // The listing is a block of the C runtime's malloc, which the caller frees with free: the one
    // allocator two copies of any versions are sure to share.
    const char** (ZKNATIVE7_CALL* publishedVariables)(size_t* count);
    bool (ZKNATIVE7_CALL* publishCompacted)(void);
    // The JDK's followed copy (jdk_view.h), under the lock.
    bool (ZKNATIVE7_CALL* jdkViewFollowed)(void);
    bool (ZKNATIVE7_CALL* followAssignment)(JNIEnv* env, const JdkVariable* changed);
    jstring (ZKNATIVE7_CALL* followJdkView)(JNIEnv* env, jobject environment, jobject caseInsensitive, jclass variable, jclass value,
                             const JdkVariable* variables, size_t count);
};

// This copy's own contract, exported by this name (cmake/exports.txt) for later copies to find.
ZKNATIVE7_API const ServingContract* ZKNATIVE7_CALL zknative7_serving_contract(void);
}

// Whether `contract` has the entry at `member`: the serving copy's version may be older.
#define ZKNATIVE7_HAS_ENTRY(contract, member) \
    ((contract)->size >= offsetof(ServingContract, member) + sizeof((contract)->member) && (contract)->member != nullptr)

#endif
