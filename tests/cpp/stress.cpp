// The stress run, on native threads (mingw-w64's win32 model has no std::thread).
#include "stress.h"

#include "fake_jni.h"
#include "progress.h"

#include <atomic>
#include <deque>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace {

const std::u16string kUnset = u"(unset)";

// Lengths on both sides of the library's stack buffers, so a torn or freed read cannot pass.
const std::u16string kSharedValues[] = {
    u"short",
    u"\u041f\u0440\u0438\u0432\u0435\u0442",
    std::u16string(300, u'\u4e2d'),
    std::u16string(1000, u'x'),
    u"\U0001F600=" + std::u16string{0xD800},
};

struct Racer {
    decltype(NativeTable::getenv0) getenv0 = nullptr;
    decltype(NativeTable::putenv0) putenv0 = nullptr;
    int id = 0;
    const std::atomic<bool>* stop = nullptr;
    std::atomic<long long> rounds{0};
    long long operations = 0;
    long long faults = 0;
    std::string firstFault;
    long long reads = 0;
    long long torn = 0;
};

void fault(Racer& racer, const std::string& what) {
    if (racer.faults++ == 0) {
        racer.firstFault = what;
    }
}

void race(Racer& racer) {
    FakeJni fake;  // one JNIEnv per thread, as a JVM gives
    auto get = [&](const std::u16string& name) {
        jstring value = racer.getenv0(&fake.env, nullptr, fake.string(name));
        return value == nullptr ? kUnset : FakeJni::unitsOf(value);
    };
    auto put = [&](const std::u16string& assignment) {
        return racer.putenv0(&fake.env, nullptr, fake.string(assignment)) == JNI_TRUE;
    };
    const std::u16string own = u"ZK7S_OWN_" + std::u16string(1, static_cast<char16_t>(u'A' + racer.id));
    for (long long i = 0; !racer.stop->load(std::memory_order_relaxed); ++i) {
        const std::u16string& mine = kSharedValues[(i + racer.id) % 5];
        bool removing = (i + racer.id) % 7 == 0;
        if (!put(removing ? u"ZK7S_SHARED=" : u"ZK7S_SHARED=" + mine)) {
            fault(racer, "shared assignment refused");
        }
        std::u16string seen = get(u"ZK7S_SHARED");
        ++racer.reads;
        bool written = seen == kUnset;
        for (const std::u16string& value : kSharedValues) {
            written = written || seen == value;
        }
        if (!written) {
            ++racer.torn;
            fault(racer, "torn shared value of " + std::to_string(seen.size()) + " units");
        }
        std::u16string ownValue = mine + u":" + std::u16string(static_cast<size_t>(i % 50), u'y');
        if (!put(own + u"=" + ownValue) || get(own) != ownValue) {
            fault(racer, "own value lost");
        }
        if (i % 3 == 0 && (!put(own + u"=") || get(own) != kUnset)) {
            fault(racer, "own removal lost");
        }
        racer.operations += i % 3 == 0 ? 6 : 4;
        racer.rounds.fetch_add(1);
        fake.strings.clear();
    }
    if (fake.charsHeld != 0 || fake.badReleases != 0) {
        fault(racer, "characters not released once");
    }
    put(own + u"=");
}

#if defined(_WIN32)
DWORD WINAPI raceThread(void* racer) {
    race(*static_cast<Racer*>(racer));
    return 0;
}
#else
void* raceThread(void* racer) {
    race(*static_cast<Racer*>(racer));
    return nullptr;
}
#endif

}  // namespace

StressReport runStress(decltype(NativeTable::getenv0) getenv0, decltype(NativeTable::putenv0) putenv0, int threads, long long leastRounds,
                       long long boundMillis) {
    std::atomic<bool> stop(false);
    std::deque<Racer> racers(static_cast<size_t>(threads));  // atomics stay where they are
    std::vector<Progress> progress;
    for (int id = 0; id < threads; ++id) {
        Racer& racer = racers[static_cast<size_t>(id)];
        racer.getenv0 = getenv0;
        racer.putenv0 = putenv0;
        racer.id = id;
        racer.stop = &stop;
        progress.push_back(Progress{"thread " + std::to_string(id), &racer.rounds, leastRounds, "rounds"});
    }
    long long start = nowMillis();
#if defined(_WIN32)
    std::vector<HANDLE> handles;
    for (Racer& racer : racers) {
        handles.push_back(CreateThread(nullptr, 0, raceThread, &racer, 0, nullptr));
    }
    std::string stalled = awaitProgress(progress, start, boundMillis);
    stop = true;
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
    for (HANDLE handle : handles) {
        CloseHandle(handle);
    }
#else
    std::vector<pthread_t> handles(racers.size());
    for (size_t i = 0; i < racers.size(); ++i) {
        pthread_create(&handles[i], nullptr, raceThread, &racers[i]);
    }
    std::string stalled = awaitProgress(progress, start, boundMillis);
    stop = true;
    for (pthread_t handle : handles) {
        pthread_join(handle, nullptr);
    }
#endif
    StressReport report{threads, 0, nowMillis() - start, stalled, 0, std::string(), 0, 0};
    for (const Racer& racer : racers) {
        report.operations += racer.operations;
        report.reads += racer.reads;
        report.torn += racer.torn;
        if (racer.faults != 0 && report.faults == 0) {
            report.firstFault = racer.firstFault;
        }
        report.faults += racer.faults;
    }
    return report;
}

std::string describe(const StressReport& report) {
    return std::to_string(report.threads) + " threads, " + std::to_string(report.operations) +
           " operations in " + std::to_string(report.millis) + " ms, " + std::to_string(report.reads) +
           " shared reads, " + std::to_string(report.torn) + " torn, " + std::to_string(report.faults) +
           " faults" + (report.faults == 0 ? "" : " (first: " + report.firstFault + ")") +
           (report.stalled.empty() ? "" : "; " + report.stalled);
}
