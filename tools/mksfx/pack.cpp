// mksfx packing: files and folders become fresh ZIP entries, deflated through zlib
// (raw DEFLATE) or stored, optionally with traditional encryption.
//
// Names are the input paths as given (relative to --base), with "/" separators,
// "." components dropped and a leading "/" or drive removed; ".." is refused
// because the stub would have to refuse it later. Folders are walked in name order
// so that the same inputs always give the same bytes; the entries are then
// written in the order of the stub's file list (order.cpp) unless --keep-order
// is given. Every entry gets its real CRC-32 and sizes in the local header and no
// data descriptor: the CRC is computed in a first read of the file, before the
// (encrypted) data is written.
#include "mksfx.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace mksfx {

namespace {

constexpr size_t kChunk = 1 << 16;

struct Item {
    std::string path;   // where to read it
    std::string name;   // entry name; folders end in "/"
    bool isDir;
    std::string unicode = "";  // the UTF-8 name when `name` was converted to the code page
};

std::string JoinPath(const std::string &base, const std::string &rel) {
    if (base.empty()) return rel;
    if (base.back() == '/' || base.back() == '\\') return base + rel;
    return base + "/" + rel;
}

bool IsAbsolute(const std::string &p) {
    if (!p.empty() && (p[0] == '/' || p[0] == '\\')) return true;
    return p.size() >= 2 && p[1] == ':';
}

// The entry name of an input path: components joined by "/", no "." components.
std::string EntryNameOf(const std::string &input) {
    std::string p = input;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.size() >= 2 && p[1] == ':') p.erase(0, 2);  // drive letter
    std::string name;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string part = p.substr(i, j - i);
        if (part == "..") FailEntry(input, "a \"..\" in an entry name would leave the destination folder");
        if (!part.empty() && part != ".") {
            if (!name.empty()) name += '/';
            name += part;
        }
        i = j + 1;
    }
    return name;
}

// 64-bit sizes on Windows too, where the plain stat stops at 2 GiB.
#ifdef _WIN32
using StatBuf = struct _stat64;
bool StatPath(const std::string &path, StatBuf &st) { return _stat64(path.c_str(), &st) == 0; }
#else
using StatBuf = struct stat;
bool StatPath(const std::string &path, StatBuf &st) { return stat(path.c_str(), &st) == 0; }
#endif

void AddFolderContents(const std::string &path, const std::string &prefix, std::vector<Item> &items) {
    std::vector<std::pair<std::string, std::string>> children;  // name, path
    std::error_code ec;
    fs::directory_iterator it(fs::path(path), ec), end;
    if (ec) Fail(path + ": cannot read the folder (" + ec.message() + ")");
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        std::string leaf = HostFileName(it->path().filename());
        children.emplace_back(leaf, JoinPath(path, leaf));
    }
    if (ec) Fail(path + ": cannot read the folder (" + ec.message() + ")");
    std::sort(children.begin(), children.end());
    for (const auto &[leaf, childPath] : children) {
        std::string name = prefix + leaf;
        std::error_code e1;
        fs::file_status own = fs::symlink_status(fs::path(childPath), e1);
        if (fs::is_directory(own)) {
            items.push_back({childPath, name + "/", true});
            AddFolderContents(childPath, name + "/", items);
            continue;
        }
        StatBuf st;
        if (!StatPath(childPath, st)) Fail(childPath + ": cannot read (" + strerror(errno) + ")");
        if (S_ISREG(st.st_mode)) {
            items.push_back({childPath, name, false});
        } else {
            // Links to folders are not followed (they may loop); devices, pipes
            // and sockets have no content to pack.
            fprintf(stderr, "mksfx: %s: skipped (not a regular file or folder)\n", childPath.c_str());
        }
    }
}

std::vector<Item> CollectItems(const std::vector<std::string> &inputs, const std::string &base,
                               const NameOptions &names) {
    std::vector<Item> items;
    for (const std::string &input : inputs) {
        std::string path = IsAbsolute(input) ? input : JoinPath(base, input);
        StatBuf st;
        if (!StatPath(path, st)) Fail(path + ": cannot read (" + strerror(errno) + ")");
        std::string name = EntryNameOf(input);
        if (S_ISDIR(st.st_mode)) {
            std::string prefix = name.empty() ? "" : name + "/";
            if (!name.empty()) items.push_back({path, prefix, true});
            AddFolderContents(path, prefix, items);
        } else if (S_ISREG(st.st_mode)) {
            if (name.empty()) Fail(path + ": no entry name can be made of this path");
            items.push_back({path, name, false});
        } else {
            Fail(path + ": not a regular file or folder");
        }
    }
    for (Item &item : items) item.name = PackedName(item.name, names, item.unicode);
    std::set<std::string> seen;
    for (const Item &item : items) {
        if (item.name.size() > kMaxNameLength)
            FailEntry(item.name, "the name is " + std::to_string(item.name.size()) +
                                     " bytes; the stub reads names of at most " +
                                     std::to_string(kMaxNameLength) + " bytes");
        if (!seen.insert(item.name).second) FailEntry(item.name, "given twice");
    }
    if (items.empty()) Fail("nothing to pack");
    return items;
}

// DOS date and time of a file's modification time, in local time (as the stub
// hands it to the file system). Times outside 1980..2107 are clamped.
void DosTime(time_t t, uint16_t &dosTime, uint16_t &dosDate) {
    struct tm tmv {};
#ifdef _WIN32
    if (localtime_s(&tmv, &t) != 0) tmv = tm{};
#else
    if (!localtime_r(&t, &tmv)) tmv = tm{};
#endif
    int year = tmv.tm_year + 1900;
    if (year < 1980) {
        dosTime = 0;
        dosDate = (1 << 5) | 1;  // 1980-01-01
        return;
    }
    if (year > 2107) {
        dosTime = (23 << 11) | (59 << 5) | 29;
        dosDate = uint16_t((127 << 9) | (12 << 5) | 31);
        return;
    }
    dosTime = uint16_t(tmv.tm_hour << 11 | tmv.tm_min << 5 | tmv.tm_sec / 2);
    dosDate = uint16_t((year - 1980) << 9 | (tmv.tm_mon + 1) << 5 | tmv.tm_mday);
}

// Deterministic bytes for the encryption header, so that packing the same inputs
// twice gives the same file. Seeded from the entry itself (splitmix64).
class HeaderBytes {
public:
    HeaderBytes(const CentralRecord &r) {
        uint32_t h = Crc32(0, r.name.data(), r.name.size());
        state_ = uint64_t(h) << 32 ^ r.crc32 ^ uint64_t(r.uncompressedSize) << 16 ^
                 uint64_t(r.modDate) << 48 ^ r.modTime;
    }
    uint8_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return uint8_t((z ^ (z >> 31)) >> 24);
    }

private:
    uint64_t state_;
};

// First read: size and CRC-32 of the file's content.
void MeasureFile(FILE *f, const std::string &name, uint64_t &size, uint32_t &crc) {
    std::vector<uint8_t> buf(kChunk);
    size = 0;
    crc = 0;
    size_t got;
    while ((got = fread(buf.data(), 1, buf.size(), f)) > 0) {
        crc = Crc32(crc, buf.data(), got);
        size += got;
        if (size >= 0xFFFFFFFFu) FailEntry(name, "4 GiB or more needs ZIP64, which the stub cannot read");
    }
    if (ferror(f)) FailEntry(name, "read error");
}

// Second read: writes the entry data (encryption header included) at the current
// output position with `method`; returns the CRC of what it read.
uint32_t WriteEntryData(Output &out, FILE *f, const CentralRecord &r, const PackOptions &o,
                        uint64_t &bytesRead) {
    rewind(f);
    ZipCrypto *crypt = nullptr;
    ZipCrypto cipher(o.password);
    if (r.flags & ZIP_FLAG_ENCRYPTED) {
        crypt = &cipher;
        // Eleven unpredictable bytes and the check byte: without a descriptor the
        // reader compares the last decrypted byte with the CRC's high byte.
        HeaderBytes source(r);
        uint8_t header[ENCRYPTION_HEADER_SIZE];
        for (int i = 0; i < ENCRYPTION_HEADER_SIZE - 1; ++i) header[i] = source.Next();
        header[ENCRYPTION_HEADER_SIZE - 1] = uint8_t(r.crc32 >> 24);
        crypt->EncryptBuffer(header, sizeof header);
        out.Write(header, sizeof header);
    }
    std::vector<uint8_t> in(kChunk), zout(kChunk);
    uint32_t crc = 0;
    bytesRead = 0;
    auto emit = [&](uint8_t *data, size_t n) {
        if (crypt) crypt->EncryptBuffer(data, n);
        out.Write(data, n);
    };
    if (r.method == METHOD_STORED) {
        size_t got;
        while ((got = fread(in.data(), 1, in.size(), f)) > 0) {
            crc = Crc32(crc, in.data(), got);
            bytesRead += got;
            emit(in.data(), got);
        }
    } else {
        z_stream z{};
        // Negative window bits: raw DEFLATE, the format of METHOD_DEFLATED.
        if (deflateInit2(&z, o.level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
            FailEntry(r.name, "zlib deflateInit2 failed");
        int flush = Z_NO_FLUSH;
        do {
            size_t got = fread(in.data(), 1, in.size(), f);
            crc = Crc32(crc, in.data(), got);
            bytesRead += got;
            flush = got < in.size() ? Z_FINISH : Z_NO_FLUSH;
            if (flush == Z_FINISH && ferror(f)) break;
            z.next_in = in.data();
            z.avail_in = uInt(got);
            do {
                z.next_out = zout.data();
                z.avail_out = uInt(zout.size());
                deflate(&z, flush);
                emit(zout.data(), zout.size() - z.avail_out);
            } while (z.avail_out == 0);
        } while (flush != Z_FINISH);
        deflateEnd(&z);
    }
    if (ferror(f)) FailEntry(r.name, "read error");
    return crc;
}

CentralRecord PackFile(Output &out, const Item &item, const PackOptions &o) {
    CentralRecord r;
    r.name = item.name;
    out.SetEntry(item.name);
    StatBuf st;
    if (!StatPath(item.path, st)) Fail(item.path + ": cannot read (" + strerror(errno) + ")");
    DosTime(st.st_mtime, r.modTime, r.modDate);
    r.externalAttributes = item.isDir ? 0x10 : 0x20;  // MS-DOS directory / archive bits
    // Both headers carry the Unicode path of a converted name: ZIP readers that
    // use it compare the local name with the central one.
    if (!item.unicode.empty()) r.extra = UnicodePathField(r.name, item.unicode);
    r.localOffset = out.Position();
    if (item.isDir) {
        r.versionNeeded = 10;
        WriteLocalHeader(out, r, r.extra);
        return r;
    }
    if (uint64_t(st.st_size) >= 0xFFFFFFFFu)
        FailEntry(item.name, "4 GiB or more needs ZIP64, which the stub cannot read");

    FILE *f = fopen(item.path.c_str(), "rb");
    if (!f) Fail(item.path + ": cannot read (" + strerror(errno) + ")");
    struct Closer {
        FILE *f;
        ~Closer() { fclose(f); }
    } closer{f};

    uint64_t size;
    MeasureFile(f, item.name, size, r.crc32);
    r.uncompressedSize = uint32_t(size);
    bool encrypted = !o.password.empty();
    r.flags = encrypted ? ZIP_FLAG_ENCRYPTED : 0;
    r.method = (o.store || size == 0) ? METHOD_STORED : METHOD_DEFLATED;
    r.versionNeeded = (r.method == METHOD_DEFLATED || encrypted) ? 20 : 10;
    WriteLocalHeader(out, r, r.extra);
    uint64_t dataStart = out.Position();
    uint64_t bytesRead;
    uint32_t crc = WriteEntryData(out, f, r, o, bytesRead);
    uint64_t stored = size + (encrypted ? ENCRYPTION_HEADER_SIZE : 0);
    if (r.method == METHOD_DEFLATED && out.Position() - dataStart >= stored) {
        // Incompressible: store it instead, as a reader gains nothing from inflating.
        out.Seek(dataStart);
        r.method = METHOD_STORED;
        if (!encrypted) r.versionNeeded = 10;
        crc = WriteEntryData(out, f, r, o, bytesRead);
    }
    if (crc != r.crc32 || bytesRead != size) FailEntry(item.name, "the file changed while it was packed");
    uint64_t end = out.Position();
    r.compressedSize = uint32_t(end - dataStart);
    out.Seek(r.localOffset);
    WriteLocalHeader(out, r, r.extra);
    out.Seek(end);
    return r;
}

}  // namespace

std::vector<CentralRecord> PackInputs(Output &out, const std::vector<std::string> &inputs,
                                      const PackOptions &options) {
    std::vector<Item> items = CollectItems(inputs, options.baseDir, options.names);
    if (!options.keepOrder) SortInListOrder(items, [](const Item &item) { return item.name; });
    if (options.store) {
        // Stored sizes are known in advance: refuse before writing gigabytes.
        uint64_t projected = out.Position();
        for (const Item &item : items) {
            StatBuf st;
            uint64_t size = !item.isDir && StatPath(item.path, st) ? uint64_t(st.st_size) : 0;
            projected += LOCAL_HEADER_SIZE + item.name.size() + size +
                         (item.isDir || options.password.empty() ? 0 : ENCRYPTION_HEADER_SIZE);
            if (projected > kMaxResult)
                FailEntry(item.name, "the self-extractor would exceed 2 GiB - 1 bytes (" +
                                         std::to_string(kMaxResult) +
                                         "), the limit of the stub's file positions");
        }
    }
    std::vector<CentralRecord> records;
    for (const Item &item : items) records.push_back(PackFile(out, item, options));
    return records;
}

}  // namespace mksfx
