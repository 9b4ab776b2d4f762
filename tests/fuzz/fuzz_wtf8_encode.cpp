// Fuzz target: UTF-16 without U+0000 -> WTF-8 -> UTF-16 is the identity, through well-formed bytes.
#include "fuzz_check.h"
#include "wtf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint16_t> units = unitsOf(data, size, true);
    // Buffers of exactly the promised size, so a write past them is caught.
    std::vector<char> bytes(units.size() * kWtf8MaxBytesPerUnit);
    size_t length = wtf8Encode(units.data(), units.size(), bytes.data());
    require(length <= bytes.size(), "encoding fits the promised room");
    require(isWellFormedWtf8(bytes.data(), length), "encoding is well-formed WTF-8");
    require(std::string(bytes.data(), length).find('\0') == std::string::npos, "no NUL byte");
    std::vector<uint16_t> back(length);
    back.resize(wtf8Decode(bytes.data(), length, back.data()));
    require(back == units, "decoding the encoding gives the units back");
    return 0;
}
