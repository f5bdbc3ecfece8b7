// Test archives (see archives.h).
#include "support/archives.h"

#include <filesystem>

#include "app/SFXgbls.h"
#include "platform/posix/standin.h"

namespace fs = std::filesystem;

namespace archives {

static std::string Quote(const std::string &text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Writes the sources into `folder/src` and packs them with `command`, in which
// NAMES stands for the quoted names and OUT for the archive path.
static std::string PackWith(const std::vector<SourceFile> &files, const std::string &command) {
    TempDir scratch("sfx-pack");
    std::string src = scratch / "src";
    fs::create_directories(src);
    std::string names;
    for (const SourceFile &f : files) {
        if (!f.name.empty() && f.name.back() == '/')
            fs::create_directories(src + "/" + f.name);
        else
            testutil::WriteHostFile(src + "/" + f.name, f.data);
        names += " " + Quote(f.name);
    }
    // A fixed time for every source, so that tests can expect it.
    testutil::RunCommand("export TZ=UTC; cd " + Quote(src) +
                         " && find . -exec touch -t 200106041035.28 {} +");
    std::string out = scratch / "out.zip";
    std::string line = command;
    for (size_t at; (at = line.find("NAMES")) != std::string::npos;) line.replace(at, 5, names);
    for (size_t at; (at = line.find("OUT")) != std::string::npos;) line.replace(at, 3, Quote(out));
    if (testutil::RunCommand("export TZ=UTC; cd " + Quote(src) + " && " + line) != 0) return "";
    return testutil::ReadHostFile(out);
}

std::string InfoZip(const std::vector<SourceFile> &files, const std::string &options) {
    return PackWith(files, "zip -q " + options + " OUT NAMES");
}

std::string SevenZip(const std::vector<SourceFile> &files, const std::string &options) {
    return PackWith(files, "7z a -tzip " + options + " OUT NAMES");
}

std::string Bsdtar(const std::vector<SourceFile> &files, const std::string &options) {
    return PackWith(files, "bsdtar -n --format zip " + options + " -cf OUT NAMES");
}

std::string PythonZip(const std::vector<SourceFile> &files, const std::string &compression) {
    TempDir scratch("sfx-py");
    std::string script = "import zipfile, sys\n"
                         "entries = [\n";
    for (const SourceFile &f : files) {
        script += "  (bytes([";
        for (unsigned char c : f.name) script += std::to_string(c) + ",";
        script += "]), bytes([";
        for (unsigned char c : f.data) script += std::to_string(c) + ",";
        script += "])),\n";
    }
    script += "]\n"
              "method = zipfile.ZIP_" +
              std::string(compression == "deflated" ? "DEFLATED" : "STORED") +
              "\n"
              "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
              "  for name, data in entries:\n"
              "    info = zipfile.ZipInfo(name.decode('latin-1'), (2001, 6, 4, 10, 35, 28))\n"
              "    info.compress_type = method\n"
              "    z.writestr(info, data)\n";
    testutil::WriteHostFile(scratch / "make.py", script);
    std::string out = scratch / "out.zip";
    if (testutil::RunCommand("python3 " + Quote(scratch / "make.py") + " " + Quote(out)) != 0)
        return "";
    return testutil::ReadHostFile(out);
}

// ---- self-extractor files ------------------------------------------------------------

std::string WrapSfx(const std::string &zip, uint8_t options) {
    return zipkit::SfxFile(zipkit::SfxHeader(options), zip);
}

long SfxArchiveStart() { return (long)zipkit::SfxArchiveStart(WrapSfx("")); }

OpenedSfx::OpenedSfx(const std::string &hostPath, const std::string &zip, uint8_t options) {
    testutil::WriteHostFile(hostPath, WrapSfx(zip, options));
    testutil::InitCrcTable();
    std::string windowsPath = standin::WindowsPath(hostPath);
    archiveHandle = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, 0);
    ok_ = archiveHandle != INVALID_HANDLE_VALUE;
    archiveStart = (LONG)SfxArchiveStart();
}

OpenedSfx::~OpenedSfx() {
    if (ok_) CloseHandle(archiveHandle);
    archiveHandle = 0;
}

}  // namespace archives

// ---- passes through the real dialog template ----------------------------------------

#include "archive/extract.h"
#include "resources/resource.h"
#include "ui/Dialog.h"

namespace archives {

static INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

static std::vector<std::string> Selected(HWND list) {
    std::vector<std::string> items = standin::ListItems(list), out;
    std::vector<bool> selection = standin::ListSelection(list);
    for (size_t i = 0; i < items.size() && i < selection.size(); i++)
        if (selection[i]) out.push_back(items[i]);
    return out;
}

PassOutcome ListAndExtract(const UserPlay &play) {
    PassOutcome outcome;
    long liveBefore = standin::LiveAllocations();
    size_t passwordAt = 0, answerAt = 0;
    standin::SetDialogScript([&](const std::string &name, HWND dialog) {
        if (name == "PASSWD") {
            outcome.passwordDialogs++;
            std::string typed =
                passwordAt < play.passwords.size() ? play.passwords[passwordAt++] : play.laterPasswords;
            SetDlgItemTextA(dialog, IDC_PASSWORD, typed.c_str());
            SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        } else if (name == "FileExist") {
            outcome.fileExistTexts.push_back(standin::WindowText(GetDlgItem(dialog, IDC_EXIST_TEXT)));
            size_t i = answerAt++;
            int answer = i < play.fileExistAnswers.size() ? play.fileExistAnswers[i] : play.laterAnswers;
            if (i < play.dontAsk.size() && play.dontAsk[i])
                SendMessageA(GetDlgItem(dialog, IDC_DONT_ASK), BM_SETCHECK, BST_CHECKED, 0);
            SendMessageA(dialog, WM_COMMAND, (WPARAM)answer, 0);
        } else if (name == "MainDialog") {
            HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
            ExtractEntries(dialog, IDC_FILE_LIST, true);
            if (play.plainListing) ExtractEntries(dialog, IDC_PLAIN_LIST, true);
            outcome.items = standin::ListItems(list);
            outcome.plainItems = standin::ListItems(GetDlgItem(dialog, IDC_PLAIN_LIST));
            outcome.listingBoxes = standin::MessageBoxes();
            outcome.liveAfterListing = standin::LiveAllocations() - liveBefore;
            SendMessageA(list, LB_SETSEL, play.selectNone ? FALSE : TRUE, -1);
            for (const std::string &item : play.deselect) {
                for (size_t i = 0; i < outcome.items.size(); i++)
                    if (outcome.items[i] == item) standin::SetListSelection(list, (int)i, false);
            }
            for (int pass = 0; pass < play.extractionPasses; pass++) {
                if (pass > 0 && play.betweenPasses) play.betweenPasses();
                outcome.results.push_back(ExtractEntries(dialog, IDC_FILE_LIST, false));
            }
            outcome.liveAfter = standin::LiveAllocations() - liveBefore;
            outcome.stillSelected = Selected(list);
            const auto &all = standin::MessageBoxes();
            outcome.boxes.assign(all.begin() + (long)outcome.listingBoxes.size(), all.end());
            EndDialog(dialog, IDOK);
        }
    });
    DialogBoxParamA(0, "MainDialog", 0, QuietDialogProc, 0);
    standin::SetDialogScript(nullptr);
    return outcome;
}

}  // namespace archives
