// mksfx output: the self-extractor is written to a temporary file in the target's
// folder and renamed over the target only when it is complete and checked, so a
// refusal, a failure or a signal never leaves a partial file behind. Every write
// is checked against the 2 GiB limit of the stub's signed 32-bit file positions.
#include "mksfx.h"

#include <cerrno>
#include <cstring>
#include <iostream>

namespace mksfx {

void Fail(const std::string &message) { throw Failure{{message}}; }

void FailEntry(const std::string &name, const std::string &what) { Fail(name + ": " + what); }

void Problems::Check() {
    if (messages_.empty()) return;
    Failure f{std::move(messages_)};
    messages_.clear();
    throw f;
}

Output::Output(const std::string &target) : target_(target) {
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        temp_ = TemporaryPrefix(target) + std::to_string(ProcessId()) + "-" + std::to_string(attempt);
        file_ = CreateExclusive(temp_);
        if (!file_ && errno != EEXIST) Fail(target + ": cannot create the output file (" + strerror(errno) + ")");
    }
    if (!file_) Fail(target + ": cannot create a temporary output file");
    RemoveOnSignal(0, temp_);
}

Output::~Output() {
    if (file_) fclose(file_);
    if (!committed_) RemoveHostFile(temp_);
    RemoveOnSignal(0, "");
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

void Output::Seek(uint64_t position) {
    if (position > kMaxResult || !SeekHostFile(file_, position)) Fail(target_ + ": seek failed");
    position_ = position;
}

void Output::Commit(const std::function<void(const std::string &)> &finish) {
    // A stored retry after a deflate attempt may leave stale bytes behind the
    // end record; the file must end exactly with the end record and its comment.
    bool ok = TruncateAt(file_, position_);
    ok = fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) Fail(target_ + ": write failed (" + strerror(errno) + ")");
    finish(temp_);
    if (!RenameOver(temp_, target_))
        Fail(target_ + ": cannot rename the finished output into place (" + strerror(errno) + ")");
    committed_ = true;
}

std::vector<uint8_t> ReadWholeFile(const std::string &path) {
    FILE *f = OpenHostFile(path, "rb");
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

std::string ReadSecret(const std::string &option, const std::string &path) {
    std::string line;
    if (path == "-") {
        std::getline(std::cin, line);
    } else {
        std::vector<uint8_t> all = ReadWholeFile(path);
        line.assign(all.begin(), std::find(all.begin(), all.end(), '\n'));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) Fail(option + ": the password is empty");
    return line;
}

}  // namespace mksfx
