// mksfx: builds a self-extractor = stub + configuration header + ZIP data.
//
// Shared declarations of the builder's modules:
//   mksfx.cpp    the configuration header, the stub, the run, main
//   cli.cpp      the option table: parser, --help, the names --info prints
//   host.cpp     files, programs and code pages of the system it runs on
//   output.cpp   the output file (temporary file, size limit, atomic rename)
//   verify.cpp   the stub's marks, the output's own check, the PE checksum
//   zipwrite.cpp ZIP record encoding and the traditional encryption
//   pack.cpp     files and folders packed into fresh entries
//   rewrite.cpp  an existing .zip rewritten into the form the stub walks
//   codepage.cpp entry names and header texts in the target's ANSI code page
//   names.cpp    what the stub refuses in a name; the problems of one run
//   manifest.cpp the execution level in the stub's manifest
//   peimage.cpp  the stub's resources rewritten: the publisher's icon and version
//                information (peimage.h); its time stamp
//   sign.cpp     Authenticode signing of the result (through osslsigncode)
//   info.cpp     --info: what a self-extractor holds, read as the stub reads it
//   order.cpp    the order of the stub's sorted file list
//
// The stub walks the ZIP data by its local headers only, from the first byte after
// the header to the first record that is neither a local header nor a 16-byte data
// descriptor. Everything written here serves that reader: real CRC-32 and sizes in
// every local header, entries back to back, no ZIP64, only METHOD_STORED and
// METHOD_DEFLATED. The record layouts it shares with the stub (SFXHeader,
// LocalHeader) are written and read as they lie in memory: the builder runs on
// little-endian machines only, as the stub does.
#pragma once
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/sfxformat.h"
#include "archive/zipformat.h"
#include "peimage.h"

namespace mksfx {

// Length of the shipped stub, where the configuration header begins.
constexpr uint32_t kHeaderOffset = HEADER_OFFSET;
// Positions in the stub are signed 32-bit: the whole file stays below 2 GiB.
constexpr uint64_t kMaxResult = 0x7FFFFFFFu;
// One byte below the longest name the stub reads (MAX_ENTRY_NAME): a name the
// builder writes fits, with its terminator, in MAX_ENTRY_NAME bytes, so it also
// suits a stub whose name buffer holds the NUL within that length.
constexpr size_t kMaxNameLength = MAX_ENTRY_NAME - 1;
constexpr size_t kMaxTextLength = SFX_MAX_TEXT_LENGTH;

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kDescriptorSig = 0x08074B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "records are stored little-endian");

// The records of the ZIP directory, which the stub never reads, as stored
// (after LocalHeader, archive/zipformat.h).
#pragma pack(push, 1)
// A central directory file header; its name, extra field and comment follow.
struct CentralHeader {
    uint32_t signature;
    uint16_t versionMadeBy, versionNeeded, flags, method, modTime, modDate;
    uint32_t crc32, compressedSize, uncompressedSize;
    uint16_t nameLength, extraLength, commentLength, diskStart, internalAttributes;
    uint32_t externalAttributes, localOffset;
};
// The end-of-central-directory record; its comment follows.
struct EndOfCentralDirectory {
    uint32_t signature;
    uint16_t disk, cdDisk, entriesOnDisk, entries;
    uint32_t cdSize, cdOffset;
    uint16_t commentLength;
};
#pragma pack(pop)
static_assert(sizeof(CentralHeader) == 46, "CentralHeader is read as it is stored");
static_assert(sizeof(EndOfCentralDirectory) == END_RECORD_SIZE &&
                  offsetof(EndOfCentralDirectory, commentLength) == END_RECORD_COMMENT_LENGTH,
              "EndOfCentralDirectory is read as it is stored");

// Flag bits the stub never reads; the builder refuses them (ZIP_FLAG_* are shared).
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagMaskedDirectory = 0x2000;
// General-purpose bit 11: the name (and comment) are UTF-8.
constexpr uint16_t kFlagUtf8 = 0x0800;
// Info-ZIP Unicode path extra field: version 1, CRC-32 of the stored name, UTF-8 name.
constexpr uint16_t kUnicodePathExtra = 0x7075;

// Every refusal and failure: each message is printed as one line, the exit code
// is 2 and the temporary output is removed.
struct Failure {
    std::vector<std::string> messages;
};
[[noreturn]] void Fail(const std::string &message);
// "NAME: what is wrong", the form of every refusal that concerns one entry.
[[noreturn]] void FailEntry(const std::string &name, const std::string &what);

// The problems a phase finds, all of them named at its end.
class Problems {
public:
    void Add(const std::string &message) { messages_.push_back(message); }
    void AddEntry(const std::string &name, const std::string &what) { Add(name + ": " + what); }
    bool Empty() const { return messages_.empty(); }
    // Fails with every problem when there is one.
    void Check();

private:
    std::vector<std::string> messages_;
};

// ---- host.cpp ----

constexpr int kUtf8 = 65001;
// The arguments in UTF-8; also sets up the clean-up on SIGINT, SIGTERM, SIGHUP
// and a file size limit.
std::vector<std::string> CommandLine(int argc, char **argv);
// The file a signal removes (slot 0 or 1; "" for none).
void RemoveOnSignal(int slot, const std::string &path);
std::filesystem::path HostPath(const std::string &utf8);
std::string Utf8Path(const std::filesystem::path &path);
FILE *OpenHostFile(const std::string &path, const char *mode);
// Creates a file that must not exist yet, for reading and writing; nullptr
// (errno set) when that fails.
FILE *CreateExclusive(const std::string &path);
bool RemoveHostFile(const std::string &path);
// Renames `from` over `to`, replacing it; false when that fails.
bool RenameOver(const std::string &from, const std::string &to);
bool TruncateAt(FILE *f, uint64_t length);
bool SeekHostFile(FILE *f, uint64_t position);
struct HostStat {
    bool exists = false, isDirectory = false, isFile = false;
    uint64_t size = 0;
    int64_t modified = 0;  // seconds since 1970
    std::string error;     // why it could not be read
};
// What a path names, links followed.
HostStat StatHostFile(const std::string &path);
// Seconds since 1970 as a calendar time, in UTC or in local time.
bool CalendarTime(int64_t seconds, bool utc, struct tm &out);
long ProcessId();
// The running program's full path; "" when unknown.
std::string ProgramPath();
// `in` from code page `from` to `to` (kUtf8 for UTF-8); false when a
// character has no exact place in `to` or `in` is not valid in `from`.
bool ConvertText(const std::string &in, int from, int to, std::string &out);
bool CodePageServed(int codepage);
// Runs a program found on PATH with `input` on its standard input; its output
// is discarded unless `showOutput`. Its exit code; -1 when it could not start.
int RunProgram(const std::vector<std::string> &args, const std::string &input, bool showOutput);

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
    uint64_t Position() const { return position_; }
    void Seek(uint64_t position);
    // Truncates at the current position and closes; `finish` works on the
    // closed temporary file (its path), then it is renamed over the target.
    void Commit(const std::function<void(const std::string &)> &finish);
    // Named in the size-limit refusal.
    void SetEntry(const std::string &name) { entry_ = name; }
    // Where the file is written until Commit; names beginning so are never packed.
    static std::string TemporaryPrefix(const std::string &target) { return target + ".tmp"; }

private:
    std::string target_;
    std::string temp_;
    FILE *file_ = nullptr;
    uint64_t position_ = 0;
    std::string entry_;
    bool committed_ = false;
};

// Reads a whole file; fails with "PATH: cannot read" when it can't.
std::vector<uint8_t> ReadWholeFile(const std::string &path);
// The first line of a file ("-": standard input), for a password.
std::string ReadSecret(const std::string &option, const std::string &path);

// ---- zipwrite.cpp ----

// One entry as the central directory will describe it.
struct CentralRecord {
    uint16_t versionMadeBy = 20;
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc32 = 0;
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

// The fields that local headers, central headers and CentralRecord share by
// name, from one to another (the name's and extra field's lengths excepted).
template <typename To, typename From>
void CopyEntryFields(To &to, const From &from) {
    to.versionNeeded = from.versionNeeded;
    to.flags = from.flags;
    to.method = from.method;
    to.modTime = from.modTime;
    to.modDate = from.modDate;
    to.crc32 = from.crc32;
    to.compressedSize = from.compressedSize;
    to.uncompressedSize = from.uncompressedSize;
}

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

// ---- codepage.cpp ----

struct NameOptions {
    int codepage = 1252;    // the target's ANSI code page
    int zipCodepage = 437;  // a .zip's names that are neither flagged nor UTF-8
    bool raw = false;       // --names-raw: every name and text as given
    bool unsafe = false;    // --unsafe-names: names the stub refuses are written
};
// Refuses a code page mksfx does not write or this system cannot convert to.
void CheckCodePage(int codepage);
bool IsValidUtf8(const std::string &s);
// A packed file's entry name (UTF-8, from the file system) in the target code
// page; `unicode` receives its UTF-8 form when that differs (for the Unicode
// path field), else "". Refusals go to `problems`.
std::string PackedName(const std::string &utf8, const NameOptions &o, std::string &unicode,
                       Problems &problems);
// A header text (UTF-8, from the command line) in the target code page.
std::string HeaderText(const char *option, const std::string &utf8, const NameOptions &o,
                       Problems &problems);
// An existing entry's name in the target code page: r.name, bit 11 of r.flags and
// the Unicode path field of r.extra. `utf8` receives the name's UTF-8 form and
// `unicodeField` the new Unicode path field ("" for an ASCII name), for the local
// header too; true when the name or its flag changed. Refusals name the entry
// as `label`.
bool ConvertStoredName(CentralRecord &r, const NameOptions &o, const std::string &label,
                       std::string &utf8, std::string &unicodeField, Problems &problems);
// The Unicode path field for a converted name ("" when the name is its UTF-8 form).
std::string UnicodePathField(const std::string &name, const std::string &utf8);
// Removes every block `id` from an extra field.
std::string DropExtraField(const std::string &extra, uint16_t id);
// Text of `codepage` as UTF-8, for display; the bytes as they are when that fails.
std::string CodePageToUtf8(const std::string &bytes, int codepage);

// ---- names.cpp ----

// Why the stub would refuse to create `name` (in the target code page), or "".
std::string StubNameProblem(const std::string &name);
// Names every entry name the stub would refuse, or could not tell from
// another; `labels` are the names as the user knows them (UTF-8).
void CheckEntryNames(const std::vector<std::string> &names, const std::vector<std::string> &labels,
                     const NameOptions &o, Problems &problems);
// zip -x style: `*` and `?` match any characters, "/" too; [...] one of a set.
bool GlobMatch(const char *pattern, const char *name);

// ---- manifest.cpp ----

// Where the stub's manifest holds its execution level: a slot of fixed width,
// level="asInvoker" padded with spaces to the width of level="requireAdministrator",
// then a space. npos when the bytes hold no such slot.
size_t FindLevelSlot(const uint8_t *data, size_t size);
// The level in the slot ("asInvoker", ...); "" when there is no slot.
std::string ManifestLevel(const uint8_t *data, size_t size);
// Rewrites the slot in place with a level of --elevation (invoker, highest, admin).
void SetManifestLevel(std::vector<uint8_t> &stub, const std::string &elevation);

// ---- sign.cpp ----

struct SignOptions {
    std::string cert, key, passFile, timestamp;
    std::string pass;  // read from passFile
    bool showOutput = false;
};
// Signs the file in place with osslsigncode; fails when that does not succeed.
void SignFile(const std::string &path, const SignOptions &o);

// ---- info.cpp ----

// The certificate table that the PE header's security entry declares.
struct Certificates {
    uint32_t offset = 0, size = 0;  // size 0: none declared
    std::string problem;            // "" when it is the table the stub accepts
};
// The PE header's file offset (e_lfanew); 0 when the file is too short for one.
uint32_t PeHeaderOffset(const std::vector<uint8_t> &file);
Certificates CertificatesOf(const std::vector<uint8_t> &file);
// The stub's completeness check on a whole file, the certificate table of a signed
// file included: "" when complete, otherwise why not.
std::string CompletenessProblem(const std::vector<uint8_t> &file);
// Prints what each self-extractor holds; 0 when every one is complete, else 2.
int ShowInfo(const std::vector<std::string> &paths, int codepage);

// ---- verify.cpp ----

// Refuses a stub that is not a Tarvex stub of this build's length.
void CheckStub(const std::string &path, const std::vector<uint8_t> &stub);
// Walks a finished self-extractor as the stub walks it and compares every entry
// with its central directory; a difference fails the build as a bug.
void VerifyOutput(const std::string &path, size_t entries);
// Writes the PE checksum of the whole file into its optional header.
void SetPeChecksum(const std::string &path);

// ---- pack.cpp ----

struct PackOptions {
    bool store = false;
    int level = 9;
    std::string password;   // empty: no encryption
    std::string baseDir;    // inputs are taken relative to it ("" = current dir)
    NameOptions names;
    bool keepOrder = false; // entries in input order, not in the list's
    std::vector<std::string> excludes;
    std::string output;     // never packed, nor its temporary files
    bool clampTimes = false;  // SOURCE_DATE_EPOCH: times clamped to it, in UTC
    int64_t epoch = 0;
    bool verbose = false, quiet = false;
};
// Packs files and folders into entries after the current position of `out`.
std::vector<CentralRecord> PackInputs(Output &out, const std::vector<std::string> &inputs,
                                      const PackOptions &options);

// ---- rewrite.cpp ----

// Copies the entries of an existing ZIP archive after the current position of
// `out` and returns them with their new offsets; `comment` receives the archive
// comment.
std::vector<CentralRecord> RewriteZip(Output &out, const std::string &zipPath,
                                      std::string &comment, const NameOptions &names, bool keepOrder);

// ---- cli.cpp ----

struct Settings {
    std::string output, stub;
    std::string caption, dir, command, message;
    bool hasStyle = false;
    uint8_t style = 0;
    uint8_t options = 0;
    int overwrite = 0;
    bool hasRaw = false;
    uint8_t raw = 0;
    bool store = false;
    bool hasLevel = false;
    int level = 9;
    std::string passwordFile;
    bool keepOrder = false;
    std::string base;
    std::vector<std::string> inputs, excludes;
    std::string elevation;  // "" keeps the stub's level
    PublisherResources publisher;
    NameOptions names;
    SignOptions sign;
    bool info = false;
    int verbosity = 1;  // 0 -q, 2 -v
};
// One row of the option table; a row without a name heads a --help section.
struct OptionSpec {
    int id;             // a short option's letter, else an id above 255
    const char *name;   // the long name without "--"
    const char *value;  // the value's name in --help; nullptr for a flag
    uint8_t bit;        // the header option bits it sets
    const char *help;   // lines separated by "\n"
};
extern const OptionSpec kOptionTable[];
extern const size_t kOptionCount;
struct NamedValue {
    const char *name;
    int value;
};
extern const NamedValue kOverwriteModes[3], kMessageStyles[3];
// Parses the command line (args[0] the program); prints --help or --version
// and exits.
Settings ParseArguments(const std::vector<std::string> &args);

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
