// The environment as everything else in the process reads it while the natives change it: glibc's
// getenv on other threads, a walk of environ the way execve copies it, children from posix_spawn.
#include "fake_jni.h"
#include "natives.h"
#include "progress.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

typedef std::vector<std::string> Entries;

// environ as another thread reads it while the natives may publish a new array.
char** publishedNow() {
    return __atomic_load_n(&environ, __ATOMIC_ACQUIRE);
}

bool put(FakeJni& fake, const std::string& assignment) {
    std::u16string units(assignment.begin(), assignment.end());
    bool applied = Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(units)) == JNI_TRUE;
    fake.strings.clear();
    return applied;
}

// Walks `array` as execve does: counts up to the null, then copies that many entries by index.
// Empty `fault` means the walk met no null before the end it counted.
Entries walk(char** array, std::string* fault) {
    size_t count = 0;
    while (__atomic_load_n(&array[count], __ATOMIC_ACQUIRE) != nullptr) {
        ++count;
    }
    Entries entries;
    for (size_t i = 0; i < count; ++i) {
        const char* entry = __atomic_load_n(&array[i], __ATOMIC_ACQUIRE);
        if (entry == nullptr) {
            *fault = "null at " + std::to_string(i) + " of " + std::to_string(count);
            return entries;
        }
        entries.push_back(entry);
    }
    return entries;
}

// The variables an environment holds, or a fault: an entry that is not NAME=VALUE, or one name
// twice with two values.
std::map<std::string, std::string> variablesOf(const Entries& entries, std::string* fault) {
    std::map<std::string, std::string> variables;
    for (const std::string& entry : entries) {
        size_t equals = entry.find('=');
        if (equals == std::string::npos || equals == 0) {
            *fault = "not an assignment: " + entry.substr(0, 40);
            continue;
        }
        auto inserted = variables.emplace(entry.substr(0, equals), entry.substr(equals + 1));
        if (!inserted.second && inserted.first->second != entry.substr(equals + 1)) {
            *fault = "two values for " + inserted.first->first;
        }
    }
    return variables;
}

std::map<std::string, std::string> currentVariables() {
    std::string fault;
    std::map<std::string, std::string> variables = variablesOf(walk(environ, &fault), &fault);
    EXPECT_EQ(fault, "");
    return variables;
}

// Each step, then the whole environment compared with what it should hold. Removing the first
// entry and replacing one that stands in for removed ones are the cases holes make hard.
TEST(EnvironPublication, EveryStepLeavesExactlyTheVariablesSet) {
    FakeJni fake;
    ASSERT_TRUE(put(fake, "ZK7E_FIRST=1"));  // adopts the inherited array first
    std::map<std::string, std::string> expected = currentVariables();
    std::vector<std::pair<char**, Entries>> superseded;
    char** published = environ;

    std::vector<std::string> steps = {"ZK7E_A=1", "ZK7E_B=2", "ZK7E_C=3", "ZK7E_B=", "ZK7E_D=4",
                                      "ZK7E_A=", "ZK7E_C=", "ZK7E_E=5", "ZK7E_E=6", "ZK7E_NEVER="};
    const std::string original = environ[0];
    const std::string first = original.substr(0, original.find('='));
    steps.push_back(first + "=replaced while standing in for removed ones");
    steps.push_back("ZK7E_D=");
    steps.push_back(first + "=");  // the first entry itself removed
    steps.push_back(original);
    for (int i = 0; i < 200; ++i) {  // growth, several times over
        steps.push_back("ZK7E_MANY" + std::to_string(i) + "=" + std::string(static_cast<size_t>(i), 'v'));
        if (i % 3 == 0) {
            steps.push_back("ZK7E_MANY" + std::to_string(i / 2) + "=");
        }
    }
    for (int i = 0; i < 200; ++i) {
        steps.push_back("ZK7E_MANY" + std::to_string(i) + "=");
    }
    steps.push_back("ZK7E_FIRST=");
    for (const std::string& step : steps) {
        char** before = environ;
        std::string fault;
        Entries beforeEntries = walk(before, &fault);
        ASSERT_TRUE(put(fake, step)) << step;
        if (environ != before) {
            superseded.emplace_back(before, beforeEntries);
        }
        size_t equals = step.find('=');
        if (equals + 1 == step.size()) {
            expected.erase(step.substr(0, equals));
        } else {
            expected[step.substr(0, equals)] = step.substr(equals + 1);
        }
        std::map<std::string, std::string> seen = variablesOf(walk(environ, &fault), &fault);
        ASSERT_EQ(fault, "") << "after " << step;
        ASSERT_EQ(seen, expected) << "after " << step;
    }
    EXPECT_NE(environ, published) << "never grew";
    // Arrays that were replaced stay allocated and untouched for readers still walking them.
    for (const auto& old : superseded) {
        std::string fault;
        EXPECT_EQ(walk(old.first, &fault), old.second);
        EXPECT_EQ(fault, "");
    }
}

// A parent may pass entries without a name: a hole must never repeat one, or a child would get it
// more often than the parent gave it, and `env -i` could not get rid of it.
TEST(EnvironPublication, HolesNeverRepeatAnEntryWithoutAName) {
    FakeJni fake;
    char** inherited = environ;
    char nameless[] = "=emptyname";
    char junk[] = "JUNK_WITHOUT_EQUALS";
    char a[] = "ZK7E_NL_A=1";
    char b[] = "ZK7E_NL_B=2";
    char* block[] = {nameless, junk, a, b, nullptr};
    environ = block;
    const struct {
        const char* assignment;
        Entries named;  // the entries with a name afterwards, each as often as it stands there
    } steps[] = {
        {"ZK7E_NL_A=", {"ZK7E_NL_B=2", "ZK7E_NL_B=2"}},  // the hole repeats the one named entry left
        {"ZK7E_NL_C=3", {"ZK7E_NL_B=2", "ZK7E_NL_C=3"}},
        {"ZK7E_NL_C=", {"ZK7E_NL_B=2", "ZK7E_NL_B=2"}},
        {"ZK7E_NL_B=", {}},  // nothing with a name is left to repeat
        {"ZK7E_NL_D=4", {"ZK7E_NL_D=4"}},
        {"ZK7E_NL_D=", {}},
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(put(fake, step.assignment)) << step.assignment;
        std::string fault;
        Entries now = walk(environ, &fault);
        ASSERT_EQ(fault, "");
        EXPECT_EQ(std::count(now.begin(), now.end(), std::string(nameless)), 1) << "after " << step.assignment;
        EXPECT_EQ(std::count(now.begin(), now.end(), std::string(junk)), 1) << "after " << step.assignment;
        Entries named;
        for (const std::string& entry : now) {
            if (entry != nameless && entry != junk) {
                named.push_back(entry);
            }
        }
        std::sort(named.begin(), named.end());
        EXPECT_EQ(named, step.named) << "after " << step.assignment;
    }
    environ = inherited;
}

// How long the readers may take to make their least progress on the slowest runner (valgrind).
constexpr long long kRaceBoundMillis = 120000;

struct Race {
    std::atomic<bool> done{false};
    std::atomic<long long> lookups{0};
    std::atomic<long long> walks{0};
    std::atomic<long long> children{0};
    std::atomic<long long> faults{0};
    std::string firstFault;  // written by the thread whose fault comes first
    std::map<std::string, std::string> untouched;

    void fault(const std::string& what) {
        if (faults.fetch_add(1) == 0) {
            firstFault = what;
        }
    }
};

void lookUp(Race& race) {
    while (!race.done.load()) {
        for (const auto& variable : race.untouched) {
            const char* value = std::getenv(variable.first.c_str());
            if (value == nullptr || variable.second != value) {
                race.fault("getenv missed " + variable.first);
            }
            race.lookups.fetch_add(1);
        }
    }
}

void walkLikeExecve(Race& race) {
    while (!race.done.load()) {
        std::string fault;
        std::map<std::string, std::string> seen = variablesOf(walk(publishedNow(), &fault), &fault);
        for (const auto& variable : race.untouched) {
            auto found = seen.find(variable.first);
            if (found == seen.end() || found->second != variable.second) {
                fault = "walk missed " + variable.first;
            }
        }
        if (!fault.empty()) {
            race.fault(fault);
        }
        race.walks.fetch_add(1);
    }
}

void spawnChildren(Race& race) {
    std::string check;
    for (const auto& variable : race.untouched) {
        check += (check.empty() ? "" : " && ") + std::string("[ \"$") + variable.first + "\" = '" + variable.second + "' ]";
    }
    while (!race.done.load()) {
        const char* argv[] = {"/bin/sh", "-c", check.c_str(), nullptr};
        pid_t child = 0;
        int status = posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), publishedNow());
        if (status != 0) {
            race.fault("posix_spawn failed: " + std::string(std::strerror(status)));
            continue;
        }
        int exit = 0;
        waitpid(child, &exit, 0);
        if (!WIFEXITED(exit) || WEXITSTATUS(exit) != 0) {
            race.fault("a child did not see the untouched variables");
        }
        race.children.fetch_add(1);
    }
}

// Thousands of names added, replaced and removed, and one name set and removed over and over,
// while other threads read: no fault, no failed child, an untouched variable never missing. The
// changes go on until every reader has made its least progress.
TEST(EnvironPublication, ReadersAndChildrenNeverMissAnUntouchedVariable) {
    FakeJni fake;
    Race race;
    for (int i = 0; i < 4; ++i) {
        std::string name = "ZK7U_" + std::to_string(i);
        race.untouched[name] = "kept " + std::to_string(i);
        ASSERT_TRUE(put(fake, name + "=" + race.untouched[name]));
    }
    const std::vector<Progress> readers = {{"the getenv thread", &race.lookups, 2000, "lookups"},
                                           {"the walking thread", &race.walks, 200, "walks"},
                                           {"the spawning thread", &race.children, 10, "children"}};
    long long start = nowMillis();
    std::vector<std::thread> threads;
    threads.emplace_back(lookUp, std::ref(race));
    threads.emplace_back(walkLikeExecve, std::ref(race));
    threads.emplace_back(spawnChildren, std::ref(race));

    // Fewer under valgrind, which runs one thread at a time.
    const char* scaled = std::getenv("ZK7T_RACE_NAMES");
    const int names = scaled == nullptr ? 3000 : std::atoi(scaled);
    long long assignments = 0;
    bool refused = false;
    for (const char* value : {"added", "replaced", ""}) {
        for (int i = 0; i < names; ++i) {
            refused = !put(fake, "ZK7R_" + std::to_string(i) + "=" + value) || refused;
            ++assignments;
        }
    }
    // Now and then the inherited entry that removed slots repeat changes too: no reader may see
    // its old value in one slot and its new one in another.
    const std::string inherited = publishedNow()[0];
    std::string stalled;
    for (long long i = 0; i < names * 7 || !(stalled = shortfall(readers)).empty(); ++i) {
        if (i >= names * 7 && nowMillis() - start >= kRaceBoundMillis) {
            stalled += " in " + std::to_string(nowMillis() - start) + " ms";
            break;
        }
        refused = !put(fake, i % 2 == 0 ? "ZK7R_ONE=" + std::to_string(i % 16) : "ZK7R_ONE=") || refused;
        if (i % 64 == 1) {
            refused = !put(fake, inherited + (i % 128 == 1 ? "+" : "")) || refused;
        }
        ++assignments;
    }
    ASSERT_TRUE(put(fake, inherited));
    race.done = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::printf("%lld assignments in %lld ms; %lld getenv lookups, %lld walks, %lld children; %lld faults\n",
                assignments, nowMillis() - start, race.lookups.load(), race.walks.load(), race.children.load(),
                race.faults.load());
    EXPECT_EQ(stalled, "");
    EXPECT_FALSE(refused);
    EXPECT_EQ(race.faults.load(), 0) << race.firstFault;
    for (const auto& variable : race.untouched) {
        EXPECT_TRUE(put(fake, variable.first + "="));
    }
}

}  // namespace
