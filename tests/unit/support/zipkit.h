// zipkit: the tests' own reading and writing of ZIP and self-extractor bytes,
// written from the format description apart from the product code, so that the
// two check each other. Unit tests, fuzz targets and benchmarks share it; it
// includes nothing of the product (CRC-32 and DEFLATE come from zlib through
// testutil, the stub's length from the build's SFX_HEADER_OFFSET).
//
//   fields       little-endian numbers in and out of byte strings
//   cipher       the traditional PKWARE encryption and its password check byte
//   writer       ZIP archives by hand, with every field open to damage
//   readers      the local headers walked as the stub walks them; the central
//                directory and the end record as other readers find them
//   sfx          the self-extractor file: stub area, header, archive
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zipkit {

// ---- fields ----------------------------------------------------------------------------
void Put16(std::string &out, uint32_t value);
void Put32(std::string &out, uint32_t value);
// 0 for bytes past the end of `bytes`.
uint16_t Get16(const std::string &bytes, size_t at);
uint32_t Get32(const std::string &bytes, size_t at);

const uint32_t LOCAL_SIGNATURE = 0x04034B50;       // PK 3 4
const uint32_t CENTRAL_SIGNATURE = 0x02014B50;     // PK 1 2
const uint32_t END_SIGNATURE = 0x06054B50;         // PK 5 6
const uint32_t DESCRIPTOR_SIGNATURE = 0x08074B50;  // PK 7 8
const size_t kLocalHeaderSize = 30;
const size_t kEndRecordSize = 22;
const size_t kEncryptionHeaderSize = 12;

// ---- cipher ----------------------------------------------------------------------------
// The three keys of the traditional cipher, set up from a password (its bytes
// unsigned), advanced by each plain byte.
struct Cipher {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    explicit Cipher(const std::string &password);
    void Update(uint8_t plain);
    uint8_t Stream() const;  // the next keystream byte
    std::string Encrypt(const std::string &plain);
    std::string Decrypt(const std::string &cipher);
};
// The byte an entry's encryption header must end in: with flag bit 3 (sizes in
// a descriptor) the high byte of the DOS time, else the high byte of the CRC.
uint8_t CheckByte(uint16_t flags, uint32_t crc, uint16_t modTime);
// `stored` (the entry's data as it would be stored unencrypted) behind a 12-byte
// encryption header: 11 bytes of RandomData(11, seed), then `checkByte`.
std::string Encrypt(const std::string &stored, const std::string &password, uint8_t checkByte,
                    uint32_t seed = 7);
// True when `password` decrypts the 12 bytes to a header ending in `checkByte`.
bool PassesCheck(const std::string &encryptionHeader, const std::string &password,
                 uint8_t checkByte);

// ---- writer ----------------------------------------------------------------------------
struct CraftedEntry {
    std::string name;
    std::string data;            // the plain file contents
    uint16_t method = 0;         // 0 stored, 8 deflated, anything else as given
    uint16_t flags = 0;
    uint16_t modTime = 0x546E;   // 10:35:28
    uint16_t modDate = 0x2AC4;   // 4 June 2001
    std::string extra;
    std::string password;        // set: encrypt (flags bit 0 is added)
    int descriptors = 0;         // data descriptors (with signature) after the data
    // Overrides of what the local header says; the stored bytes stay as made.
    bool setCrc = false;
    uint32_t crc = 0;
    bool setCompressedSize = false;
    uint32_t compressedSize = 0;
    bool setNameLength = false;
    uint16_t nameLength = 0;
    uint32_t signature = LOCAL_SIGNATURE;
    std::string rawStored;       // when not empty: the stored bytes exactly (no deflate/encrypt)
};
// Local headers, data (deflated by zlib at level 6), descriptors, then a central
// directory and its end record with `comment`. Offsets count from `base`, the
// position the archive will have in its file.
std::string CraftZip(const std::vector<CraftedEntry> &entries, uint32_t base = 0,
                     const std::string &comment = "");
// An end record alone, of an archive with no entries.
std::string EndRecord();

// ---- readers ---------------------------------------------------------------------------
// The fields that local and central headers share.
struct EntryFields {
    uint16_t flags = 0, method = 0, modTime = 0, modDate = 0;
    uint32_t crc = 0, compressedSize = 0, size = 0;
    std::string name;
};
// One entry as its local header gives it.
struct LocalEntry : EntryFields {
    size_t data = 0;  // offset of the data in the file, after name and extra field
    std::string Data(const std::string &file) const { return file.substr(data, compressedSize); }
};
// The local headers from `start` on, one after the other's data, as the stub
// walks them: a data descriptor with its signature (16 bytes) is stepped over;
// anything else, or an entry whose data would run past the end of the file,
// ends the walk.
std::vector<LocalEntry> LocalEntries(const std::string &file, size_t start = 0);
// The last end record whose comment fits in the file (a maker may pad after
// it); npos when there is none.
size_t FindEndRecord(const std::string &file);
// That record's comment; "(none)" without a record.
std::string Comment(const std::string &file);
// One entry as the central directory gives it.
struct CentralEntry : EntryFields {};
// The central directory that FindEndRecord's record points to, in its order;
// empty when there is none or it is damaged.
std::vector<CentralEntry> CentralEntries(const std::string &zip);

// `count` passwords, "w0", "w1", ... in order, each of which the password check
// of every encrypted entry of the file refuses (one in 256 passwords passes a
// check by chance, and a test that needs refusals must not depend on luck).
std::vector<std::string> RefusedPasswords(const std::string &file, size_t count,
                                          size_t start = 0);

// ---- sfx -------------------------------------------------------------------------------
// The configuration header: "DID", the option byte, 00 01, the header's size
// (LE16: 8, the four texts, `slack`), the texts caption, default directory,
// command and start-up message (each a length byte and its bytes), then `slack`
// bytes of 'Z' the stub never reads.
std::string SfxHeader(uint8_t options, const std::string &caption = "", const std::string &dir = "",
                      const std::string &command = "", const std::string &message = "",
                      size_t slack = 0);
// SFX_HEADER_OFFSET zero bytes in place of the stub, the header, the archive.
std::string SfxFile(const std::string &header, const std::string &zip);
// Where the archive of a self-extractor file starts: after its header.
size_t SfxArchiveStart(const std::string &file);

}  // namespace zipkit
