// mksfx output: the self-extractor is written to a temporary file in the target's
// folder and renamed over the target only when it is complete, so a refusal or a
// failure never leaves a partial file behind. Every write is checked against the
// 2 GiB limit of the stub's signed 32-bit file positions.
#include "mksfx.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace mksfx {

void Fail(const std::string &message) { throw Failure{message}; }

void FailEntry(const std::string &name, const std::string &what) {
    Fail(name + ": " + what);
}

namespace {

int OpenExclusive(const std::string &path) {
#ifdef _WIN32
    return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return open(path.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
#endif
}

long ProcessId() {
#ifdef _WIN32
    return long(_getpid());
#else
    return long(getpid());
#endif
}

bool TruncateAt(FILE *f, uint64_t length) {
    if (fflush(f) != 0) return false;
#ifdef _WIN32
    return _chsize(_fileno(f), long(length)) == 0;
#else
    return ftruncate(fileno(f), off_t(length)) == 0;
#endif
}


}  // namespace

bool RenameOver(const std::string &from, const std::string &to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

Output::Output(const std::string &target) : target_(target) {
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        temp_ = target + ".tmp" + std::to_string(ProcessId()) + "-" + std::to_string(attempt);
        int fd = OpenExclusive(temp_);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            Fail(target + ": cannot create the output file (" + strerror(errno) + ")");
        }
        file_ = fdopen(fd, "w+b");
        if (!file_) {
            close(fd);
            remove(temp_.c_str());
            Fail(target + ": cannot create the output file");
        }
    }
    if (!file_) Fail(target + ": cannot create a temporary output file");
}

Output::~Output() {
    if (file_) fclose(file_);
    if (!committed_) remove(temp_.c_str());
}

void Output::Write(const void *data, size_t length) {
    if (position_ + length > kMaxResult) {
        std::string what = "the self-extractor would exceed 2 GiB - 1 bytes (" +
                           std::to_string(kMaxResult) + "), the limit of the stub's file positions";
        if (entry_.empty()) Fail(what);
        FailEntry(entry_, what);
    }
    if (length && fwrite(data, 1, length, file_) != length)
        Fail(target_ + ": write failed (" + strerror(errno) + ")");
    position_ += length;
}

void Output::WriteU16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    Write(b, 2);
}

void Output::WriteU32(uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    Write(b, 4);
}

void Output::Seek(uint64_t position) {
    // Positions stay below 2 GiB (Write guarantees it), so a long is wide enough.
    if (position > kMaxResult || fseek(file_, long(position), SEEK_SET) != 0)
        Fail(target_ + ": seek failed");
    position_ = position;
}

void Output::Commit(const std::function<void(const std::string &)> &finish) {
    // A stored retry after a deflate attempt may leave stale bytes behind the
    // end record; the file must end exactly with the end record and its comment.
    if (!TruncateAt(file_, position_) || fclose(file_) != 0) {
        file_ = nullptr;
        Fail(target_ + ": write failed (" + strerror(errno) + ")");
    }
    file_ = nullptr;
    if (finish) finish(temp_);
    if (!RenameOver(temp_, target_))
        Fail(target_ + ": cannot rename the finished output into place (" + strerror(errno) + ")");
    committed_ = true;
}

std::vector<uint8_t> ReadWholeFile(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) Fail(path + ": cannot read (" + strerror(errno) + ")");
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + got);
    bool bad = ferror(f) != 0;
    fclose(f);
    if (bad) Fail(path + ": cannot read");
    return data;
}

}  // namespace mksfx
