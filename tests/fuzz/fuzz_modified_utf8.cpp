// Fuzz target: whatever bytes the lookup hands to NewStringUTF, a JVM reads as the very units the
// WTF-8 decoder gives; and ordinary text (no four-byte sequence, no surrogate) is always handed over.
#include "fuzz_check.h"
#include "modified_utf8.h"
#include "wtf8.h"

#include <algorithm>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Stored values are C strings: no NUL inside.
    std::vector<char> input;
    std::copy_if(data, data + size, std::back_inserter(input), [](uint8_t byte) { return byte != 0; });
    bool alike = spelledAlikeInModifiedUtf8(input.data(), input.size());

    std::vector<uint16_t> decoded(input.size());
    decoded.resize(wtf8Decode(input.data(), input.size(), decoded.data()));
    if (alike) {
        bool wellFormed = false;
        std::u16string read = decodeModifiedUtf8(input.data(), input.size(), &wellFormed);
        require(wellFormed, "bytes handed to NewStringUTF are modified UTF-8");
        require(std::u16string(decoded.begin(), decoded.end()) == read, "NewStringUTF reads what the decoder gives");
    }
    bool ordinary = isWellFormedWtf8(input.data(), input.size());
    for (size_t i = 0; i < input.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(input[i]);
        bool surrogate = byte == 0xED && i + 1 < input.size() && static_cast<unsigned char>(input[i + 1]) >= 0xA0;
        ordinary = ordinary && byte < 0xF0 && !surrogate;
    }
    if (ordinary) {
        require(alike, "ordinary text takes the NewStringUTF path");
    }
    return 0;
}
