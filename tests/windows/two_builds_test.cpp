// Two builds of the library in one process, each loaded from a file of its own in the order given:
// whichever version is first, both act on one environment under one lock.
#include "fake_jni.h"
#include "later_contract.h"
#include "natives.h"
#include "stress.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// A build as the command line names it, "today=Z:\\...\\zknative7.dll", and what it exports.
struct Build {
    std::string version;  // earlier, between (the contract), today or later
    HMODULE module = nullptr;
    NativeTable natives = NativeTable();
};

Build builds[2];

Build load(const char* argument) {
    Build build;
    std::string text(argument);
    size_t equals = text.find('=');
    build.version = text.substr(0, equals);
    std::string path = text.substr(equals + 1);
    build.module = LoadLibraryA(path.c_str());
#define ZKNATIVE7_BIND_NATIVE(method, symbol) \
    build.natives.method = reinterpret_cast<decltype(build.natives.method)>(GetProcAddress(build.module, symbol));
    ZKNATIVE7_EACH_NATIVE(ZKNATIVE7_BIND_NATIVE)
#undef ZKNATIVE7_BIND_NATIVE
    // A lookup resolves which copy serves, as a JVM's first call would.
    if (build.natives.getenv0 != nullptr) {
        FakeJni fake;
        build.natives.getenv0(&fake.env, nullptr, fake.string(u"ZK7W_RESOLVED"));
    }
    return build;
}

const LaterServingContract* laterContractOf(const Build& build) {
    auto contract = reinterpret_cast<decltype(&zknative7_serving_contract)>(
        GetProcAddress(build.module, "zknative7_serving_contract"));
    return build.version == "later" && contract != nullptr ? reinterpret_cast<const LaterServingContract*>(contract())
                                                             : nullptr;
}

TEST(TwoBuilds, AreLoadedAsTwoModules) {
    for (const Build& build : builds) {
        ASSERT_NE(build.natives.putenv0, nullptr) << build.version << ": " << GetLastError();
        ASSERT_NE(build.natives.getenv0, nullptr) << build.version;
    }
    EXPECT_NE(builds[0].module, builds[1].module);
}

// Writers through one build and readers through the other, then the other way round: with two
// locks, a read copies a string that an assignment through the other has just freed.
TEST(TwoBuilds, ChangesThroughEitherAreWholeAndKeptForTheOther) {
    for (int writer = 0; writer < 2; ++writer) {
        const Build& writes = builds[writer];
        const Build& reads = builds[1 - writer];
        StressReport report = runStress(reads.natives.getenv0, writes.natives.putenv0, 8, kStressRounds / 4, kStressBoundMillis);
        std::printf("%s writes, %s reads: %s\n", writes.version.c_str(), reads.version.c_str(), describe(report).c_str());
        EXPECT_EQ(report.stalled, "");
        EXPECT_EQ(report.torn, 0);
        EXPECT_EQ(report.faults, 0) << report.firstFault;
    }
}

// The copy of today's build says whether it shares all it has with the first copy, and only
// beside an earlier version without a serving contract (either layout) does it not.
TEST(TwoBuilds, TodaysCopySaysWhatItCannotShare) {
    for (const Build& build : builds) {
        if (build.version != "today") {
            continue;
        }
        ASSERT_NE(build.natives.servingCopy0, nullptr);
        FakeJni fake;
        jstring note = build.natives.servingCopy0(&fake.env, nullptr);
        bool besideEarlier = builds[0].version == "earlier" || builds[0].version == "between";  // no contract
        std::string said;
        for (char16_t unit : note == nullptr ? std::u16string(u"no note") : FakeJni::unitsOf(note)) {
            said += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
        EXPECT_EQ(note != nullptr, besideEarlier) << said;
        EXPECT_EQ(said.find("earlier version") != std::string::npos, besideEarlier) << said;
    }
}

// A later version first serves today's copy through its own lock entry, which counts; a later
// version served by today's first takes today's lock and never its own.
TEST(TwoBuilds, ALaterVersionSharesItsLockWhicheverIsFirst) {
    int later = laterContractOf(builds[0]) != nullptr ? 0 : laterContractOf(builds[1]) != nullptr ? 1 : -1;
    if (later < 0) {
        GTEST_SKIP() << "no later version in this pair";
    }
    const LaterServingContract* contract = laterContractOf(builds[later]);
    ASSERT_EQ(contract->first.version, kLaterContractVersion);
    FakeJni fake;
    for (const Build& build : builds) {
        uint32_t before = contract->changesLocked();
        ASSERT_EQ(build.natives.putenv0(&fake.env, nullptr, fake.string(u"ZK7W_LOCKED=" + std::u16string(u"\u4e2d"))), JNI_TRUE);
        uint32_t taken = contract->changesLocked() - before;
        EXPECT_EQ(taken, later == 0 ? 1u : 0u) << build.version << " with the later version "
                                                << (later == 0 ? "first" : "second");
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s VERSION=FIRST.dll VERSION=SECOND.dll\n", argv[0]);
        return 2;
    }
    builds[0] = load(argv[1]);
    builds[1] = load(argv[2]);
    return RUN_ALL_TESTS();
}
