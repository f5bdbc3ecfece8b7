// Test archives (see archives.h).
#include "support/archives.h"
#include "app/sfxformat.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/SFXgbls.h"
#include "codec/crc32.h"
#include "platform/posix/standin.h"

namespace fs = std::filesystem;

namespace archives {

// ---- folders and files ---------------------------------------------------------------


void WriteHostFile(const std::string &path, const std::string &data) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), (std::streamsize)data.size());
}

std::string ReadHostFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
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

int Run(const std::string &command, bool quiet) {
    std::string line = quiet ? "( " + command + " ) >/dev/null 2>&1" : command;
    int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
            WriteHostFile(src + "/" + f.name, f.data);
        names += " " + Quote(f.name);
    }
    // A fixed time for every source, so that tests can expect it.
    Run("export TZ=UTC; cd " + Quote(src) + " && find . -exec touch -t 200106041035.28 {} +");
    std::string out = scratch / "out.zip";
    std::string line = command;
    for (size_t at; (at = line.find("NAMES")) != std::string::npos;) line.replace(at, 5, names);
    for (size_t at; (at = line.find("OUT")) != std::string::npos;) line.replace(at, 3, Quote(out));
    if (Run("export TZ=UTC; cd " + Quote(src) + " && " + line) != 0) return "";
    return ReadHostFile(out);
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
    WriteHostFile(scratch / "make.py", script);
    std::string out = scratch / "out.zip";
    if (Run("python3 " + Quote(scratch / "make.py") + " " + Quote(out)) != 0) return "";
    return ReadHostFile(out);
}

// ---- hand-crafted ZIP bytes ------------------------------------------------------------

uint32_t Crc32(const std::string &data) {
    return (uint32_t)crc32(0, (const Bytef *)data.data(), (uInt)data.size());
}

std::string Deflate(const std::string &data, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, (uLong)data.size()) + 16, '\0');
    z.next_in = (Bytef *)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef *)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

namespace {
struct Keys {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    static uint32_t Step(uint32_t crc, uint8_t c) {
        crc ^= c;
        for (int i = 0; i < 8; i++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        return crc;
    }
    void Update(uint8_t c) {
        k0 = Step(k0, c);
        k1 = (k1 + (k0 & 0xFF)) * 0x08088405u + 1;
        k2 = Step(k2, (uint8_t)(k1 >> 24));
    }
    uint8_t Stream() const {
        uint16_t t = (uint16_t)((k2 & 0xFFFF) | 2);
        return (uint8_t)(((uint32_t)t * (t ^ 1)) >> 8);
    }
};
}  // namespace

std::string Encrypt(const std::string &stored, const std::string &password, uint8_t checkByte) {
    Keys keys;
    for (unsigned char c : password) keys.Update(c);
    std::string plain;
    for (int i = 0; i < 11; i++) plain += (char)(0x31 * i + 7);
    plain += (char)checkByte;
    plain += stored;
    std::string out;
    for (unsigned char p : plain) {
        out += (char)(p ^ keys.Stream());
        keys.Update(p);
    }
    return out;
}

static void Put16(std::string &out, uint32_t v) {
    out += (char)(v & 0xFF);
    out += (char)((v >> 8) & 0xFF);
}
static void Put32(std::string &out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::string EndRecord() {
    std::string out;
    Put32(out, 0x06054B50);
    out.append(16, '\0');
    Put16(out, 0);
    return out;
}

std::string CraftZip(const std::vector<CraftedEntry> &entries) {
    std::string out, central;
    int count = 0;
    for (const CraftedEntry &e : entries) {
        uint32_t crc = e.setCrc ? e.crc : Crc32(e.data);
        uint16_t flags = e.flags;
        std::string stored = e.rawStored;
        if (stored.empty()) {
            stored = e.method == 8 ? Deflate(e.data) : e.data;
            if (!e.password.empty()) {
                flags |= 1;
                uint8_t check = (flags & 8) ? (uint8_t)(e.modTime >> 8) : (uint8_t)(crc >> 24);
                stored = Encrypt(stored, e.password, check);
            }
        }
        uint32_t compressed = e.setCompressedSize ? e.compressedSize : (uint32_t)stored.size();
        uint16_t nameLength = e.setNameLength ? e.nameLength : (uint16_t)e.name.size();
        uint32_t offset = (uint32_t)out.size();
        Put32(out, e.signature);
        Put16(out, 20);
        Put16(out, flags);
        Put16(out, e.method);
        Put16(out, e.modTime);
        Put16(out, e.modDate);
        Put32(out, crc);
        Put32(out, compressed);
        Put32(out, (uint32_t)e.data.size());
        Put16(out, nameLength);
        Put16(out, (uint32_t)e.extra.size());
        out += e.name;
        out += e.extra;
        out += stored;
        for (int i = 0; i < e.descriptors; i++) {
            Put32(out, 0x08074B50);
            Put32(out, crc);
            Put32(out, (uint32_t)stored.size());
            Put32(out, (uint32_t)e.data.size());
        }
        Put32(central, 0x02014B50);
        Put16(central, 20);
        Put16(central, 20);
        Put16(central, flags);
        Put16(central, e.method);
        Put16(central, e.modTime);
        Put16(central, e.modDate);
        Put32(central, crc);
        Put32(central, (uint32_t)stored.size());
        Put32(central, (uint32_t)e.data.size());
        Put16(central, (uint32_t)e.name.size());
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0);
        Put32(central, offset);
        central += e.name;
        count++;
    }
    uint32_t centralOffset = (uint32_t)out.size();
    out += central;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, (uint32_t)count);
    Put16(out, (uint32_t)count);
    Put32(out, (uint32_t)central.size());
    Put32(out, centralOffset);
    Put16(out, 0);
    return out;
}

// ---- self-extractor files ------------------------------------------------------------

static const int MINIMAL_HEADER_SIZE = 12;

std::string WrapSfx(const std::string &zip, uint8_t options) {
    std::string out(HEADER_OFFSET, '\0');
    out += "DID";
    out += (char)options;
    out += '\0';
    out += '\1';
    Put16(out, MINIMAL_HEADER_SIZE);
    out.append(4, '\0');  // caption, directory, command, message: all empty
    return out + zip;
}

long SfxArchiveStart() { return HEADER_OFFSET + MINIMAL_HEADER_SIZE; }

void EnsureCrcTable() {
    static DWORD table[257];
    crcTable = table;
    MakeCrcTable();
}

OpenedSfx::OpenedSfx(const std::string &hostPath, const std::string &zip, uint8_t options) {
    WriteHostFile(hostPath, WrapSfx(zip, options));
    EnsureCrcTable();
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
            std::string typed = passwordAt < play.passwords.size() ? play.passwords[passwordAt++] : "";
            SetDlgItemTextA(dialog, IDC_PASSWORD, typed.c_str());
            SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        } else if (name == "FileExist") {
            outcome.fileExistTexts.push_back(standin::WindowText(GetDlgItem(dialog, IDC_EXIST_TEXT)));
            size_t i = answerAt++;
            int answer = i < play.fileExistAnswers.size() ? play.fileExistAnswers[i] : IDCANCEL;
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
