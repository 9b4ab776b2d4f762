// The WTF-8 transcoder, independent of the locale.
#include "wtf8.h"

#include <cstring>

namespace {

constexpr uint16_t kReplacement = 0xFFFD;

bool isLeadSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isTrailSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Environment text is mostly ASCII, so where four ASCII characters follow each other both
// directions convert a block at once and keep as many as are ASCII: always at least the four. The
// rest is written too and overwritten later, which the callers' room allows. Local arrays let
// compilers see no aliasing and use vector instructions. Encoding mostly meets short names,
// decoding long values.
constexpr size_t kNarrowBlock = 8;
constexpr size_t kWidenBlock = 16;
constexpr uint64_t kHighOfUnits = 0xFF80FF80FF80FF80u;
constexpr uint64_t kHighOfBytes = 0x8080808080808080u;

bool fourAsciiUnits(const uint16_t* units) {
    uint64_t word;
    std::memcpy(&word, units, sizeof word);
    return (word & kHighOfUnits) == 0;
}

bool fourAsciiBytes(const unsigned char* bytes) {
    uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return (word & static_cast<uint32_t>(kHighOfBytes)) == 0;
}

// The place, in memory order, of the first element of a word read from memory that has a bit set
// in `high`: a little-endian host keeps the first element in the word's lowest bits, a big-endian
// one in its highest.
template <typename Element>
size_t firstMarkedElement(uint64_t high) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return static_cast<size_t>(__builtin_ctzll(high)) / (8 * sizeof(Element));
#elif __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return static_cast<size_t>(__builtin_clzll(high)) / (8 * sizeof(Element));
#else
#error "a host that is neither little- nor big-endian"
#endif
}

// Converts a block of From into To and returns the length of its ASCII prefix.
template <typename From, typename To, size_t Block>
size_t convertAsciiPrefix(const From* from, To* to) {
    From in[Block];
    std::memcpy(in, from, sizeof in);
    To out[Block];
    for (size_t k = 0; k < Block; ++k) {
        out[k] = static_cast<To>(in[k]);
    }
    std::memcpy(to, out, sizeof out);
    constexpr size_t perWord = sizeof(uint64_t) / sizeof(From);
    constexpr uint64_t highBits = sizeof(From) == 1 ? kHighOfBytes : kHighOfUnits;
    uint64_t words[Block / perWord];
    std::memcpy(words, in, sizeof words);
    for (size_t w = 0; w < Block / perWord; ++w) {
        if (uint64_t high = words[w] & highBits) {
            return w * perWord + firstMarkedElement<From>(high);
        }
    }
    return Block;
}

}  // namespace

size_t wtf8Encode(const uint16_t* units, size_t count, char* out) {
    unsigned char* byte = reinterpret_cast<unsigned char*>(out);
    for (size_t i = 0; i < count; ++i) {
        uint32_t unit = units[i];
        if (unit < 0x80) {
            if (count - i >= kNarrowBlock && fourAsciiUnits(units + i)) {
                size_t ascii = convertAsciiPrefix<uint16_t, unsigned char, kNarrowBlock>(units + i, byte);
                byte += ascii;
                i += ascii - 1;
            } else {
                *byte++ = static_cast<unsigned char>(unit);
            }
        } else if (unit < 0x800) {
            *byte++ = static_cast<unsigned char>(0xC0 | (unit >> 6));
            *byte++ = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        } else if (isLeadSurrogate(unit) && i + 1 < count && isTrailSurrogate(units[i + 1])) {
            // A pair must become one 4-byte sequence, or the bytes would not be WTF-8.
            uint32_t codePoint = 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00u);
            *byte++ = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
            *byte++ = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
            *byte++ = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
            *byte++ = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        } else {
            // Includes unpaired surrogates, as their 3-byte form.
            *byte++ = static_cast<unsigned char>(0xE0 | (unit >> 12));
            *byte++ = static_cast<unsigned char>(0x80 | ((unit >> 6) & 0x3F));
            *byte++ = static_cast<unsigned char>(0x80 | (unit & 0x3F));
        }
    }
    return static_cast<size_t>(byte - reinterpret_cast<unsigned char*>(out));
}

size_t wtf8Decode(const char* bytes, size_t length, uint16_t* out) {
    const unsigned char* next = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* end = next + length;
    uint16_t* unit = out;
    while (next < end) {
        if (*next < 0x80) {
            if (end - next >= static_cast<ptrdiff_t>(kWidenBlock) && fourAsciiBytes(next)) {
                size_t ascii = convertAsciiPrefix<unsigned char, uint16_t, kWidenBlock>(next, unit);
                next += ascii;
                unit += ascii;
            } else {
                *unit++ = *next++;
            }
            continue;
        }
        uint32_t lead = *next++;
        // Whole 2- and 3-byte sequences first; E0 (with its narrower second byte), 4-byte
        // sequences and anything ill-formed take the general path.
        if (lead >= 0xC2 && lead <= 0xDF && next < end && (*next & 0xC0) == 0x80) {
            *unit++ = static_cast<uint16_t>(((lead & 0x1F) << 6) | (*next++ & 0x3Fu));
            continue;
        }
        if (lead >= 0xE1 && lead <= 0xEF && end - next >= 2 && (next[0] & 0xC0) == 0x80 && (next[1] & 0xC0) == 0x80) {
            *unit++ = static_cast<uint16_t>(((lead & 0x0F) << 12) | ((next[0] & 0x3Fu) << 6) | (next[1] & 0x3Fu));
            next += 2;
            continue;
        }
        // The well-formed ranges of Unicode's table 3-7, except that ED may go on with A0..BF:
        // those are WTF-8's surrogate forms.
        unsigned continuations;
        uint32_t codePoint;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuations = 1;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuations = 2;
            codePoint = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuations = 3;
            codePoint = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            *unit++ = kReplacement;
            continue;
        }
        bool complete = true;
        for (; continuations > 0; --continuations) {
            if (next == end || *next < low || *next > high) {
                complete = false;  // the bytes taken so far are one maximal subpart
                break;
            }
            codePoint = (codePoint << 6) | (*next++ & 0x3Fu);
            low = 0x80;
            high = 0xBF;
        }
        if (!complete) {
            *unit++ = kReplacement;
        } else if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            *unit++ = static_cast<uint16_t>(0xD800 | (codePoint >> 10));
            *unit++ = static_cast<uint16_t>(0xDC00 | (codePoint & 0x3FF));
        } else {
            *unit++ = static_cast<uint16_t>(codePoint);
        }
    }
    return static_cast<size_t>(unit - out);
}

bool isAscii(const char* bytes, size_t length) {
    // Whole blocks ORed together word by word: copying a block into an array first made GCC store
    // it to the stack and load it back, a store-forwarding stall per block.
    constexpr size_t kWords = 8;
    size_t i = 0;
    for (; length - i >= kWords * sizeof(uint64_t); i += kWords * sizeof(uint64_t)) {
        uint64_t any = 0;
#pragma GCC unroll 8
        for (size_t w = 0; w < kWords; ++w) {
            uint64_t word;
            std::memcpy(&word, bytes + i + w * sizeof word, sizeof word);
            any |= word;
        }
        if ((any & kHighOfBytes) != 0) {
            return false;
        }
    }
    // Then single words: environment values are mostly shorter than a block.
    uint64_t any = 0;
    for (; length - i >= sizeof(uint64_t); i += sizeof(uint64_t)) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        any |= word;
    }
    for (; i < length; ++i) {
        any |= static_cast<unsigned char>(bytes[i]);
    }
    return (any & kHighOfBytes) == 0;
}
