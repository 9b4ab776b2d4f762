// Fuzz target: any bytes decode within their bounds to units that re-encode to well-formed WTF-8;
// decoding is stable after one round, and exact for bytes that already were WTF-8.
#include "fuzz_check.h"
#include "wtf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> input(data, data + size);  // exactly sized, so a read past it is caught
    std::vector<uint16_t> units(size);
    units.resize(wtf8Decode(input.data(), input.size(), units.data()));

    std::vector<char> bytes(units.size() * kWtf8MaxBytesPerUnit);
    bytes.resize(wtf8Encode(units.data(), units.size(), bytes.data()));
    require(isWellFormedWtf8(bytes.data(), bytes.size()), "decoded units re-encode to WTF-8");

    std::vector<uint16_t> again(bytes.size());
    again.resize(wtf8Decode(bytes.data(), bytes.size(), again.data()));
    require(again == units, "decoding is stable after one round");
    if (isWellFormedWtf8(input.data(), input.size())) {
        require(bytes == input, "WTF-8 input round-trips byte for byte");
    }
    return 0;
}
