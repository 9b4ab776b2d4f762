// The POSIX host as other processes see it: WTF-8 bytes in the environment, whatever bytes come in.
#include "ascii_string.h"
#include "fake_jni.h"
#include "heap_cap.h"
#include "natives.h"
#include "stack_buffers.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

TEST(PosixHost, StoresWtf8BytesThatChildrenInherit) {
    FakeJni fake;
    std::u16string assignment = u"ZK7P_W=\u00e9\u4e2d\U0001F600" + std::u16string{0xD800};
    ASSERT_EQ(Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(assignment)), JNI_TRUE);
    const char* stored = std::getenv("ZK7P_W");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(std::string(stored), "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\xED\xA0\x80");
    unsetenv("ZK7P_W");
}

// A lookup takes a name of up to kNameStackUnits units onto the stack and a longer one onto the
// heap: either way the name ends at its first U+0000, and names no variable with '=' in it.
TEST(PosixHost, NamesAroundTheStackBufferAreLookedUpExactly) {
    const std::u16string fills[] = {u"n", u"\u4e2d", std::u16string{0xD800}, u"\U0001F511"};
    for (size_t units : {kNameStackUnits - 1, kNameStackUnits, kNameStackUnits + 1, 4 * kNameStackUnits}) {
        for (const std::u16string& fill : fills) {
            std::u16string name = u"ZK7P_";
            while (name.size() < units) {
                name += fill;
            }
            name.resize(units);  // a pair cut in two leaves an unpaired surrogate at the end
            std::string label = std::to_string(units) + " units of " + std::to_string(fill[0]);
            FakeJni fake;
            ASSERT_EQ(Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(name + u"=found")), JNI_TRUE)
                << label;
            const struct {
                std::u16string lookedUp;
                bool found;
            } lookups[] = {
                {name, true},
                {name + std::u16string(1, u'\0') + u"junk", true},
                {u"=" + name.substr(1), false},
                {name.substr(0, units - 1) + u"=", false},
                {name.substr(0, units / 2) + u"=" + name.substr(units / 2 + 1), false},
                {name.substr(0, units - 1), false},
            };
            for (const auto& lookup : lookups) {
                jstring value = Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, fake.string(lookup.lookedUp));
                EXPECT_EQ(value == nullptr ? u"(unset)" : FakeJni::unitsOf(value), lookup.found ? u"found" : u"(unset)")
                    << label << ", " << lookup.lookedUp.size() << " units looked up";
            }
            EXPECT_EQ(fake.charsHeld, 0);
            EXPECT_EQ(fake.badCalls, 0);
            ASSERT_EQ(Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(name + u"=")), JNI_TRUE);
        }
    }
}

// Beyond the stack the name needs a heap block; without one the lookup fails as it always did.
TEST(PosixHost, ALongNameWithoutHeapGivesNullAndTheAllocatorsMessage) {
    FakeJni fake;
    std::u16string name(kNameStackUnits + 1, u'L');
    ASSERT_EQ(Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(name + u"=kept")), JNI_TRUE);
    if (!capHeap()) {
        GTEST_SKIP() << "no way to make this host's heap fail";
    }
    testing::internal::CaptureStderr();
    jstring value = Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, fake.stringWithLength(name, kUnallocatableLength));
    std::string written = testing::internal::GetCapturedStderr();
    uncapHeap();
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(written, mallocFailureMessage(2 * static_cast<size_t>(kUnallocatableLength) + 2));
    EXPECT_EQ(fake.regionsCopied, 0);
    jstring kept = Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, fake.string(name));
    EXPECT_EQ(kept == nullptr ? u"(unset)" : FakeJni::unitsOf(kept), u"kept");
    ASSERT_EQ(Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(name + u"=")), JNI_TRUE);
}

enum class Route { kNewStringUtf, kByteArray, kDecoded };

// ASCII goes to the JVM as it is stored, short values to NewStringUTF and long ones through a byte
// array; everything else is decoded.
TEST(PosixHost, DecodesWhatOthersStored) {
    struct Stored {
        std::string bytes;
        std::u16string units;
        Route route;
    };
    const size_t longest = kAsciiThroughArrayBytes - 1;  // the longest value for NewStringUTF
    const size_t array = kAsciiThroughArrayBytes;
    const Stored cases[] = {
        {"", u"", Route::kNewStringUtf},  // set but empty is not unset
        {"/usr/local/bin:/usr/bin:/bin", u"/usr/local/bin:/usr/bin:/bin", Route::kNewStringUtf},
        {std::string(100, 'x'), std::u16string(100, u'x'), Route::kNewStringUtf},
        {std::string(longest, '\x7F'), std::u16string(longest, u'\x7F'), Route::kNewStringUtf},
        {std::string(array, '\x7F'), std::u16string(array, u'\x7F'), Route::kByteArray},
        {std::string(array + 1, 'y'), std::u16string(array + 1, u'y'), Route::kByteArray},
        {std::string(64 * array + 7, '\x01'), std::u16string(64 * array + 7, u'\x01'), Route::kByteArray},
        // one byte of 0x80 or more anywhere keeps a long value off the byte array
        {"\xC3\xA9" + std::string(array, 'z'), u"\u00e9" + std::u16string(array, u'z'), Route::kDecoded},
        {std::string(array, 'z') + "\xC3\xA9", std::u16string(array, u'z') + u"\u00e9", Route::kDecoded},
        {std::string(array / 2, 'z') + "\x80" + std::string(array / 2, 'z'),
            std::u16string(array / 2, u'z') + u"\ufffd" + std::u16string(array / 2, u'z'), Route::kDecoded},
        {"\xD0\x9F\xD1\x80\xD0\xB8", u"\u041f\u0440\u0438", Route::kDecoded},
        {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", u"\u0080\u07ff\u0800\ud7ff\ue000\uffff",
            Route::kDecoded},
        {std::string(70, 'a') + "\xC3\xA9", std::u16string(70, u'a') + u"\u00e9", Route::kDecoded},  // past a whole block
        {"caf\xE9", {u'c', u'a', u'f', 0xFFFD}, Route::kDecoded},
        {"\xED\xB0\x80", {0xDC00}, Route::kDecoded},
        {"\xF0\x9F\x98\x80", u"\U0001F600", Route::kDecoded},  // the JVM would read four bytes as garbage
        {"\xE0\x80\xAF", {0xFFFD, 0xFFFD, 0xFFFD}, Route::kDecoded},  // overlong
        {"\xC0\x80", {0xFFFD, 0xFFFD}, Route::kDecoded},  // the JVM's own NUL
    };
    for (const Stored& c : cases) {
        FakeJni fake;
        ASSERT_EQ(setenv("ZK7P_R", c.bytes.c_str(), 1), 0);
        jstring value = Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, fake.string(u"ZK7P_R"));
        std::string shown = c.bytes.substr(0, 40) + " (" + std::to_string(c.bytes.size()) + " bytes)";
        ASSERT_NE(value, nullptr) << shown;
        EXPECT_EQ(FakeJni::unitsOf(value), c.units) << shown;
        EXPECT_EQ(fake.utfStringsMade, c.route == Route::kNewStringUtf ? 1 : 0) << shown;
        EXPECT_EQ(fake.objectsMade, c.route == Route::kByteArray ? 1 : 0) << shown;
        EXPECT_EQ(fake.localRefs, 0) << shown;
        EXPECT_EQ(fake.badCalls, 0) << shown;
    }
    unsetenv("ZK7P_R");
}

// Each step of making a long ASCII value's string can fail as a JVM fails: with null and an
// exception pending, which the lookup must leave for Java to throw, having freed what it made.
TEST(PosixHost, JvmRefusingALongAsciiValueGivesNull) {
    struct Refusal {
        const char* step;
        bool FakeJni::*flag;
        int arraysMade;
    };
    const Refusal refusals[] = {
        {"GetMethodID", &FakeJni::refuseMethod, 0},
        {"NewByteArray", &FakeJni::refuseByteArray, 0},
        {"NewObjectA", &FakeJni::refuseNewObject, 1},
    };
    std::string value(kAsciiThroughArrayBytes * 4, 'v');
    ASSERT_EQ(setenv("ZK7P_L", value.c_str(), 1), 0);
    for (const Refusal& refusal : refusals) {
        FakeJni fake;
        fake.*refusal.flag = true;
        jstring made = Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, fake.string(u"ZK7P_L"));
        EXPECT_EQ(made, nullptr) << refusal.step;
        EXPECT_TRUE(fake.exceptionPending) << refusal.step;
        EXPECT_EQ(fake.callsWithExceptionPending, 0) << refusal.step;
        EXPECT_EQ(fake.localRefs, 0) << refusal.step;
        EXPECT_EQ(fake.byteArrays.size(), static_cast<size_t>(refusal.arraysMade)) << refusal.step;
        EXPECT_EQ(fake.badCalls, 0) << refusal.step;
        EXPECT_EQ(fake.charsHeld, 0) << refusal.step;

        // Once Java has thrown it, the same lookup succeeds.
        fake.*refusal.flag = false;
        fake.exceptionPending = false;
        made = Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, fake.string(u"ZK7P_L"));
        ASSERT_NE(made, nullptr) << refusal.step;
        EXPECT_EQ(FakeJni::unitsOf(made), std::u16string(value.size(), u'v')) << refusal.step;
        EXPECT_EQ(fake.localRefs, 0) << refusal.step;
    }
    unsetenv("ZK7P_L");
}

std::vector<std::u16string> listing(FakeJni& fake) {
    jobjectArray listed = Java_quorvalen_zelka_NativeTools_environ0(&fake.env, nullptr);
    EXPECT_NE(listed, nullptr);
    return listed == nullptr ? std::vector<std::u16string>() : FakeJni::elementsOf(listed);
}

size_t countOf(const std::vector<std::u16string>& entries, const std::u16string& entry) {
    return static_cast<size_t>(std::count(entries.begin(), entries.end(), entry));
}

// What other code stored, decoded as lookups decode it; names that removals leave repeated in
// holes, or that a parent passed twice, once.
TEST(PosixHost, TheListingShowsWhatOthersStoredAndEachNameOnce) {
    FakeJni fake;
    ASSERT_EQ(setenv("ZK7P_LATIN", "caf\xE9", 1), 0);  // other native code, bytes that are not UTF-8
    ASSERT_EQ(setenv("ZK7P_N\xC3\xA9", "\xED\xA0\x80", 1), 0);
    ASSERT_EQ(Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(u"ZK7P_HOLE=1")), JNI_TRUE);
    ASSERT_EQ(Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(u"ZK7P_HOLE=")), JNI_TRUE);
    std::vector<std::u16string> entries = listing(fake);
    EXPECT_EQ(countOf(entries, {u'Z', u'K', u'7', u'P', u'_', u'L', u'A', u'T', u'I', u'N', u'=', u'c', u'a', u'f', 0xFFFD}), 1u);
    EXPECT_EQ(countOf(entries, std::u16string(u"ZK7P_N\u00e9=") + std::u16string{0xD800}), 1u);
    // Holes repeat one entry of environ; every entry of it is listed once, and nothing else.
    std::set<std::string> distinct;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        distinct.insert(*entry);
    }
    EXPECT_EQ(entries.size(), distinct.size());
    EXPECT_EQ(std::set<std::u16string>(entries.begin(), entries.end()).size(), entries.size());
    for (const std::u16string& entry : entries) {
        EXPECT_NE(entry.substr(0, 10), u"ZK7P_HOLE=");
    }
    unsetenv("ZK7P_LATIN");
    unsetenv("ZK7P_N\xC3\xA9");

    // An array someone else made, holding one name twice and entries that are no variables.
    char** published = environ;
    const char* foreign[] = {"ZK7P_TWICE=first", "ZK7P_TWICE=second", "no equals sign", "=empty name", "ZK7P_ONCE=x",
                             nullptr};
    environ = const_cast<char**>(foreign);
    entries = listing(fake);
    environ = published;
    EXPECT_EQ(entries, (std::vector<std::u16string>{u"ZK7P_TWICE=first", u"ZK7P_ONCE=x"}));
    EXPECT_EQ(fake.stringRefs, 0);
}

}  // namespace
