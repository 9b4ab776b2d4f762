// Waiting for racing threads to make progress, on native threads' clocks (mingw-w64's win32 model
// has no std::this_thread).
#include "progress.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

namespace {

void sleepAMillisecond() {
#if defined(_WIN32)
    Sleep(1);
#else
    struct timespec wait = {0, 1000000L};
    nanosleep(&wait, nullptr);
#endif
}

}  // namespace

long long nowMillis() {
#if defined(_WIN32)
    return static_cast<long long>(GetTickCount64());
#else
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
}

std::string shortfall(const std::vector<Progress>& progress) {
    for (const Progress& p : progress) {
        long long done = p.done->load();
        if (done < p.least) {
            return p.who + " made " + std::to_string(done) + " of its " + std::to_string(p.least) + " " + p.unit;
        }
    }
    return "";
}

std::string awaitProgress(const std::vector<Progress>& progress, long long startMillis, long long boundMillis) {
    std::string missing;
    while (!(missing = shortfall(progress)).empty()) {
        long long ran = nowMillis() - startMillis;
        if (ran >= boundMillis) {
            return missing + " in " + std::to_string(ran) + " ms";
        }
        sleepAMillisecond();
    }
    return missing;
}
