// Fuzz target: whatever bytes the lookup hands to NewStringUTF, a JVM reads as the very units the
// WTF-8 decoder gives; exactly the ASCII values are handed over, whatever their length.
#include "fuzz_check.h"
#include "modified_utf8.h"
#include "wtf8.h"

#include <algorithm>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Stored values are C strings: no NUL inside.
    std::vector<char> input;
    std::copy_if(data, data + size, std::back_inserter(input), [](uint8_t byte) { return byte != 0; });
    bool alike = isAscii(input.data(), input.size());

    std::vector<uint16_t> decoded(input.size());
    decoded.resize(wtf8Decode(input.data(), input.size(), decoded.data()));
    if (alike) {
        bool wellFormed = false;
        std::u16string read = decodeModifiedUtf8(input.data(), input.size(), &wellFormed);
        require(wellFormed, "bytes handed to NewStringUTF are modified UTF-8");
        require(std::u16string(decoded.begin(), decoded.end()) == read, "NewStringUTF reads what the decoder gives");
    }
    bool ascii = std::all_of(input.begin(), input.end(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
    require(alike == ascii, "exactly the ASCII values take the NewStringUTF path");
    return 0;
}
