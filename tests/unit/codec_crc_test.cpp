// CRC-32: the table, the check value, and the buffer routine against zlib for
// every way of cutting the data into pieces.
#include <gtest/gtest.h>

#include "codec/crc32.h"
#include "support/testutil.h"

namespace {

uint32_t CrcInPieces(const std::string &data, size_t piece) {
    DWORD crc = 0xFFFFFFFFu;
    for (size_t at = 0; at < data.size(); at += piece) {
        size_t n = std::min(piece, data.size() - at);
        UpdateCrcBuffer((const BYTE *)data.data() + at, (LONG)n, crc);
    }
    return crc ^ 0xFFFFFFFFu;
}

TEST(CrcTable, KnownEntriesAndCheckValue) {
    testutil::InitCrcTable();
    EXPECT_EQ(crcTable[0], 0u);
    EXPECT_EQ(crcTable[1], 0x77073096u);
    EXPECT_EQ(crcTable[128], 0xEDB88320u);
    EXPECT_EQ(crcTable[255], 0x2D02EF8Du);
    EXPECT_EQ(CrcInPieces("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(CrcInPieces("123456789", 1), 0xCBF43926u);
    DWORD byByte = 0xFFFFFFFFu;
    for (char c : std::string("123456789")) byByte = UpdateCrc((BYTE)c, byByte);
    EXPECT_EQ(byByte ^ 0xFFFFFFFFu, 0xCBF43926u);
}

TEST(CrcBuffer, NothingOrNegativeCountChangesNothing) {
    testutil::InitCrcTable();
    const BYTE data[4] = {1, 2, 3, 4};
    for (LONG count : {0, -1, -32768, (LONG)0x80000000}) {
        DWORD crc = 0x12345678u;
        UpdateCrcBuffer(data, count, crc);
        EXPECT_EQ(crc, 0x12345678u) << count;
    }
    // An entry without data: the preset register, complemented, is 0.
    DWORD crc = 0xFFFFFFFFu;
    UpdateCrcBuffer(data, 0, crc);
    EXPECT_EQ(crc ^ 0xFFFFFFFFu, 0u);
}

// Large buffers run as eight chains over equal parts, combined at the end;
// sizes around the split and with bytes left over after the parts must agree.
TEST(CrcBuffer, AnyPieceSizesGiveZlibsValue) {
    testutil::InitCrcTable();
    std::string data = testutil::RandomData(300001, 5);
    uint32_t expected = testutil::Crc32(data);
    for (size_t piece : {1u, 3u, 255u, 511u, 512u, 513u, 514u, 515u, 4096u, 32767u, 32768u,
                         32769u, 65536u, 300001u})
        EXPECT_EQ(CrcInPieces(data, piece), expected) << "pieces of " << piece;
    for (size_t size : {0u, 1u, 511u, 512u, 513u, 1027u, 32768u, 100000u}) {
        std::string part = data.substr(0, size);
        EXPECT_EQ(CrcInPieces(part, size ? size : 1), testutil::Crc32(part)) << size;
    }
}

}  // namespace
