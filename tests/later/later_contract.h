// The serving contract of a later version, as the tests that load two builds in one process make it.
#ifndef ZKNATIVE7_LATER_CONTRACT_H
#define ZKNATIVE7_LATER_CONTRACT_H

#include "serving_contract.h"

extern "C" {

// The first version's entries as they are, then what a later version appends: an assignment with
// another signature, added beside the one it supersedes rather than in its place, and a new entry.
struct LaterServingContract {
    ServingContract first;
    bool (ZKNATIVE7_CALL* publishAssignmentApart)(const char* name, size_t nameBytes, const char* value, size_t valueBytes);
    uint32_t (ZKNATIVE7_CALL* changesLocked)(void);  // how often the lock was taken for a change
};
}

constexpr uint32_t kLaterContractVersion = 2;
constexpr const char* kLaterLibrary = "zknative7 9.0.0-later";

#endif
