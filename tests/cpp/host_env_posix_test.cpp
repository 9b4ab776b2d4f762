// The POSIX host as other processes see it: WTF-8 bytes in the environment, whatever bytes come in.
#include "fake_jni.h"
#include "natives.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

// ASCII goes to NewStringUTF as it is stored; everything else is decoded.
TEST(PosixHost, DecodesWhatOthersStored) {
    struct Stored {
        std::string bytes;
        std::u16string units;
        bool direct;
    };
    const Stored cases[] = {
        {"", u"", true},  // set but empty is not unset
        {"/usr/local/bin:/usr/bin:/bin", u"/usr/local/bin:/usr/bin:/bin", true},
        {std::string(100, 'x'), std::u16string(100, u'x'), true},
        {"\xD0\x9F\xD1\x80\xD0\xB8", u"\u041f\u0440\u0438", false},
        {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", u"\u0080\u07ff\u0800\ud7ff\ue000\uffff", false},
        {std::string(70, 'a') + "\xC3\xA9", std::u16string(70, u'a') + u"\u00e9", false},  // past a whole block
        {"caf\xE9", {u'c', u'a', u'f', 0xFFFD}, false},
        {"\xED\xB0\x80", {0xDC00}, false},
        {"\xF0\x9F\x98\x80", u"\U0001F600", false},  // the JVM would read four bytes as garbage
        {"\xE0\x80\xAF", {0xFFFD, 0xFFFD, 0xFFFD}, false},  // overlong
        {"\xC0\x80", {0xFFFD, 0xFFFD}, false},  // the JVM's own NUL
    };
    for (const Stored& c : cases) {
        FakeJni fake;
        ASSERT_EQ(setenv("ZK7P_R", c.bytes.c_str(), 1), 0);
        jstring value = Java_quorvalen_zelka_NativeTools_getenv0(&fake.env, nullptr, fake.string(u"ZK7P_R"));
        ASSERT_NE(value, nullptr) << c.bytes;
        EXPECT_EQ(FakeJni::unitsOf(value), c.units) << c.bytes;
        EXPECT_EQ(fake.utfStringsMade, c.direct ? 1 : 0) << c.bytes;
    }
    unsetenv("ZK7P_R");
}

}  // namespace
