// Java strings into wide blocks: exact units, one terminator, characters always given back.
#include "fake_jni.h"
#include "heap_cap.h"
#include "wide_string.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace {

struct Copied {
    const char* what;
    std::u16string units;
};

TEST(JstringToWide, CopiesEveryUnitUnchangedAndTerminates) {
    const Copied cases[] = {
        {"empty", u""},
        {"ascii", u"PATH"},
        {"U+0000 inside", std::u16string(u"a\0b", 3)},
        {"Cyrillic and CJK", u"\u041f\u0440\u0438\u0432\u0435\u0442 \u4e16\u754c"},
        {"surrogate pair", u"\U0001F600"},
        {"unpaired surrogates", std::u16string{0xDC00, u'a', 0xD800}},
    };
    for (const Copied& c : cases) {
        FakeJni fake;
        jchar* wide = jstringToWide(&fake.env, fake.string(c.units));
        ASSERT_NE(wide, nullptr) << c.what;
        EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wide), c.units.size()), c.units) << c.what;
        EXPECT_EQ(wide[c.units.size()], 0) << c.what;
        EXPECT_EQ(fake.charsHeld, 0) << c.what;
        EXPECT_EQ(fake.badReleases, 0) << c.what;
        freeWide(&fake.env, wide);
    }
    FakeJni fake;
    freeWide(&fake.env, nullptr);
}

TEST(JstringToWide, NullStringMakesNoJniCall) {
    FakeJni fake;
    EXPECT_EQ(jstringToWide(&fake.env, nullptr), nullptr);
    EXPECT_EQ(fake.jniCalls, 0);
}

TEST(JstringToWide, WithheldCharactersGiveNullAndNothingToRelease) {
    FakeJni fake;
    fake.withholdChars = true;
    EXPECT_EQ(jstringToWide(&fake.env, fake.string(u"NAME")), nullptr);
    EXPECT_EQ(fake.charsHeld, 0);
    EXPECT_EQ(fake.badReleases, 0);
}

TEST(JstringToWide, UnusableLengthsGiveNullReleasedAndSilent) {
    // INT_MAX only overflows 2 x length + 2 where size_t is 32 bits; elsewhere it is a real request.
    std::vector<jsize> lengths = {-1, INT_MIN};
    if (sizeof(size_t) == 4) {
        lengths.push_back(INT_MAX);
    }
    for (jsize length : lengths) {
        FakeJni fake;
        testing::internal::CaptureStderr();
        jchar* wide = jstringToWide(&fake.env, fake.stringWithLength(u"abc", length));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << length;
        EXPECT_EQ(wide, nullptr) << length;
        EXPECT_EQ(fake.charsHeld, 0) << length;
    }
}

TEST(JstringToWide, ExhaustedHeapGivesNullAfterReleasingAndReporting) {
    if (!capHeap()) {
        GTEST_SKIP() << "no way to make this host's heap fail";
    }
    FakeJni fake;
    testing::internal::CaptureStderr();
    jchar* wide = jstringToWide(&fake.env, fake.stringWithLength(u"abc", kUnallocatableLength));
    std::string written = testing::internal::GetCapturedStderr();
    uncapHeap();
    EXPECT_EQ(wide, nullptr);
    EXPECT_EQ(written, mallocFailureMessage(2 * static_cast<size_t>(kUnallocatableLength) + 2));
    EXPECT_EQ(fake.charsHeld, 0);
    EXPECT_EQ(fake.badReleases, 0);
}

}  // namespace
