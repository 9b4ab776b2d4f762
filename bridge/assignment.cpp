// Splits an assignment at its first '=', and finds where a name to look up ends.
#include "assignment.h"

#include <cstdint>
#include <cstring>

size_t assignmentNameUnits(const jchar* assignment, size_t units) {
    for (size_t i = 0; i < units; ++i) {
        if (assignment[i] == u'=') {
            return i;
        }
    }
    return 0;
}

size_t variableNameUnits(const jchar* name, size_t units) {
    // Four units at a time while none of them is U+0000 or '=', as in nearly every name: a unit's
    // 16 bits are zero exactly when subtracting one borrows through them, whatever the byte order.
    constexpr uint64_t kOnes = 0x0001000100010001u;
    constexpr uint64_t kHighs = 0x8000800080008000u;
    constexpr uint64_t kEquals = kOnes * u'=';
    size_t i = 0;
    for (; units - i >= 4; i += 4) {
        uint64_t word;
        std::memcpy(&word, name + i, sizeof word);
        uint64_t equals = word ^ kEquals;
        if ((((word - kOnes) & ~word) | ((equals - kOnes) & ~equals)) & kHighs) {
            break;
        }
    }
    for (; i < units; ++i) {
        if (name[i] == 0) {
            return i;
        }
        if (name[i] == u'=') {
            return 0;
        }
    }
    return units;
}
