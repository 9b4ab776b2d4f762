// Many threads in the natives at once: a shared variable set, replaced and removed, and a variable
// of each thread's own. Every read must be a whole value some thread wrote, or unset after a removal.
// Every thread goes on until all of them have made their least rounds, so they race the whole time.
#ifndef ZKNATIVE7_STRESS_H
#define ZKNATIVE7_STRESS_H

#include "natives.h"

#include <string>

struct StressReport {
    int threads;
    long long operations;
    long long millis;
    std::string stalled;  // which thread fell short of its rounds within the bound; empty if none
    long long faults;
    std::string firstFault;
    long long reads;  // lookups of the shared variable
    long long torn;   // of those, values no thread wrote
};

// Rounds each thread makes at least, and how long that may take on the slowest runner (valgrind
// runs one thread at a time; qemu and Wine emulate).
constexpr long long kStressRounds = 4000;
constexpr long long kStressBoundMillis = 120000;

// Every lookup goes through getenv0 and every assignment through putenv0, so the two may belong to
// different copies of the library.
StressReport runStress(decltype(NativeTable::getenv0) getenv0, decltype(NativeTable::putenv0) putenv0, int threads, long long leastRounds,
                       long long boundMillis);

// "8 threads, N operations in M ms, R shared reads, T torn, F faults": what a stress run did.
std::string describe(const StressReport& report);

#endif
