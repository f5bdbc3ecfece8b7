// mksfx: builds a self-extractor = stub + configuration header + ZIP data.
//
// Shared declarations of the builder's modules:
//   mksfx.cpp    command line, the configuration header, the stub, main
//   output.cpp   the output file (temporary file, size limit, atomic rename)
//   zipwrite.cpp ZIP record encoding and the traditional encryption
//   pack.cpp     files and folders packed into fresh entries
//   rewrite.cpp  an existing .zip rewritten into the form the stub walks
//   order.cpp    the order of the stub's sorted file list
//
// The stub walks the ZIP data by its local headers only, from the first byte after
// the header to the first record that is neither a local header nor a 16-byte data
// descriptor. Everything written here serves that reader: real CRC-32 and sizes in
// every local header, entries back to back, no ZIP64, only methods 0 and 8.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/sfxformat.h"

namespace mksfx {

// Length of the shipped stub, where the configuration header begins.
constexpr uint32_t kHeaderOffset = HEADER_OFFSET;
// Positions in the stub are signed 32-bit: the whole file stays below 2 GiB.
constexpr uint64_t kMaxResult = 0x7FFFFFFFu;
// The stub reads an entry name into a 258-byte buffer; one byte stays for the NUL.
constexpr size_t kMaxNameLength = 257;
// A header text has a one-byte length.
constexpr size_t kMaxTextLength = 255;

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kDescriptorSig = 0x08074B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagMaskedDirectory = 0x2000;

// Every refusal and failure: the message is printed as one line, the exit code is 2
// and the temporary output is removed.
struct Failure {
    std::string message;
};
[[noreturn]] void Fail(const std::string &message);
// "NAME: what is wrong", the form of every refusal that concerns one entry.
[[noreturn]] void FailEntry(const std::string &name, const std::string &what);

// ---- output.cpp ----

// The self-extractor under construction: a temporary file beside the target that
// becomes the target only on Commit. Destroying an uncommitted output removes it.
class Output {
public:
    explicit Output(const std::string &target);
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    void Write(const void *data, size_t length);
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    uint64_t Position() const { return position_; }
    void Seek(uint64_t position);
    // Truncates at the current position, closes and renames over the target.
    void Commit();
    // Named in the size-limit refusal.
    void SetEntry(const std::string &name) { entry_ = name; }

private:
    std::string target_;
    std::string temp_;
    FILE *file_ = nullptr;
    uint64_t position_ = 0;
    std::string entry_;
    bool committed_ = false;
};

// Reads a whole small file; fails with "PATH: cannot read" when it can't.
std::vector<uint8_t> ReadWholeFile(const std::string &path);

// ---- zipwrite.cpp ----

// One entry as the central directory will describe it.
struct CentralRecord {
    uint16_t versionMadeBy = 20;
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    std::string name;
    std::string extra;        // central extra field
    std::string comment;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint64_t localOffset = 0; // absolute position in the self-extractor
};

uint32_t Crc32(uint32_t crc, const void *data, size_t length);

// Writes the 30-byte local header, the name and the extra field.
void WriteLocalHeader(Output &out, const CentralRecord &r, const std::string &localExtra);
// Writes a 16-byte data descriptor with signature.
void WriteDescriptor(Output &out, const CentralRecord &r);
// Writes the central directory and the end record; the file ends with the comment.
void WriteCentralDirectory(Output &out, const std::vector<CentralRecord> &records,
                           const std::string &zipComment);
// Removes every ZIP64 extended-information block (id 0x0001) from an extra field.
std::string DropZip64Extra(const std::string &extra);

// Traditional PKWARE encryption (the stream cipher of three 32-bit keys).
class ZipCrypto {
public:
    explicit ZipCrypto(const std::string &password);
    uint8_t Encrypt(uint8_t plain);
    void EncryptBuffer(uint8_t *data, size_t length);

private:
    void Update(uint8_t plain);
    uint8_t StreamByte() const;
    uint32_t k0_, k1_, k2_;
};

// ---- pack.cpp ----

struct PackOptions {
    bool store = false;
    int level = 9;
    std::string password;   // empty: no encryption
    std::string baseDir;    // inputs are taken relative to it ("" = current dir)
    bool keepOrder = false; // entries in input order, not in the list's
};
// Packs files and folders into entries after the current position of `out`.
std::vector<CentralRecord> PackInputs(Output &out, const std::vector<std::string> &inputs,
                                      const PackOptions &options);

// ---- rewrite.cpp ----

// Copies the entries of an existing ZIP archive after the current position of
// `out` and returns them with their new offsets; `comment` receives the archive
// comment.
std::vector<CentralRecord> RewriteZip(Output &out, const std::string &zipPath,
                                      std::string &comment, bool keepOrder);

// ---- order.cpp ----

// The key by which the stub's sorted file list places an entry name: two keys
// compare as byte strings the way the list compares the two names.
std::string ListSortKey(const std::string &name);

// Puts entries into the order of the stub's file list; names with equal keys
// keep their order.
template <class Entry, class NameOf>
void SortInListOrder(std::vector<Entry> &entries, NameOf nameOf) {
    std::vector<std::pair<std::string, size_t>> keys;
    for (size_t i = 0; i < entries.size(); ++i) keys.emplace_back(ListSortKey(nameOf(entries[i])), i);
    std::sort(keys.begin(), keys.end());
    std::vector<Entry> sorted;
    sorted.reserve(entries.size());
    for (const auto &key : keys) sorted.push_back(std::move(entries[key.second]));
    entries = std::move(sorted);
}

// ---- little-endian helpers ----
inline uint16_t GetU16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t GetU32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void PutU16(std::string &s, uint16_t v) {
    s += char(v & 0xFF);
    s += char(v >> 8);
}
inline void PutU32(std::string &s, uint32_t v) {
    PutU16(s, uint16_t(v));
    PutU16(s, uint16_t(v >> 16));
}

}  // namespace mksfx
