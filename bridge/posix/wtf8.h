// WTF-8: UTF-16 to bytes and back, exact for every UTF-16 string including unpaired surrogates.
#ifndef ZKNATIVE7_WTF8_H
#define ZKNATIVE7_WTF8_H

#include <cstddef>
#include <cstdint>

// No UTF-16 unit takes more than three bytes (a surrogate pair takes four for its two units).
constexpr size_t kWtf8MaxBytesPerUnit = 3;

// Writes the WTF-8 form of units[0, count) to out and returns the number of bytes it takes. out must
// have room for kWtf8MaxBytesPerUnit * count bytes, all of which may be written. Adds no terminator.
size_t wtf8Encode(const uint16_t* units, size_t count, char* out);

// Writes the UTF-16 units of bytes[0, length) to out and returns how many there are. out must have
// room for `length` units, all of which may be written. UTF-8 and WTF-8's surrogate forms decode
// exactly; every other ill-formed sequence becomes one U+FFFD per maximal subpart. Never reads past
// `length`.
size_t wtf8Decode(const char* bytes, size_t length, uint16_t* out);

// True when bytes[0, length) are all ASCII, which JNI's modified UTF-8 spells as WTF-8 does: the
// JVM can take them as they are stored, without decoding. Other text is decoded here, as HotSpot's
// NewStringUTF would walk it twice more.
bool isAscii(const char* bytes, size_t length);

#endif
