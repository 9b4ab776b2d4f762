// The exported allocators: the C runtime's malloc and free, plus one diagnostic when the heap runs out.
#include "zknative7_alloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Formats the size ourselves: msvcrt's printf knows no %zu, and the message must show the whole
// unsigned value on every runtime.
const char* formatSize(size_t value, char* end) {
    char* digit = end;
    *--digit = '\0';
    do {
        *--digit = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return digit;
}

}  // namespace

extern "C" void* ZKNATIVE7_CALL sMalloc(size_t nbytes) {
    void* block = std::malloc(nbytes);
    if (block == nullptr && nbytes != 0) {
        char digits[24];
        std::fprintf(stderr, "Malloc for %s bytes failed\nAbout to crash\n",
                     formatSize(nbytes, digits + sizeof digits));
        std::fflush(stderr);
    }
    return block;
}

extern "C" void ZKNATIVE7_CALL sFree(void* block) {
    std::free(block);
}

extern "C" char* ZKNATIVE7_CALL sStrdup(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    size_t total = std::strlen(text) + 1;
    char* copy = static_cast<char*>(sMalloc(total));
    if (copy != nullptr) {
        std::memcpy(copy, text, total);
    }
    return copy;
}
