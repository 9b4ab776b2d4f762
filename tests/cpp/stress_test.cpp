// The stress run against the natives linked in, where sanitizers can watch every access.
#include "natives.h"
#include "stress.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(Stress, EightThreadsSeeOnlyWholeValues) {
    StressReport report = runStress(Java_quorvalen_zelka_NativeTools_getenv0,
                                    Java_quorvalen_zelka_NativeTools_putenv0, 8, kStressRounds, kStressBoundMillis);
    std::printf("%s\n", describe(report).c_str());
    EXPECT_EQ(report.stalled, "");
    EXPECT_EQ(report.faults, 0) << report.firstFault;
}

}  // namespace
