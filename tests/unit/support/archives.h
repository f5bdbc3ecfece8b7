// Test archives: ZIP files made by real tools (Info-ZIP zip, 7z, bsdtar, Python
// zipfile) and by hand, wrapped into self-extractor files that the walker reads
// through archiveHandle, plus the temp folders and host files around them.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace archives {

// A fresh folder under /tmp, removed with everything in it when it goes.
using TempDir = testutil::TempDir;

// Host files: writing creates the missing parents.
void WriteHostFile(const std::string &path, const std::string &data);
std::string ReadHostFile(const std::string &path);
bool HostExists(const std::string &path);
bool HostIsDirectory(const std::string &path);
// Every path below `folder`, relative, "/"-separated, sorted; directories end in "/".
std::vector<std::string> HostTree(const std::string &folder);
// Runs a shell command; its exit status (output goes to /dev/null unless `quiet` is false).
int Run(const std::string &command, bool quiet = true);

// A file or directory to pack: a name ending in "/" is a directory.
struct SourceFile {
    std::string name;
    std::string data;
};
// Packs `files` (written into a scratch folder first, in this order) with a tool;
// `options` go onto the tool's command line. The ZIP's bytes; empty on failure.
std::string InfoZip(const std::vector<SourceFile> &files, const std::string &options = "");
std::string SevenZip(const std::vector<SourceFile> &files, const std::string &options = "");
std::string Bsdtar(const std::vector<SourceFile> &files, const std::string &options = "");
// Python's zipfile, writestr of each entry; compression "stored" or "deflated".
std::string PythonZip(const std::vector<SourceFile> &files, const std::string &compression);

// ---- hand-crafted ZIP bytes --------------------------------------------------------
uint32_t Crc32(const std::string &data);
// Raw DEFLATE (no zlib header) at the given level.
std::string Deflate(const std::string &data, int level = 6);
// Traditional PKWARE encryption of `stored` (the entry's data as it would be
// stored unencrypted): 12-byte header whose last byte is `checkByte`, then data.
std::string Encrypt(const std::string &stored, const std::string &password, uint8_t checkByte);

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
    uint32_t signature = 0x04034B50;
    std::string rawStored;       // when not empty: the stored bytes exactly (no deflate/encrypt)
};
// Local headers, data, descriptors, then a central directory and its end record.
std::string CraftZip(const std::vector<CraftedEntry> &entries);
// The central directory header and end record that close any bytes as a ZIP.
std::string EndRecord();

// ---- self-extractor files ------------------------------------------------------------
// HEADER_OFFSET bytes of padding, a minimal "DID" header with empty texts and
// `options`, then the ZIP. Its archiveStart is SfxArchiveStart().
std::string WrapSfx(const std::string &zip, uint8_t options = 0x22);
long SfxArchiveStart();

// The self-extractor written to a host file and opened as the program's own file:
// archiveHandle and archiveStart are set, the CRC table exists. Closes on scope end.
class OpenedSfx {
public:
    OpenedSfx(const std::string &hostPath, const std::string &zip, uint8_t options = 0x22);
    ~OpenedSfx();
    OpenedSfx(const OpenedSfx &) = delete;
    OpenedSfx &operator=(const OpenedSfx &) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// Makes the CRC table exist (allocated outside the stand-in heap so that heap
// counts in tests see only the pass's own blocks).
void EnsureCrcTable();

}  // namespace archives

#include "platform/posix/standin.h"

namespace archives {

// The user's part in a pass over the real MAINDIALOG template (run with a dialog
// procedure of the test's own): what is typed and answered, what is selected.
struct UserPlay {
    std::vector<std::string> passwords;  // typed into PASSWD, in order ("" when they run out)
    // FILEEXIST answers in order: IDOK (Yes) or IDCANCEL (No); with dontAsk[i] set,
    // "Don't ask again" is ticked first. Answers run out as No.
    std::vector<int> fileExistAnswers;
    std::vector<bool> dontAsk;
    std::vector<std::string> deselect;  // items deselected before extracting
    bool selectNone = false;
    int extractionPasses = 1;           // 0: listing only
    bool plainListing = false;          // a second listing pass into IDC_PLAIN_LIST
    std::function<void()> betweenPasses;  // runs before every extraction pass but the first
};

struct PassOutcome {
    std::vector<std::string> items;          // the list after the listing pass
    std::vector<std::string> plainItems;     // a second listing pass into IDC_PLAIN_LIST
    std::vector<bool> results;               // one per extraction pass
    bool result() const { return !results.empty() && results.back(); }
    std::vector<std::string> stillSelected;  // after the last extraction pass
    std::vector<standin::MessageBoxRecord> listingBoxes;
    std::vector<standin::MessageBoxRecord> boxes;  // during the extraction passes
    std::vector<std::string> fileExistTexts;       // what each FILEEXIST showed
    int passwordDialogs = 0;
    long liveAfterListing = -1;  // stand-in heap blocks gained by the listing passes
    long liveAfter = -1;         // ... by all passes
};

// Runs MAINDIALOG: a listing pass into IDC_FILE_LIST (and IDC_PLAIN_LIST),
// selects every item, applies `play`, runs the extraction passes. The archive
// must be open (OpenedSfx); extractDir and overwriteMode are the caller's.
PassOutcome ListAndExtract(const UserPlay &play);

}  // namespace archives
