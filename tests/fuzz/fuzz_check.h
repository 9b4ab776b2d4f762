// What the fuzz targets assert: a property either holds or the run stops with the reason, and
// libFuzzer keeps the input.
#ifndef ZKNATIVE7_FUZZ_CHECK_H
#define ZKNATIVE7_FUZZ_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

inline void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property violated: %s\n", property);
        std::abort();
    }
}

// Fuzz bytes read as little-endian UTF-16 units; U+0000 dropped when asked, since every host
// ends a string there.
inline std::vector<uint16_t> unitsOf(const uint8_t* data, size_t size, bool dropZero) {
    std::vector<uint16_t> units;
    for (size_t i = 0; i + 1 < size; i += 2) {
        uint16_t unit = static_cast<uint16_t>(data[i] | (data[i + 1] << 8));
        if (unit != 0 || !dropZero) {
            units.push_back(unit);
        }
    }
    return units;
}

// Well-formed WTF-8, judged by code points rather than the way the decoder works: UTF-8's
// sequences, surrogates allowed alone, but never a lead surrogate right before a trail one.
inline bool isWellFormedWtf8(const char* text, size_t length) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    uint32_t previous = 0;
    for (size_t i = 0; i < length;) {
        unsigned char lead = bytes[i];
        size_t count = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                     : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (count == 0 || i + count > length) {
            return false;
        }
        uint32_t codePoint = count == 1 ? lead : lead & (0xFF >> (count + 1));
        for (size_t k = 1; k < count; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
        }
        static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kSmallest[count] || codePoint > 0x10FFFF) {
            return false;  // overlong, or beyond Unicode
        }
        if (previous >= 0xD800 && previous <= 0xDBFF && codePoint >= 0xDC00 && codePoint <= 0xDFFF) {
            return false;  // a pair must be one 4-byte sequence
        }
        previous = codePoint;
        i += count;
    }
    return true;
}

#endif
