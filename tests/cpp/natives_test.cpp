// Both natives against the host's real environment, driven through the fake JNI table; the same
// expectations hold on every host.
#include "fake_jni.h"
#include "heap_cap.h"
#include "assignment.h"
#include "natives.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

const std::u16string kUnset = u"(unset)";

#if defined(_WIN32)
constexpr bool kIsWindows = true;
#else
constexpr bool kIsWindows = false;
#endif

class NativesTest : public testing::Test {
protected:
    FakeJni fake;

    std::u16string get(const std::u16string& name) {
        jstring value = Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, fake.string(name));
        return value == nullptr ? kUnset : FakeJni::unitsOf(value);
    }

    bool put(const std::u16string& assignment) {
        return Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, fake.string(assignment)) == JNI_TRUE;
    }

    void TearDown() override {
        EXPECT_EQ(fake.charsHeld, 0) << "characters not released";
        EXPECT_EQ(fake.badReleases, 0);
    }
};

TEST_F(NativesTest, NamesAndValuesComeBackExactly) {
    const std::u16string names[] = {
        u"ZK7T_ASCII",
        u"ZK7T_\u0418\u041c\u042f",             // Cyrillic
        u"ZK7T_\u540d\u524d",                   // CJK
        u"ZK7T_\U0001F511",                     // a surrogate pair
        u"ZK7T_" + std::u16string{0xD800},      // an unpaired lead
    };
    const std::u16string values[] = {
        u"plain",
        u"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440",
        u"\u4e16\u754c\u4f60\u597d",
        u"\U0001F600 and \U00010348",
        std::u16string{0xD800, u'x', 0xDC00},   // unpaired lead, then unpaired trail
        std::u16string{0xDC00, 0xD800},         // a pair in the wrong order is two unpaired units
        u"a=b==c",
        std::u16string(700, u'\u4e2d'),         // too long for any stack buffer
    };
    for (const std::u16string& name : names) {
        for (const std::u16string& value : values) {
            ASSERT_TRUE(put(name + u"=" + value));
            EXPECT_EQ(get(name), value);
        }
        EXPECT_TRUE(put(name + u"="));
    }
}

TEST_F(NativesTest, AssignmentsMeanWhatTheyMeanOnWindows) {
    struct Step {
        std::u16string assignment;
        bool applied;
        std::u16string afterwards;  // the value of ZK7T_S once the step ran
    };
    const Step steps[] = {
        {u"ZK7T_S=first", true, u"first"},
        {u"ZK7T_S=second", true, u"second"},
        {u"", false, u"second"},
        {u"ZK7T_S", false, u"second"},
        {u"=ZK7T_S", false, u"second"},
        {u"==", false, u"second"},
        {std::u16string(u"ZK7T_S\0=zero", 12), false, u"second"},  // ends before its '='
        {std::u16string(u"ZK7T_S=cut\0off", 14), true, u"cut"},
        {u"ZK7T_S=", true, kUnset},
        {u"ZK7T_S=", true, kUnset},  // removing what is not set succeeds
    };
    for (const Step& step : steps) {
        EXPECT_EQ(put(step.assignment), step.applied);
        EXPECT_EQ(get(u"ZK7T_S"), step.afterwards);
    }
}

TEST_F(NativesTest, LookupsThatNameNoVariable) {
    ASSERT_TRUE(put(u"ZK7T_A=B=value"));
    EXPECT_EQ(get(u"ZK7T_A"), u"B=value");
    EXPECT_EQ(get(u""), kUnset);
    EXPECT_EQ(get(u"ZK7T_A=B"), kUnset);  // would otherwise find "value"
    EXPECT_EQ(get(u"ZK7T_A="), kUnset);
    EXPECT_EQ(get(u"="), kUnset);
    EXPECT_EQ(get(std::u16string(u"\0ZK7T_A", 7)), kUnset);
    EXPECT_EQ(get(std::u16string(u"ZK7T_A\0junk", 11)), u"B=value");  // ends at U+0000
    EXPECT_EQ(get(u"ZK7T_NEVER_SET"), kUnset);
    EXPECT_TRUE(put(u"ZK7T_A="));
}

// Names are checked four units at a time: a U+0000 or '=' at every place of those blocks, past
// units that have their high bits set, is met where it stands.
TEST(VariableName, EndsAtTheFirstZeroUnitAndHasNoEquals) {
    for (jchar filler : {jchar{u'a'}, jchar{0x8001}, jchar{0xFFFF}, jchar{0x0100}}) {
        for (size_t units = 1; units <= 13; ++units) {
            std::u16string name(units, static_cast<char16_t>(filler));
            EXPECT_EQ(variableNameUnits(reinterpret_cast<const jchar*>(name.data()), units), units) << units;
            for (size_t at = 0; at < units; ++at) {
                std::u16string withZero = name;
                withZero[at] = 0;
                withZero.append(u"=after");
                EXPECT_EQ(variableNameUnits(reinterpret_cast<const jchar*>(withZero.data()), withZero.size()), at)
                    << units << " units, zero at " << at;
                std::u16string withEquals = name;
                withEquals[at] = u'=';
                EXPECT_EQ(variableNameUnits(reinterpret_cast<const jchar*>(withEquals.data()), units), 0u)
                    << units << " units, '=' at " << at;
            }
        }
    }
}

TEST_F(NativesTest, ALookupAsksTheJvmForEachThingOnce) {
    ASSERT_TRUE(put(u"ZK7T_ONCE=value"));
    fake.jniCalls = 0;
    fake.regionsCopied = 0;
    EXPECT_EQ(get(u"ZK7T_ONCE"), u"value");
    // Windows: the length, the characters, their release, the new string. Elsewhere the units are
    // copied straight into a buffer of the library's, which needs no release.
    EXPECT_EQ(fake.jniCalls, kIsWindows ? 4 : 3);
    EXPECT_EQ(fake.regionsCopied, kIsWindows ? 0 : 1);
    fake.jniCalls = 0;
    EXPECT_EQ(get(u"ZK7T_NEVER_SET"), kUnset);
    EXPECT_EQ(fake.jniCalls, kIsWindows ? 3 : 2);
    EXPECT_EQ(fake.badCalls, 0);
    // Told the length, as NativeTools tells it, a lookup does not ask for it.
    fake.jniCalls = 0;
    jstring found = Java_quorvalen_zelka_NativeTools_lookup0(&fake.env, nullptr, fake.string(u"ZK7T_ONCE"), 9);
    EXPECT_EQ(found == nullptr ? kUnset : FakeJni::unitsOf(found), u"value");
    EXPECT_EQ(fake.jniCalls, kIsWindows ? 3 : 2);
    EXPECT_EQ(Java_quorvalen_zelka_NativeTools_lookup0(&fake.env, nullptr, nullptr, 9), nullptr);
    EXPECT_EQ(Java_quorvalen_zelka_NativeTools_lookup0(&fake.env, nullptr, fake.string(u"ZK7T_ONCE"), 0), nullptr);
    EXPECT_TRUE(put(u"ZK7T_ONCE="));
}

TEST_F(NativesTest, NullStringsAreRefusedBeforeAnyJniCall) {
    EXPECT_EQ(Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, nullptr), nullptr);
    EXPECT_EQ(Java_quorvalen_zelka_NativeTools_putenv0(&fake.env, nullptr, nullptr), JNI_FALSE);
    EXPECT_EQ(fake.jniCalls, 0);
}

TEST_F(NativesTest, JvmFailuresGiveNullOrFalseAndChangeNothing) {
    ASSERT_TRUE(put(u"ZK7T_F=kept"));

    // Only Windows' lookups, and assignments, ask for the characters themselves.
    fake.withholdChars = true;
    EXPECT_EQ(get(u"ZK7T_F"), kIsWindows ? kUnset : u"kept");
    EXPECT_FALSE(put(u"ZK7T_F=lost"));
    fake.withholdChars = false;
    EXPECT_EQ(get(u"ZK7T_F"), u"kept");

    fake.refuseNewString = true;
    EXPECT_EQ(get(u"ZK7T_F"), kUnset);
    fake.refuseNewString = false;
    EXPECT_TRUE(put(u"ZK7T_F="));
}

TEST_F(NativesTest, ExhaustedHeapRefusesTheAssignmentAndReportsIt) {
    ASSERT_TRUE(put(u"ZK7T_H=kept"));
    if (!capHeap()) {
        GTEST_SKIP() << "no way to make this host's heap fail";
    }
    testing::internal::CaptureStderr();
    jboolean applied = Java_quorvalen_zelka_NativeTools_putenv0(
        &fake.env, nullptr, fake.stringWithLength(u"ZK7T_H=lost", kUnallocatableLength));
    jstring value = Java_quorvalen_zelka_NativeTools_getenv0(
        &fake.env, nullptr, fake.stringWithLength(u"ZK7T_H", kUnallocatableLength));
    std::string written = testing::internal::GetCapturedStderr();
    uncapHeap();
    EXPECT_EQ(applied, JNI_FALSE);
    EXPECT_EQ(value, nullptr);
    std::string once = mallocFailureMessage(2 * static_cast<size_t>(kUnallocatableLength) + 2);
    EXPECT_EQ(written, once + once);
    EXPECT_EQ(get(u"ZK7T_H"), u"kept");
    EXPECT_TRUE(put(u"ZK7T_H="));
}

// The listing's entries as name and value, failing on one that is not NAME=VALUE or names a
// variable twice (on Windows names match without regard to case).
std::map<std::u16string, std::u16string> variablesOf(const std::vector<std::u16string>& entries) {
    std::map<std::u16string, std::u16string> variables;
    for (const std::u16string& entry : entries) {
        size_t equals = entry.find(u'=');
        EXPECT_TRUE(equals != std::u16string::npos && equals > 0) << std::string(entry.begin(), entry.end());
        std::u16string name = entry.substr(0, equals);
#if defined(_WIN32)
        for (char16_t& unit : name) {
            unit = unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
        }
#endif
        EXPECT_TRUE(variables.emplace(name, entry.substr(equals + 1)).second)
            << "listed twice: " << std::string(name.begin(), name.end());
    }
    return variables;
}

TEST_F(NativesTest, TheListingHoldsEveryVariableOnceAsLookupsReadIt) {
    const std::u16string values[] = {u"plain", u"\u041f\u0440\u0438", u"\U0001F600=" + std::u16string{0xD800},
                                     std::u16string(2000, u'a')};
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(put(u"ZK7T_LIST_" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u"=" + values[i]));
    }
    ASSERT_TRUE(put(u"ZK7T_LIST_GONE=soon"));
    ASSERT_TRUE(put(u"ZK7T_LIST_GONE="));
    jobjectArray listed = Java_quorvalen_zelka_NativeTools_environ0(&fake.env, nullptr);
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(fake.stringRefs, 0) << "element strings still held as local references";
    EXPECT_EQ(fake.localRefs, 1) << "only the array may be left to the caller";
    EXPECT_EQ(fake.badCalls, 0);
    std::map<std::u16string, std::u16string> variables = variablesOf(FakeJni::elementsOf(listed));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(variables[u"ZK7T_LIST_" + std::u16string(1, static_cast<char16_t>(u'0' + i))] == values[i]) << i;
    }
    EXPECT_EQ(variables.count(u"ZK7T_LIST_GONE"), 0u);
    for (const auto& variable : variables) {
        EXPECT_TRUE(get(variable.first) == variable.second) << std::string(variable.first.begin(), variable.first.end());
    }
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(put(u"ZK7T_LIST_" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u"="));
    }
}

// Each step of making the String[] can fail as a JVM fails; the listing gives null, keeps no
// reference, leaves the JVM's error pending, and works again afterwards.
TEST_F(NativesTest, AListingTheJvmRefusesGivesNullAndHoldsNothing) {
    struct Refusal {
        const char* step;
        void (*arrange)(FakeJni&);
        bool pending;
    };
    const Refusal refusals[] = {
        {"FindClass", [](FakeJni& f) { f.refuseFindClass = true; }, true},
        {"NewObjectArray", [](FakeJni& f) { f.refuseObjectArray = true; }, true},
        {"the third element", [](FakeJni& f) { f.stringsBeforeRefusal = 2; }, false},
    };
    for (const Refusal& refusal : refusals) {
        FakeJni refusing;
        refusal.arrange(refusing);
        EXPECT_EQ(Java_quorvalen_zelka_NativeTools_environ0(&refusing.env, nullptr), nullptr) << refusal.step;
        EXPECT_EQ(refusing.exceptionPending, refusal.pending) << refusal.step;
        EXPECT_EQ(refusing.callsWithExceptionPending, 0) << refusal.step;
        EXPECT_EQ(refusing.localRefs, 0) << refusal.step;
        EXPECT_EQ(refusing.stringRefs, 0) << refusal.step;
        EXPECT_EQ(refusing.badCalls, 0) << refusal.step;
    }
    EXPECT_NE(Java_quorvalen_zelka_NativeTools_environ0(&fake.env, nullptr), nullptr);
}

}  // namespace
