// mksfx packing: files and folders become fresh ZIP entries, deflated through zlib
// (raw DEFLATE) or stored, optionally with traditional encryption.
//
// Names are the input paths as given (relative to --base), with "/" separators,
// "." components dropped and a leading "/" or drive removed; ".." is refused
// because the stub would have to refuse it later. Folders are walked in name order
// so that the same inputs always give the same bytes; the entries are then
// written in the order of the stub's file list (order.cpp) unless --keep-order
// is given. Every problem of the inputs (unreadable files, broken links, names
// the stub refuses) is collected before the first byte is written. The output
// and its temporary files are never packed, even when they lie in a packed
// folder. Every entry gets its real CRC-32 and sizes in the local header and no
// data descriptor: the CRC is computed in a first read of the file, before the
// (encrypted) data is written.
#include "mksfx.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
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
std::string EntryNameOf(const std::string &input, Problems &problems) {
    std::string p = input;
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.size() >= 2 && p[1] == ':') p.erase(0, 2);  // drive letter
    std::string name;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string part = p.substr(i, j - i);
        if (part == "..") problems.AddEntry(input, "a \"..\" in an entry name would leave the destination folder");
        if (!part.empty() && part != "." && part != "..") {
            if (!name.empty()) name += '/';
            name += part;
        }
        i = j + 1;
    }
    return name;
}

// A folder walk: what it adds, what it leaves out, what it cannot read.
class Collector {
public:
    Collector(const PackOptions &o, Problems &problems) : o_(o), problems_(problems) {
        outputLeaf_ = Utf8Path(HostPath(o.output).filename());
        std::error_code ec;
        outputFolder_ = fs::weakly_canonical(HostPath(o.output).parent_path().empty() ? fs::path(".")
                                                                                     : HostPath(o.output).parent_path(),
                                             ec);
    }

    void Input(const std::string &input) {
        std::string path = IsAbsolute(input) ? input : JoinPath(o_.baseDir, input);
        HostStat st = StatHostFile(path);
        std::string name = EntryNameOf(input, problems_);
        if (!st.exists) {
            problems_.AddEntry(path, "cannot read (" + st.error + ")");
        } else if (st.isDirectory) {
            std::string prefix = name.empty() ? "" : name + "/";
            if (!name.empty()) Add(path, prefix, true);
            Folder(path, prefix);
        } else if (!st.isFile) {
            problems_.AddEntry(path, "not a regular file or folder");
        } else if (name.empty()) {
            problems_.AddEntry(path, "no entry name can be made of this path");
        } else if (!IsOwnOutput(path, Utf8Path(HostPath(path).filename()))) {
            Add(path, name, false);
        }
    }

    std::vector<Item> items;

private:
    bool Excluded(const std::string &name) const {
        std::string bare = name.back() == '/' ? name.substr(0, name.size() - 1) : name;
        for (const std::string &pattern : o_.excludes)
            if (GlobMatch(pattern.c_str(), name.c_str()) || GlobMatch(pattern.c_str(), bare.c_str())) return true;
        return false;
    }

    void Add(const std::string &path, const std::string &name, bool isDir) {
        if (!Excluded(name)) items.push_back({path, name, isDir});
    }

    // The output, or one of its temporary files: never packed. A file the
    // output would replace is an input, and refused, unless it is a former
    // build of this output (a self-extractor).
    bool IsOwnOutput(const std::string &path, const std::string &leaf) {
        bool temporary = leaf.compare(0, outputLeaf_.size() + 4, Output::TemporaryPrefix(outputLeaf_)) == 0;
        if (leaf != outputLeaf_ && !temporary) return false;
        std::error_code ec;
        if (fs::weakly_canonical(HostPath(path).parent_path(), ec) != outputFolder_) return false;
        if (temporary) return true;
        FILE *f = OpenHostFile(path, "rb");
        char signature[SFX_SIGNATURE_LENGTH] = {};
        bool former = f && SeekHostFile(f, kHeaderOffset) && fread(signature, 1, sizeof signature, f) == sizeof signature &&
                      std::memcmp(signature, SFX_SIGNATURE, SFX_SIGNATURE_LENGTH) == 0;
        if (f) fclose(f);
        if (!former) problems_.AddEntry(path, "the output -o " + o_.output + " would replace this input");
        return true;
    }

    void Folder(const std::string &path, const std::string &prefix) {
        std::vector<std::string> leaves;
        std::error_code ec;
        fs::directory_iterator it(HostPath(path), ec), end;
        for (; !ec && it != end; it.increment(ec)) leaves.push_back(Utf8Path(it->path().filename()));
        if (ec) {
            problems_.AddEntry(path, "cannot read the folder (" + ec.message() + ")");
            return;
        }
        std::sort(leaves.begin(), leaves.end());
        for (const std::string &leaf : leaves) {
            std::string childPath = JoinPath(path, leaf), name = prefix + leaf;
            std::error_code e1;
            fs::file_status own = fs::symlink_status(HostPath(childPath), e1);
            if (fs::is_directory(own)) {
                if (Excluded(name + "/")) continue;
                Add(childPath, name + "/", true);
                Folder(childPath, name + "/");
                continue;
            }
            HostStat st = StatHostFile(childPath);
            if (!st.exists) {
                problems_.AddEntry(childPath, "cannot read (" + st.error + ")");
            } else if (st.isFile) {
                if (!IsOwnOutput(childPath, leaf)) Add(childPath, name, false);
            } else if (!o_.quiet && !Excluded(name)) {
                // Links to folders are not followed (they may loop); devices, pipes
                // and sockets have no content to pack.
                std::fprintf(stderr, "mksfx: %s: skipped (not a regular file or folder)\n", childPath.c_str());
            }
        }
    }

    const PackOptions &o_;
    Problems &problems_;
    std::string outputLeaf_;
    fs::path outputFolder_;
};

// DOS date and time of a file's modification time, in local time (as the stub
// hands it to the file system), or clamped to SOURCE_DATE_EPOCH and in UTC, so
// that neither the machine's clock nor its time zone reach the bytes. Times
// outside 1980..2107 are clamped.
void DosTime(int64_t modified, const PackOptions &o, uint16_t &dosTime, uint16_t &dosDate) {
    struct tm tmv {};
    if (!CalendarTime(o.clampTimes ? std::min(modified, o.epoch) : modified, o.clampTimes, tmv)) tmv = tm{};
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
    HostStat st = StatHostFile(item.path);
    if (!st.exists) Fail(item.path + ": cannot read (" + st.error + ")");
    DosTime(st.modified, o, r.modTime, r.modDate);
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
    if (st.size >= 0xFFFFFFFFu)
        FailEntry(item.name, "4 GiB or more needs ZIP64, which the stub cannot read");

    FILE *f = OpenHostFile(item.path, "rb");
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
    Problems problems;
    Collector collector(options, problems);
    for (const std::string &input : inputs) collector.Input(input);
    std::vector<Item> &items = collector.items;
    if (items.empty() && problems.Empty()) Fail("nothing to pack");
    for (Item &item : items) item.name = PackedName(item.name, options.names, item.unicode, problems);
    if (!options.keepOrder) SortInListOrder(items, [](const Item &item) { return item.name; });
    std::vector<std::string> names, labels;
    for (const Item &item : items) {
        names.push_back(item.name);
        labels.push_back(item.unicode.empty() ? item.name : item.unicode);
    }
    CheckEntryNames(names, labels, options.names, problems);
    problems.Check();
    if (options.store) {
        // Stored sizes are known in advance: refuse before writing gigabytes.
        uint64_t projected = out.Position();
        for (const Item &item : items) {
            uint64_t size = item.isDir ? 0 : StatHostFile(item.path).size;
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
