// Shared helpers for host unit tests (see testutil.h).
#include "support/testutil.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "codec/crc32.h"

namespace testutil {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string &tag) {
    std::string pattern = "/tmp/" + tag + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    const char *made = mkdtemp(buffer.data());
    path_ = made ? made : "";
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(path_, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path_, error);
}

std::string ReadHostFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool WriteHostFile(const std::string &path, const std::string &data) {
    fs::path p(path);
    std::error_code error;
    if (p.has_parent_path()) fs::create_directories(p.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), (std::streamsize)data.size());
    return (bool)out;
}

bool HostExists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool HostIsDirectory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> HostTree(const std::string &folder) {
    std::vector<std::string> out;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::string rel = fs::relative(it->path(), folder).generic_string();
        if (it->is_directory()) rel += "/";
        out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

int RunCommand(const std::string &command) {
    int status = system(("( " + command + " ) >/dev/null 2>&1").c_str());
    if (status == -1) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// zlib's raw deflate ended by `flush`: Z_FINISH (the whole stream) or Z_SYNC_FLUSH.
static std::string Deflate(const std::string &data, int level, int strategy, int windowBits,
                           int memLevel, int flush) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, memLevel, strategy) != Z_OK) return "";
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = (Bytef *)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef *)&out[0];
    z.avail_out = (uInt)out.size();
    int rc = deflate(&z, flush);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == (flush == Z_FINISH ? Z_STREAM_END : Z_OK) ? out : "";
}

std::string RawDeflate(const std::string &data, int level, int strategy, int windowBits,
                       int memLevel) {
    return Deflate(data, level, strategy, windowBits, memLevel, Z_FINISH);
}

std::string SyncFlushedDeflate(const std::string &data) {
    return Deflate(data, 6, Z_DEFAULT_STRATEGY, 15, 8, Z_SYNC_FLUSH);
}

std::string RawInflate(const std::string &stream, bool *ok) {
    z_stream z{};
    std::string out;
    int rc = inflateInit2(&z, -15);
    z.next_in = (Bytef *)stream.data();
    z.avail_in = (uInt)stream.size();
    while (rc == Z_OK) {
        char buffer[65536];
        z.next_out = (Bytef *)buffer;
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
    }
    inflateEnd(&z);
    if (ok) *ok = rc == Z_STREAM_END;
    return out;
}

uint32_t Crc32(const std::string &data) {
    return (uint32_t)crc32(0, (const Bytef *)data.data(), (uInt)data.size());
}

namespace {

// xorshift32: small, deterministic everywhere.
struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

const char *const WORDS[] = {
    "the",    "of",      "archive", "entry",  "window", "deflate", "header", "code",
    "length", "distance", "table",  "bits",   "stream", "block",   "data",   "file",
    "and",    "to",      "in",      "is",     "with",   "for",     "that",   "a",
    "Huffman", "literal", "CRC",    "32768",  "0x1F",   "{",       "}",      "return;"};

void AppendText(std::string &out, size_t size, Random &r) {
    size_t column = 0;
    while (out.size() < size) {
        const char *w = WORDS[r.Below(sizeof WORDS / sizeof *WORDS)];
        out += w;
        column += std::char_traits<char>::length(w);
        if (column > 60 + r.Below(20)) {
            out += '\n';
            column = 0;
        } else {
            out += ' ';
            column++;
        }
    }
    out.resize(size);
}

}  // namespace

std::string TextData(size_t size, uint32_t seed) {
    Random r(seed);
    std::string out;
    out.reserve(size + 16);
    AppendText(out, size, r);
    return out;
}

std::string RandomData(size_t size, uint32_t seed) {
    Random r(seed);
    std::string out(size, '\0');
    for (size_t i = 0; i < size; i++) out[i] = (char)(r.Next() >> 24);
    return out;
}

std::string MixedData(size_t size, uint32_t seed) {
    Random r(seed);
    std::string out;
    out.reserve(size + 70000);
    while (out.size() < size) {
        size_t run = 1 + r.Below(3000);
        switch (r.Below(4)) {
        case 0: AppendText(out, out.size() + run, r); break;
        case 1:
            for (size_t i = 0; i < run; i++) out += (char)(r.Next() >> 24);
            break;
        case 2: out.append(run, (char)r.Below(256)); break;
        default:
            if (out.size() > 0) {
                size_t back = 1 + r.Below((uint32_t)std::min<size_t>(out.size(), 32768));
                size_t from = out.size() - back;
                for (size_t i = 0; i < run; i++) out += out[from + i];
            }
        }
    }
    out.resize(size);
    return out;
}

void InitCrcTable() {
    static DWORD table[CRC_TABLE_ENTRIES + 1];
    if (crcTable != table) {
        crcTable = table;
        MakeCrcTable();
    }
}

}  // namespace testutil
