// A later version's serving contract over this build's state, in place of its own: what a copy of
// this version must share with, whichever of the two is loaded first.
#include "later_contract.h"

#include "serving_copy.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<uint32_t> changesTaken(0);

void ZKNATIVE7_CALL lockCounting(void) {
    hostServingContract().lock();
    changesTaken.fetch_add(1, std::memory_order_relaxed);
}

uint32_t ZKNATIVE7_CALL changesLocked(void) {
    return changesTaken.load(std::memory_order_relaxed);
}

bool ZKNATIVE7_CALL assignApart(const char* name, size_t nameBytes, const char* value, size_t valueBytes) {
    size_t entryBytes = nameBytes + 1 + valueBytes;
    auto* entry = static_cast<char*>(sMalloc(entryBytes + 1));
    if (entry == nullptr) {
        return false;
    }
    std::memcpy(entry, name, nameBytes);
    entry[nameBytes] = '=';
    std::memcpy(entry + nameBytes + 1, value, valueBytes);
    entry[entryBytes] = '\0';
    bool assigned = hostServingContract().publishAssignment(entry, entryBytes, nameBytes);
    sFree(entry);
    return assigned;
}

LaterServingContract made() {
    LaterServingContract later = {hostServingContract(), nullptr, changesLocked};
    later.first.version = kLaterContractVersion;
    later.first.size = sizeof(LaterServingContract);
    later.first.library = kLaterLibrary;
    later.first.lock = lockCounting;
    if (later.first.publishAssignment != nullptr) {
        later.publishAssignmentApart = assignApart;
    }
    return later;
}

}  // namespace

const ServingContract* ownServingContract() {
    static const LaterServingContract later = made();
    return &later.first;
}

const ServingContract* ZKNATIVE7_CALL zknative7_serving_contract(void) {
    return ownServingContract();
}
