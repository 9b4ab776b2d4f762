// Races that end when every racing thread has made its least progress, not after a fixed time or a
// fixed count on one thread: what a race test asserts never rests on how the scheduler shared the
// cores. A time bound ends a race whose threads stopped making progress, and says which.
#ifndef ZKNATIVE7_PROGRESS_H
#define ZKNATIVE7_PROGRESS_H

#include <atomic>
#include <string>
#include <vector>

struct Progress {
    std::string who;  // "thread 3", "the spawning thread"
    const std::atomic<long long>* done;
    long long least;
    const char* unit;  // "rounds", "children"
};

// Empty when every counter has reached its least; otherwise which one has not, and how far it got.
std::string shortfall(const std::vector<Progress>& progress);

// Waits until shortfall() is empty or boundMillis have passed since startMillis, and returns it,
// saying how long the race ran when it is not empty.
std::string awaitProgress(const std::vector<Progress>& progress, long long startMillis, long long boundMillis);

// A monotonic clock, in milliseconds.
long long nowMillis();

#endif
