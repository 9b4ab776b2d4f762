// JNI's modified UTF-8 read the way a JVM's NewStringUTF reads it, for the fake JNI table and the
// fuzzer that checks the library only hands it bytes it spells as WTF-8 does.
#ifndef ZKNATIVE7_MODIFIED_UTF8_H
#define ZKNATIVE7_MODIFIED_UTF8_H

#include <cstddef>
#include <string>

// One unit per sequence of one to three bytes (C0 80 is U+0000, surrogates come out as they are
// spelled); an empty result and *wellFormed false for anything else.
inline std::u16string decodeModifiedUtf8(const char* text, size_t length, bool* wellFormed) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    std::u16string units;
    *wellFormed = false;
    for (size_t i = 0; i < length;) {
        unsigned char lead = bytes[i];
        auto continuation = [&](size_t k) { return i + k < length && (bytes[i + k] & 0xC0) == 0x80; };
        if (lead < 0x80) {
            units.push_back(lead);
            i += 1;
        } else if ((lead & 0xE0) == 0xC0 && continuation(1)) {
            units.push_back(static_cast<char16_t>(((lead & 0x1F) << 6) | (bytes[i + 1] & 0x3F)));
            i += 2;
        } else if ((lead & 0xF0) == 0xE0 && continuation(1) && continuation(2)) {
            units.push_back(static_cast<char16_t>(((lead & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) |
                                                  (bytes[i + 2] & 0x3F)));
            i += 3;
        } else {
            return std::u16string();
        }
    }
    *wellFormed = true;
    return units;
}

#endif
