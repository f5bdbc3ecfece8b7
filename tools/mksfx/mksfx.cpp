// mksfx: the builder of self-extractors. The configuration header, stub lookup
// and the assembly of stub + header + ZIP data into one checked file.
//
// The configuration header's layout, option bits and values are
// app/sfxformat.h's; the builder writes 00 01 as the reserved bytes and a
// headerSize of exactly the fixed part and the four texts.
#include "mksfx.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace mksfx {
namespace {

const char kStubName[] = "tarvex-sfx.exe";

uint8_t OptionByte(const Settings &s) {
    if (s.hasRaw) return s.raw;
    return uint8_t(s.options | s.overwrite << OPT_OVERWRITE_SHIFT);
}

void AppendText(std::string &texts, const char *option, const std::string &utf8, const NameOptions &names,
                Problems &problems, char styleCode = 0, bool hasStyle = false) {
    std::string text = HeaderText(option, utf8, names, problems);
    if (hasStyle) text.insert(text.begin(), styleCode);
    if (text.size() > kMaxTextLength)
        problems.AddEntry(option, std::to_string(text.size()) + " bytes; a header text holds at most " +
                                      std::to_string(kMaxTextLength) + " bytes");
    texts += char(text.size());
    texts += text;
}

std::string BuildHeader(const Settings &s, Problems &problems) {
    std::string texts;
    AppendText(texts, "--caption", s.caption, s.names, problems);
    AppendText(texts, "--dir", s.dir, s.names, problems);
    AppendText(texts, "--command", s.command, s.names, problems);
    AppendText(texts, "--message", s.message, s.names, problems, char(s.style), s.hasStyle);
    SFXHeader header;
    std::memcpy(header.signature, SFX_SIGNATURE, SFX_SIGNATURE_LENGTH);
    header.options = OptionByte(s);
    header.reserved[0] = 0;
    header.reserved[1] = 1;
    header.headerSize = uint16_t(SFX_FIXED_HEADER_SIZE + texts.size());
    return std::string(reinterpret_cast<const char *>(&header), sizeof header) + texts;
}

bool FileExists(const std::string &path) { return StatHostFile(path).isFile; }

std::string FindStub(const Settings &s) {
    if (!s.stub.empty()) {
        if (!FileExists(s.stub)) Fail(s.stub + ": stub not found");
        return s.stub;
    }
    std::string program = ProgramPath();
    size_t slash = program.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
    std::string candidates[] = {folder + kStubName, folder + "../share/tarvex/" + kStubName,
                                folder + "../win32/" + kStubName};
    for (const std::string &c : candidates)
        if (FileExists(c)) return c;
    Fail(std::string("stub ") + kStubName + " not found (looked for " + candidates[0] + ", " +
         candidates[1] + " and " + candidates[2] + "); give --stub PATH");
}

bool IsZipInput(const Settings &s) {
    if (s.inputs.size() != 1) return false;
    const std::string &p = s.inputs[0];
    if (p.size() < 4) return false;
    std::string ext = p.substr(p.size() - 4);
    for (char &c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".zip";
}

bool SameFile(const std::string &a, const std::string &b) {
    std::error_code ec;
    return std::filesystem::equivalent(HostPath(a), HostPath(b), ec);
}

// SOURCE_DATE_EPOCH as the Reproducible Builds project defines it: a decimal
// count of seconds since 1970; a malformed value is an error, not ignored.
bool SourceDateEpoch(int64_t &epoch) {
    const char *value = std::getenv("SOURCE_DATE_EPOCH");
    if (!value) return false;
    std::string text = value;
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        Fail("SOURCE_DATE_EPOCH: expected a number of seconds since 1970, got \"" + text + "\"");
    epoch = std::strtoll(value, nullptr, 10);
    return true;
}

int Run(const std::vector<std::string> &args) {
    Settings s = ParseArguments(args);
    if (s.info) return ShowInfo(s.inputs, s.names.codepage);
    Problems problems;
    std::string header = BuildHeader(s, problems);
    std::string stubPath = FindStub(s);
    std::vector<uint8_t> stub = ReadWholeFile(stubPath);
    CheckStub(stubPath, stub);
    if (!s.elevation.empty()) SetManifestLevel(stub, s.elevation);
    std::string icon = ApplyPublisherResources(stub, s.publisher, s.names.codepage);

    bool zipInput = IsZipInput(s);
    if (zipInput && (s.store || s.hasLevel || !s.passwordFile.empty() || !s.base.empty() || !s.excludes.empty()))
        Fail("--store, --level, --password-file, --base and --exclude apply to packed files; a .zip input is "
             "copied as it is");
    if (SameFile(s.output, stubPath) || (zipInput && SameFile(s.output, s.inputs[0])))
        Fail(s.output + ": the output would replace an input; give another -o");
    PackOptions o;
    o.clampTimes = SourceDateEpoch(o.epoch);
    // The stub's own time stamp is its build's; a reproducible build stamps its own.
    if (o.clampTimes) SetTimeStamp(stub, uint32_t(o.epoch));
    if (!s.passwordFile.empty()) o.password = ReadSecret("--password-file", s.passwordFile);
    if (!s.sign.passFile.empty()) s.sign.pass = ReadSecret("--sign-pass-file", s.sign.passFile);
    s.sign.showOutput = s.verbosity > 1;
    problems.Check();

    Output out(s.output);
    out.Write(stub.data(), stub.size());
    out.Write(header.data(), header.size());
    std::vector<CentralRecord> records;
    std::string comment;
    if (zipInput) {
        records = RewriteZip(out, s.inputs[0], comment, s.names, s.keepOrder);
    } else {
        o.store = s.store || s.level == 0;
        o.level = s.level == 0 ? 9 : s.level;
        o.baseDir = s.base;
        o.names = s.names;
        o.keepOrder = s.keepOrder;
        o.excludes = s.excludes;
        o.output = s.output;
        o.quiet = s.verbosity == 0;
        records = PackInputs(out, s.inputs, o);
    }
    WriteCentralDirectory(out, records, comment);
    uint64_t size = out.Position();
    out.Commit([&](const std::string &path) {
        SetPeChecksum(path);
        VerifyOutput(path, records.size());
        if (s.sign.cert.empty()) return;
        SignFile(path, s.sign);
        size = ReadWholeFile(path).size();
    });
    if (s.verbosity > 1)
        for (const CentralRecord &r : records)
            std::printf("  %s (%u -> %u bytes)\n", CodePageToUtf8(r.name, s.names.codepage).c_str(),
                        unsigned(r.uncompressedSize), unsigned(r.compressedSize));
    if (s.verbosity > 0 && !icon.empty()) std::printf("%s: icon %s\n", s.output.c_str(), icon.c_str());
    if (s.verbosity > 0)
        std::printf("%s: %s entries, %s bytes\n", s.output.c_str(), std::to_string(records.size()).c_str(),
                    std::to_string(size).c_str());
    return 0;
}

}  // namespace
}  // namespace mksfx

int main(int argc, char **argv) {
    // At most this many problems are named, then how many more there are.
    const size_t kShown = 20;
    try {
        return mksfx::Run(mksfx::CommandLine(argc, argv));
    } catch (const mksfx::Failure &f) {
        std::fflush(stdout);
        for (size_t i = 0; i < f.messages.size() && i < kShown; ++i)
            std::fprintf(stderr, "mksfx: %s\n", f.messages[i].c_str());
        if (f.messages.size() > kShown)
            std::fprintf(stderr, "mksfx: and %s more problems\n", std::to_string(f.messages.size() - kShown).c_str());
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "mksfx: %s\n", e.what());
        return 2;
    }
}
