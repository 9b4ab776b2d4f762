// Which copy of the library serves the process, and what this copy shares with it. A JVM loads one
// copy per class loader that loads NativeTools, of whatever versions the applications bring; the
// first copy serves them all: every copy takes the first one's lock and changes the first one's
// published environment, through its serving contract (serving_contract.h), and never calls
// anything else of another copy. A first copy of an earlier version, which has no contract, is
// shared through the three natives that every version has had with the same signature.
#ifndef ZKNATIVE7_SERVING_COPY_H
#define ZKNATIVE7_SERVING_COPY_H

#include "natives.h"
#include "serving_contract.h"

#include <cstddef>

// This copy's name and version, as other copies name it.
#define ZKNATIVE7_LIBRARY_NAME "zknative7 " ZKNATIVE7_VERSION
constexpr const char* kThisLibrary = ZKNATIVE7_LIBRARY_NAME;

// The natives of a first copy without a contract, by which this copy can still share its lock.
struct EarlierNatives {
    jstring(JNICALL* getenv0)(JNIEnv*, jclass, jstring);
    jboolean(JNICALL* putenv0)(JNIEnv*, jclass, jstring);
    jobjectArray(JNICALL* environ0)(JNIEnv*, jclass);
};

struct ServingCopy {
    // The contract of the copy whose lock and environment this copy uses: its own when it serves,
    // or when the serving copy cannot be shared with.
    const ServingContract* contract;
    // A first copy of an earlier version, whose natives this copy calls instead; else null.
    const EarlierNatives* earlier;
    // Null when this copy shares all it has with the serving copy; else what it cannot, one line.
    const char* note;
};

// Found once, on the first call; the serving copy is never unloaded, so the answer stays true.
const ServingCopy& servingCopy();

// The serving copy's contract, shorthand for servingCopy().contract.
inline const ServingContract& shared() {
    return *servingCopy().contract;
}

// This copy's own contract, which it serves other copies through (serving_contract.cpp), and the
// host's, which that offers: this version's entries over this copy's state.
const ServingContract* ownServingContract();
const ServingContract& hostServingContract();

// What each host finds of the first copy in the process. `contract` is its contract and `earlier`
// its natives without one; both null, with `note` saying why, when it cannot be shared with; false
// when the first copy is this one.
struct FirstCopy {
    const ServingContract* contract;
    EarlierNatives earlier;
    bool hasEarlier;
    char note[512];
};
bool findOtherServingCopy(FirstCopy* found);

// Lets the thread that is finding the serving copy run.
void yieldToResolvingThread();

#endif
