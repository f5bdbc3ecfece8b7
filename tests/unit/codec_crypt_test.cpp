// Traditional ZIP decryption: the password check and the keystream against
// entries encrypted by Info-ZIP zip and 7z (made at test time), and the
// contract of CheckEncryptionHeader on a crafted header.
#include <gtest/gtest.h>

#include "codec_harness.h"

namespace {

using codectest::CheckBuffer;
using codectest::InflateSetup;
using testutil::TempDir;

struct ToolCase {
    const char *name;
    const char *command;  // run in the folder holding f.bin; writes a.zip
    bool descriptorFlag;  // flag bit 3 expected
    uint16_t method;
};

const ToolCase TOOL_CASES[] = {
    {"zip -P", "zip -q -P 'pa55 word' a.zip f.bin", true, 8},
    {"zip -P -fd", "zip -q -fd -P 'pa55 word' a.zip f.bin", true, 8},
    {"zip -P -0", "zip -q -0 -P 'pa55 word' a.zip f.bin", true, 0},
    {"7z ZipCrypto", "7z a -tzip -mem=ZipCrypto '-ppa55 word' a.zip f.bin", false, 8},
    {"7z ZipCrypto stored", "7z a -tzip -mem=ZipCrypto -mx=0 '-ppa55 word' a.zip f.bin", false, 0},
};

// Each tool's entry: the right password passes by the rule of its flag, the
// keys it leaves decrypt the data (stored: by DecryptBuffer; deflated: through
// InflateEntry), and a password that fails the check byte is refused.
TEST(CryptArchives, RealToolsEncryptedEntriesDecrypt) {
    testutil::InitCrcTable();
    const std::string content = testutil::MixedData(70000, 11);
    for (const ToolCase &tool : TOOL_CASES) {
        SCOPED_TRACE(tool.name);
        TempDir dir("crypt");
        testutil::WriteHostFile(dir / "f.bin", content);
        ASSERT_EQ(testutil::RunCommand("cd '" + dir.path() + "' && " + tool.command), 0);
        // Flags and time from the local header, CRC and size from the central
        // directory (a descriptor may leave the local header's fields empty).
        const std::string zip = testutil::ReadHostFile(dir / "a.zip");
        std::vector<zipkit::LocalEntry> locals = zipkit::LocalEntries(zip);
        std::vector<zipkit::CentralEntry> centrals = zipkit::CentralEntries(zip);
        ASSERT_TRUE(!locals.empty() && !centrals.empty());
        const zipkit::LocalEntry &local = locals[0];
        const uint16_t flags = local.flags, modTime = local.modTime;
        const uint32_t crc = centrals[0].crc, compressedSize = centrals[0].compressedSize;
        ASSERT_EQ(flags & 1, 1);
        EXPECT_EQ((flags & 8) != 0, tool.descriptorFlag);
        EXPECT_EQ(local.method, tool.method);
        EXPECT_EQ(crc, testutil::Crc32(content));

        const std::string raw = zip.substr(local.data, 12);
        CheckBuffer header(raw);
        ASSERT_TRUE(header.Check(flags, crc, modTime, "pa55 word"));
        // The rule that decided: time's high byte with bit 3, else the CRC's.
        EXPECT_EQ(header.bytes[11], (flags & 8) ? modTime >> 8 : crc >> 24);

        if (local.method == 0) {
            std::string data = zip.substr(local.data + 12, compressedSize - 12);
            DecryptBuffer((BYTE *)&data[0], (DWORD)data.size());
            EXPECT_TRUE(data == content);
        } else {
            InflateSetup setup;
            setup.file = zip;
            setup.dataOffset = local.data + 12;
            setup.compressedSize = compressedSize - 12;
            setup.flags = flags;
            setup.crc = crc;
            // The keys as the accepted check leaves them.
            setup.keys = [&] { CheckBuffer(raw).Check(flags, crc, modTime, "pa55 word"); };
            auto out = codectest::Inflate(setup);
            EXPECT_TRUE(out.crcMatches);
            EXPECT_TRUE(out.output == content);
            EXPECT_EQ(out.leaked, 0);
        }
    }
}

// A crafted header: the check byte rule follows bit 3 only.
TEST(CryptCheck, FlagBit3ChoosesTimeOrCrc) {
    testutil::InitCrcTable();
    const uint32_t crc = 0xA1B2C3D4u;
    const uint16_t time = 0x7E00;
    struct Case {
        uint8_t checkByte;
        uint16_t flags;
        bool accepted;
    } cases[] = {
        {0xA1, 0x0001, true},   // CRC rule
        {0xA1, 0x0009, false},  // bit 3: the CRC no longer counts
        {0x7E, 0x0009, true},   // time rule
        {0x7E, 0x0001, false},
        {0x7E, 0x0809, true},   // other flag bits do not matter
    };
    for (const Case &c : cases) {
        CheckBuffer header(zipkit::Encrypt("", "secret", c.checkByte));
        EXPECT_EQ(header.Check(c.flags, crc, time, "secret"), c.accepted)
            << std::hex << (int)c.checkByte << " flags " << c.flags;
    }
}

TEST(CryptCheck, EmptyPasswordRefusedWithoutTouchingKeys) {
    testutil::InitCrcTable();
    std::string raw = zipkit::Encrypt("", "", 0x12);
    CheckBuffer header(raw);
    key0 = 1;
    key1 = 2;
    key2 = 3;
    EXPECT_FALSE(header.Check(1, 0x12000000u, 0, ""));
    EXPECT_EQ(key0, 1u);
    EXPECT_EQ(key1, 2u);
    EXPECT_EQ(key2, 3u);
    for (int i = 0; i < 12; i++) EXPECT_EQ(header.bytes[i], (BYTE)raw[i]);
}

// The raw half is never written, so passwords can be tried one after another;
// after an accepted check the keys are those of the password run over the 12
// plain header bytes.
TEST(CryptCheck, RepeatedChecksOnOneBufferAndKeysAfterwards) {
    testutil::InitCrcTable();
    std::string raw = zipkit::Encrypt("", "right", 0x5A);
    CheckBuffer header(raw);
    const uint32_t crc = 0x5A000000u;
    // "wrong" decrypts this header to a check byte other than 0x5A (the header
    // is fixed, so this stays true).
    EXPECT_FALSE(header.Check(1, crc, 0, "wrong"));
    EXPECT_TRUE(header.Check(1, crc, 0, "right"));
    EXPECT_FALSE(header.Check(1, crc, 0, "Right"));
    EXPECT_TRUE(header.Check(1, crc, 0, "right"));
    for (int i = 0; i < 12; i++) EXPECT_EQ(header.bytes[12 + i], (BYTE)raw[i]);
    DWORD k0 = key0, k1 = key1, k2 = key2;
    InitKeys("right");
    for (int i = 0; i < 12; i++) UpdateKeys(header.bytes[i]);
    EXPECT_EQ(key0, k0);
    EXPECT_EQ(key1, k1);
    EXPECT_EQ(key2, k2);
    // And the test cipher agrees on the plain header.
    std::string plainHeader = testutil::RandomData(11, 7) + '\x5A';
    for (int i = 0; i < 12; i++) EXPECT_EQ(header.bytes[i], (BYTE)plainHeader[i]);
}

TEST(CryptDecrypt, PieceSizesDoNotMatterAndLongPasswordsWrap) {
    testutil::InitCrcTable();
    const std::string plain = testutil::MixedData(100000, 3);
    const std::string cipher = zipkit::Cipher("k").Encrypt(plain);
    for (size_t piece : {1u, 12u, 4095u, 32768u, 100000u}) {
        InitKeys("k");
        std::string data = cipher;
        for (size_t at = 0; at < data.size(); at += piece)
            DecryptBuffer((BYTE *)&data[at], (DWORD)std::min(piece, data.size() - at));
        EXPECT_TRUE(data == plain) << piece;
    }
    // The length counter is one byte: 300 characters act as their first 44.
    std::string longPassword = testutil::TextData(300, 9);
    InitKeys(longPassword.c_str());
    DWORD k0 = key0, k1 = key1, k2 = key2;
    InitKeys(longPassword.substr(0, 44).c_str());
    EXPECT_EQ(key0, k0);
    EXPECT_EQ(key1, k1);
    EXPECT_EQ(key2, k2);
    // Bytes above 0x7F count as unsigned.
    zipkit::Cipher high("\xE9t\xE9");
    InitKeys("\xE9t\xE9");
    EXPECT_EQ(key0, high.k0);
    EXPECT_EQ(key1, high.k1);
    EXPECT_EQ(key2, high.k2);
}

}  // namespace
