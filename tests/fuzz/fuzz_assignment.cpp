// Fuzz target: the assignment split. The name is everything before the first '=', never empty;
// and what the POSIX host hands setenv (name and value encoded apart) is the WTF-8 of the whole,
// with no '=' or NUL inside the name.
#include "assignment.h"
#include "fuzz_check.h"
#include "wtf8.h"

namespace {

std::string encode(const uint16_t* units, size_t count) {
    std::vector<char> bytes(count * kWtf8MaxBytesPerUnit);
    return std::string(bytes.data(), wtf8Encode(units, count, bytes.data()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint16_t> units = unitsOf(data, size, true);
    size_t count = units.size();
    size_t name = assignmentNameUnits(units.data(), count);
    bool hasEquals = false;
    for (uint16_t unit : units) {
        hasEquals = hasEquals || unit == u'=';
    }
    if (name == 0) {
        require(!hasEquals || units[0] == u'=', "refused only without '=' or with '=' first");
        return 0;
    }
    require(name < count && units[name] == u'=', "the name ends at an '='");
    for (size_t i = 0; i < name; ++i) {
        require(units[i] != u'=', "the name holds no '='");
    }
    std::string nameBytes = encode(units.data(), name);
    std::string valueBytes = encode(units.data() + name + 1, count - name - 1);
    require(nameBytes.find('=') == std::string::npos && nameBytes.find('\0') == std::string::npos,
            "setenv gets a name without '=' or NUL");
    require(nameBytes + "=" + valueBytes == encode(units.data(), count), "split encoding equals whole encoding");
    return 0;
}
