// Test archives: ZIP files made by real tools (Info-ZIP zip, 7z, bsdtar, Python
// zipfile), wrapped into self-extractor files that the walker reads through
// archiveHandle, and passes of the extraction code through the real dialog
// template. Hand-made archives come from zipkit, host files from testutil.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/testutil.h"
#include "support/zipkit.h"

namespace archives {

// The names by which the dialog and folder-browser tests know the helpers.
using testutil::HostIsDirectory;
using testutil::HostTree;
using testutil::TempDir;
using zipkit::CraftedEntry;
using zipkit::CraftZip;
inline int Run(const std::string &command) { return testutil::RunCommand(command); }

// A file or directory to pack: a name ending in "/" is a directory.
struct SourceFile {
    std::string name;
    std::string data;
};
// Packs `files` (written into a scratch folder first, in this order, every one
// dated 4 June 2001 10:35:28 UTC) with a tool; `options` go onto the tool's
// command line. The ZIP's bytes; empty on failure.
std::string InfoZip(const std::vector<SourceFile> &files, const std::string &options = "");
std::string SevenZip(const std::vector<SourceFile> &files, const std::string &options = "");
std::string Bsdtar(const std::vector<SourceFile> &files, const std::string &options = "");
// Python's zipfile, writestr of each entry; compression "stored" or "deflated".
std::string PythonZip(const std::vector<SourceFile> &files, const std::string &compression);

// ---- self-extractor files ------------------------------------------------------------
// The stub area, a minimal header with empty texts and `options`, then the ZIP.
// Its archiveStart is SfxArchiveStart().
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

}  // namespace archives

#include "platform/posix/standin.h"

namespace archives {

// The user's part in a pass over the real MAINDIALOG template (run with a dialog
// procedure of the test's own): what is typed and answered, what is selected.
struct UserPlay {
    std::vector<std::string> passwords;  // typed into PASSWD, in order
    std::string laterPasswords;          // typed once `passwords` have run out
    // FILEEXIST answers in order: IDOK (Yes) or IDCANCEL (No); with dontAsk[i] set,
    // "Don't ask again" is ticked first. Then `laterAnswers` (No by default).
    std::vector<int> fileExistAnswers;
    std::vector<bool> dontAsk;
    int laterAnswers = IDCANCEL;
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
