// Small shared helpers of the host unit tests, fuzz targets and benchmarks:
// scratch folders, host files, shell commands, zlib as the oracle of DEFLATE
// and CRC-32, test data and the CRC table. Each function says what it returns
// on failure.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// A fresh folder /tmp/<tag>-XXXXXX, removed with its contents when it goes.
class TempDir {
public:
    explicit TempDir(const std::string &tag = "sfxtest");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    // path() + "/" + name
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole file; empty when it cannot be read.
std::string ReadHostFile(const std::string &path);
// Creates or replaces the file, and the folders missing above it; false on failure.
bool WriteHostFile(const std::string &path, const std::string &data);
bool HostExists(const std::string &path);  // anything there, a dangling link too
bool HostIsDirectory(const std::string &path);
// Every path below `folder`, relative, "/"-separated, sorted; folders end in "/".
std::vector<std::string> HostTree(const std::string &folder);
// Runs `command` with /bin/sh, all its output discarded; its exit status (-1: not run).
int RunCommand(const std::string &command);

// Raw DEFLATE (no zlib header or trailer) made by zlib's deflate with the given
// level (0-9), strategy (Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE,
// Z_FIXED), window bits (9-15) and memory level (1-9). Empty on a zlib failure.
std::string RawDeflate(const std::string &data, int level = 6, int strategy = 0,
                       int windowBits = 15, int memLevel = 8);
// Raw DEFLATE at level 6 ended by a sync flush: byte-aligned, no final block yet.
std::string SyncFlushedDeflate(const std::string &data);
// What zlib's raw inflate (32 KB window) makes of `stream`, up to its end or to
// the first thing it refuses; `ok` tells whether the stream ended within the data.
std::string RawInflate(const std::string &stream, bool *ok = nullptr);
// The standard CRC-32 (zlib's crc32) of the data.
uint32_t Crc32(const std::string &data);

// Deterministic test data of `size` bytes from `seed`:
// text: English-like words and lines (compresses about 3:1);
// random: incompressible bytes;
// mixed: alternating runs of text, random bytes, repeated bytes and repeats of
// earlier stretches from up to 32 KB back.
std::string TextData(size_t size, uint32_t seed = 1);
std::string RandomData(size_t size, uint32_t seed = 1);
std::string MixedData(size_t size, uint32_t seed = 1);

// Makes crcTable exist and filled (MakeCrcTable), in a block outside the
// stand-in heap, so that heap counts in tests see only the blocks of the code
// under test. Idempotent.
void InitCrcTable();

}  // namespace testutil
