// The WTF-8 transcoder: exact both ways for every UTF-16 string; U+FFFD per maximal ill-formed subpart.
#include "wtf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string encode(const std::u16string& units) {
    std::string bytes(units.size() * kWtf8MaxBytesPerUnit, '\0');
    bytes.resize(wtf8Encode(reinterpret_cast<const uint16_t*>(units.data()), units.size(), &bytes[0]));
    return bytes;
}

std::u16string decode(const std::string& bytes, size_t length) {
    std::u16string units(length, u'\0');
    units.resize(wtf8Decode(bytes.data(), length, reinterpret_cast<uint16_t*>(&units[0])));
    return units;
}

std::u16string decode(const std::string& bytes) {
    return decode(bytes, bytes.size());
}

struct Encoded {
    std::u16string units;
    std::string bytes;
};

const Encoded kEncodings[] = {
    {u"", ""},
    {u"PATH=/bin", "PATH=/bin"},
    {u"\u00e9\u07ff", "\xC3\xA9\xDF\xBF"},
    {u"\u0800\u20ac\u4e2d\uffff", "\xE0\xA0\x80\xE2\x82\xAC\xE4\xB8\xAD\xEF\xBF\xBF"},
    {u"\U0001F600", "\xF0\x9F\x98\x80"},
    {u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
    {std::u16string{0xD800}, "\xED\xA0\x80"},
    {std::u16string{0xDBFF, u'a'}, "\xED\xAF\xBF" "a"},
    {std::u16string{u'a', 0xDFFF}, "a\xED\xBF\xBF"},
    {std::u16string{0xDC00, 0xD800}, "\xED\xB0\x80\xED\xA0\x80"},
    {std::u16string{0xD800, 0xD800, 0xDC00}, "\xED\xA0\x80\xF0\x90\x80\x80"},
};

TEST(Wtf8, EncodesEveryUtf16StringAndDecodesItBackExactly) {
    for (const Encoded& e : kEncodings) {
        EXPECT_EQ(encode(e.units), e.bytes);
        EXPECT_EQ(decode(e.bytes), e.units);
    }
}

TEST(Wtf8, AsciiRunsOfEveryLengthMeetOtherCharactersExactly) {
    // Runs shorter and longer than the eight-at-a-time blocks, ending at every offset of a block.
    std::u16string units;
    std::string bytes;
    for (size_t run = 0; run <= 40; ++run) {
        units += std::u16string(run, u'a') + u"\u00e9" + std::u16string(run, u'/') + u"\u4e2d" + std::u16string{0xD800};
        bytes += std::string(run, 'a') + "\xC3\xA9" + std::string(run, '/') + "\xE4\xB8\xAD" + "\xED\xA0\x80";
        EXPECT_EQ(encode(units), bytes) << run;
        EXPECT_EQ(decode(bytes), units) << run;
        EXPECT_EQ(decode(bytes + "\xE9" + std::string(run, 'z')), units + u"\ufffd" + std::u16string(run, u'z')) << run;
    }
}

// The ASCII fast paths read a block as words and find the first other unit or byte from the word's
// bits, whose order in memory depends on the host: one character beyond ASCII at every place of a
// block, at every alignment, with a second one later in the same word, must come back exactly.
TEST(Wtf8, TheFirstUnitBeyondAsciiAtEveryPlaceOfABlock) {
    const Encoded others[] = {
        {u"\u00e9", "\xC3\xA9"},
        {u"\u4e2d", "\xE4\xB8\xAD"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string{0xDC00}, "\xED\xB0\x80"},
        {u"\u0080", "\xC2\x80"},
    };
    for (const Encoded& other : others) {
        for (size_t lead = 0; lead < 8; ++lead) {
            for (size_t place = 0; place < 32; ++place) {
                for (size_t gap : {size_t{1}, size_t{2}, size_t{3}, size_t{40}}) {
                    std::u16string units = std::u16string(lead, u'.') + std::u16string(place, u'a') + other.units +
                                           std::u16string(gap, u'b') + u"\u00ff" + std::u16string(40, u'c');
                    std::string bytes = std::string(lead, '.') + std::string(place, 'a') + other.bytes +
                                        std::string(gap, 'b') + "\xC3\xBF" + std::string(40, 'c');
                    // The leading dots shift where the blocks fall.
                    ASSERT_EQ(encode(units), bytes) << lead << " " << place << " " << gap;
                    ASSERT_EQ(decode(bytes), units) << lead << " " << place << " " << gap;
                    EXPECT_FALSE(isAscii(bytes.data(), bytes.size()));
                    EXPECT_TRUE(isAscii(bytes.data(), lead + place));
                }
            }
        }
    }
}

TEST(Wtf8, IsAsciiFindsOneByteBeyondAsciiAnywhere) {
    for (size_t length = 1; length <= 200; ++length) {
        for (size_t place = 0; place < length; ++place) {
            std::string bytes(length, 'x');
            bytes[place] = static_cast<char>(0x80 | (place & 0x7F));
            ASSERT_FALSE(isAscii(bytes.data(), length)) << length << " " << place;
            ASSERT_TRUE(isAscii(bytes.data(), place)) << length << " " << place;
        }
    }
}

struct IllFormed {
    const char* what;
    std::string bytes;
    std::u16string units;
};

TEST(Wtf8, DecodesBytesThatAreNotWtf8) {
    const char16_t R = 0xFFFD;
    const IllFormed cases[] = {
        {"Unicode's example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62", {u'a', R, R, R, u'b'}},
        {"Latin-1 from a parent", "caf\xE9", {u'c', u'a', u'f', R}},
        {"Latin-1 between ASCII", "\xE9t\xE9", {R, u't', R}},
        {"lone continuation", "\x80\xBF", {R, R}},
        {"overlong NUL of modified UTF-8", "\xC0\x80", {R, R}},
        {"overlong 3-byte", "\xE0\x80\x80", {R, R, R}},
        {"overlong 4-byte", "\xF0\x80\x80\x80", {R, R, R, R}},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", {R, R, R, R}},
        {"bytes that never occur", "\xF5\xFE\xFF", {R, R, R}},
        {"truncated 3-byte at the end", "x\xE4\xB8", {u'x', R}},
        {"truncated 4-byte before ASCII", "\xF0\x9F\x98z", {R, u'z'}},
        {"CESU-8 pair, as naive JNI writes it", "\xED\xA0\xBD\xED\xB8\x80", {0xD83D, 0xDE00}},
    };
    for (const IllFormed& c : cases) {
        EXPECT_EQ(decode(c.bytes), c.units) << c.what;
    }
}

TEST(Wtf8, DecodingStopsAtTheGivenLength) {
    // The bytes beyond the length would complete the character.
    EXPECT_EQ(decode("\xE4\xB8\xAD", 2), std::u16string{0xFFFD});
    EXPECT_EQ(decode("\xF0\x9F\x98\x80", 3), std::u16string{0xFFFD});
    EXPECT_EQ(decode("ab", 0), u"");
}

}  // namespace
