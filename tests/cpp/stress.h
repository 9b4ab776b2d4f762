// Many threads in the natives at once: a shared variable set, replaced and removed, and a variable
// of each thread's own. Every read must be a whole value some thread wrote, or unset after a removal.
#ifndef ZKNATIVE7_STRESS_H
#define ZKNATIVE7_STRESS_H

#include "serving_copy.h"

#include <string>

struct StressReport {
    int threads;
    long long operations;
    int millis;
    long long faults;
    std::string firstFault;
    long long reads;  // lookups of the shared variable
    long long torn;   // of those, values no thread wrote
};

// Every lookup goes through getenv0 and every assignment through putenv0, so the two may belong to
// different copies of the library.
StressReport runStress(Getenv0Native getenv0, Putenv0Native putenv0, int threads, int millis);

// "8 threads, N operations in M ms, R shared reads, T torn, F faults": what a stress run did.
std::string describe(const StressReport& report);

#endif
