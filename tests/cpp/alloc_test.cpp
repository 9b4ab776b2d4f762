// The exported allocators: blocks, byte-exact copies, and the exact diagnostic when the heap runs out.
#include "heap_cap.h"
#include "zknative7_alloc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

TEST(SMalloc, FailureNamesTheWholeUnsignedSizeAndReturnsNull) {
    // Both sizes read as negative numbers through a signed 32-bit %d.
    for (size_t impossible : {SIZE_MAX, SIZE_MAX - 4096}) {
        testing::internal::CaptureStderr();
        void* block = sMalloc(impossible);
        std::string written = testing::internal::GetCapturedStderr();
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(written, mallocFailureMessage(impossible));
    }
}

TEST(SMalloc, ZeroAndOrdinarySizesPrintNothing) {
    testing::internal::CaptureStderr();
    void* empty = sMalloc(0);
    char* block = static_cast<char*>(sMalloc(100));
    std::string written = testing::internal::GetCapturedStderr();
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xA5, 100);
    sFree(block);
    sFree(empty);
    sFree(nullptr);
    EXPECT_EQ(written, "");
}

TEST(SStrdup, CopiesEveryByteWithItsTerminator) {
    const char* const texts[] = {"", "plain", "\xC3\xA9\xFF\x80\x01 high bytes"};
    for (const char* text : texts) {
        char* copy = sStrdup(text);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, text);
        EXPECT_EQ(std::memcmp(copy, text, std::strlen(text) + 1), 0) << text;
        sFree(copy);
    }
}

TEST(SStrdup, NullGivesNullAndPrintsNothing) {
    testing::internal::CaptureStderr();
    char* copy = sStrdup(nullptr);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
