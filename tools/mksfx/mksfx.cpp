// mksfx: the builder of self-extractors. Command line, configuration header, stub
// lookup and the assembly of stub + header + ZIP data into one file.
//
// The configuration header's layout and option bits are app/sfxformat.h's; the
// builder writes 00 01 as the reserved bytes and a headerSize of exactly the
// fixed part and the four texts.
#include "mksfx.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace mksfx {
namespace {

const char kStubName[] = "tarvex-sfx.exe";

const char kUsage[] =
    "usage: mksfx [options] -o OUT.exe INPUT...\n"
    "\n"
    "Builds a self-extractor: the stub, then the configuration header, then ZIP data.\n"
    "INPUT is either one existing .zip archive (made by any tool; it is rewritten so\n"
    "that the stub can walk it) or files and folders to pack. A folder is packed with\n"
    "everything below it; entry names are the paths as given (relative to --base),\n"
    "with \"/\" separators and folders as entries ending in \"/\".\n"
    "\n"
    "Output:\n"
    "  -o, --output FILE        the self-extractor to write (written to a temporary\n"
    "                           file first and renamed into place when complete)\n"
    "  --stub PATH              the stub executable; it must be exactly %u bytes long\n"
    "                           (its length is where the header goes). Default:\n"
    "                           tarvex-sfx.exe beside the mksfx program, else\n"
    "                           ../win32/tarvex-sfx.exe relative to the mksfx program's\n"
    "                           folder (the layout of a build tree: build/host/mksfx\n"
    "                           finds build/win32/tarvex-sfx.exe)\n"
    "  --keep-order             write the entries in input order (a .zip's own order;\n"
    "                           folders walked in name order). By default they go in\n"
    "                           the order of the stub's sorted file list (the system's\n"
    "                           case-insensitive sort, code page 1252), in which the\n"
    "                           stub finds each entry's list item fastest\n"
    "\n"
    "Header texts (at most 255 bytes each, stored as given):\n"
    "  --caption TEXT           window caption (empty: \"Tarvex Self-Extractor\")\n"
    "  --dir TEXT               default destination: a path, \"><\" for the temporary\n"
    "                           folder, or a registry reference ROOT\\key\\value|subdir\n"
    "  --command TEXT           command run after extraction (\"><\" stands for the\n"
    "                           destination folder)\n"
    "  --message TEXT           start-up message shown before the main window\n"
    "  --message-style STYLE    the message box of --message: ok, ok-cancel (code 1),\n"
    "                           yes-no (code 2) or a code number 0-6; the code is\n"
    "                           stored as the message's first byte. Cancel/No ends\n"
    "                           the program\n"
    "\n"
    "Option bits:\n"
    "  --show-run-checkbox      show the \"run\" check box (bit 0x01)\n"
    "  --select-files           let the user choose files from the list (bit 0x02)\n"
    "  --lock-overwrite         hide the overwrite-mode buttons (bit 0x04)\n"
    "  --overwrite MODE         initial overwrite mode (bits 0x18): confirm (0, the\n"
    "                           default), always (1, \"&Overwrite\"), never (2,\n"
    "                           \"&Don't overwrite\")\n"
    "  --no-size-check          skip the download completeness check (bit 0x20)\n"
    "  --auto-start             extract at once when the file is named \"!...\" or\n"
    "                           Setup.exe (bit 0x40)\n"
    "  --no-finished-message    no \"All files have been extracted.\" box (bit 0x80)\n"
    "  --raw-options N          the whole option byte (0-255, decimal or 0x..);\n"
    "                           overrides the option bits above\n"
    "\n"
    "Packing files and folders (not for a .zip input):\n"
    "  -C, --base DIR           take the INPUT paths relative to DIR; \".\" as INPUT\n"
    "                           then packs DIR's contents without a folder entry\n"
    "  --level N                deflate level 1-9 (default 9); 0 is --store\n"
    "  --store                  store without compression\n"
    "  --password PW            traditional ZIP encryption of every file\n"
    "  Incompressible files are stored. Each entry keeps its file's modification\n"
    "  time (local time, as a DOS date and time). The same inputs give the same\n"
    "  output bytes.\n"
    "\n"
    "  -h, --help               this text\n"
    "\n"
    "Refused, with a one-line message, exit code 2 and no output file: ZIP64,\n"
    "compression methods other than stored (0) and deflated (8), strong or AES\n"
    "encryption, split archives, empty names and names over 257 bytes, header texts\n"
    "over 255 bytes, a result of 2 GiB or more (2147483647 bytes at most), a stub of\n"
    "the wrong length or a missing one, unreadable inputs, bad options.\n"
    "Exit codes: 0 success, 2 any error.\n";

struct Settings {
    std::string output;
    std::string stub;
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
    std::string password;
    bool hasPassword = false;
    bool keepOrder = false;
    std::string base;
    std::vector<std::string> inputs;
};

long ParseNumber(const std::string &option, const std::string &text, long lo, long hi) {
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
        Fail(option + ": expected a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
             ", got \"" + text + "\"");
    return v;
}

Settings ParseArguments(int argc, char **argv) {
    Settings s;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            s.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (inlineValue) return value;
            if (i + 1 >= argc) Fail(name + ": a value is missing");
            return argv[++i];
        };
        auto flagOnly = [&]() {
            if (inlineValue) Fail(name + ": takes no value");
        };
        if (name == "-h" || name == "--help") {
            std::printf(kUsage, unsigned(kHeaderOffset));
            std::exit(0);
        } else if (name == "-o" || name == "--output") {
            s.output = takeValue();
        } else if (name == "--stub") {
            s.stub = takeValue();
        } else if (name == "--keep-order") {
            flagOnly();
            s.keepOrder = true;
        } else if (name == "--caption") {
            s.caption = takeValue();
        } else if (name == "--dir") {
            s.dir = takeValue();
        } else if (name == "--command") {
            s.command = takeValue();
        } else if (name == "--message") {
            s.message = takeValue();
        } else if (name == "--message-style") {
            std::string v = takeValue();
            s.hasStyle = true;
            if (v == "ok") s.style = 0;
            else if (v == "ok-cancel") s.style = 1;
            else if (v == "yes-no") s.style = 2;
            else s.style = uint8_t(ParseNumber(name, v, 0, 6));
        } else if (name == "--show-run-checkbox") {
            flagOnly();
            s.options |= OPT_SHOW_RUN_CHECKBOX;
        } else if (name == "--select-files") {
            flagOnly();
            s.options |= OPT_SELECT_FILES;
        } else if (name == "--lock-overwrite") {
            flagOnly();
            s.options |= OPT_LOCK_OVERWRITE_MODE;
        } else if (name == "--overwrite") {
            std::string v = takeValue();
            if (v == "confirm") s.overwrite = 0;
            else if (v == "always") s.overwrite = 1;
            else if (v == "never") s.overwrite = 2;
            else Fail("--overwrite: expected confirm, always or never, got \"" + v + "\"");
        } else if (name == "--no-size-check") {
            flagOnly();
            s.options |= OPT_NO_SIZE_CHECK;
        } else if (name == "--auto-start") {
            flagOnly();
            s.options |= OPT_AUTO_START;
        } else if (name == "--no-finished-message") {
            flagOnly();
            s.options |= OPT_NO_FINISHED_MESSAGE;
        } else if (name == "--raw-options") {
            s.hasRaw = true;
            s.raw = uint8_t(ParseNumber(name, takeValue(), 0, 255));
        } else if (name == "--store") {
            flagOnly();
            s.store = true;
        } else if (name == "--level") {
            s.hasLevel = true;
            s.level = int(ParseNumber(name, takeValue(), 0, 9));
        } else if (name == "--password") {
            s.password = takeValue();
            s.hasPassword = true;
        } else if (name == "-C" || name == "--base") {
            s.base = takeValue();
        } else {
            Fail(arg + ": unknown option (see mksfx --help)");
        }
    }
    if (s.output.empty()) Fail("no output file: give -o OUT.exe (see mksfx --help)");
    if (s.inputs.empty()) Fail("no input: give a .zip archive or files and folders to pack");
    if (s.hasStyle && s.message.empty()) Fail("--message-style needs a --message");
    if (s.hasPassword && s.password.empty()) Fail("--password: the password is empty");
    return s;
}

uint8_t OptionByte(const Settings &s) {
    if (s.hasRaw) return s.raw;
    return uint8_t(s.options | s.overwrite << OPT_OVERWRITE_SHIFT);
}

void AppendText(std::string &header, const char *field, const std::string &text) {
    if (text.size() > kMaxTextLength)
        Fail(std::string(field) + ": " + std::to_string(text.size()) +
             " bytes; a header text holds at most 255 bytes");
    header += char(text.size());
    header += text;
}

std::string BuildHeader(const Settings &s) {
    std::string message = s.message;
    if (s.hasStyle) message.insert(message.begin(), char(s.style));
    std::string texts;
    AppendText(texts, "--caption", s.caption);
    AppendText(texts, "--dir", s.dir);
    AppendText(texts, "--command", s.command);
    AppendText(texts, "--message", message);
    std::string h = "DID";
    h += char(OptionByte(s));
    h += '\0';
    h += '\1';
    PutU16(h, uint16_t(8 + texts.size()));
    return h + texts;
}

bool FileExists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Folder of the running program, with a trailing separator; empty if unknown.
std::string ProgramFolder(const char *argv0) {
    std::string path;
#ifdef _WIN32
    char buf[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n > 0 && n < sizeof buf) path.assign(buf, n);
#else
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) path.assign(buf, size_t(n));
#endif
    if (path.empty() && argv0) path = argv0;
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FindStub(const Settings &s, const char *argv0) {
    if (!s.stub.empty()) {
        if (!FileExists(s.stub)) Fail(s.stub + ": stub not found");
        return s.stub;
    }
    std::string folder = ProgramFolder(argv0);
    std::string candidates[] = {folder + kStubName, folder + "../win32/" + kStubName};
    for (const std::string &c : candidates)
        if (FileExists(c)) return c;
    Fail(std::string("stub ") + kStubName + " not found (looked for " + candidates[0] + " and " +
         candidates[1] + "); give --stub PATH");
}

bool IsZipInput(const Settings &s) {
    if (s.inputs.size() != 1) return false;
    const std::string &p = s.inputs[0];
    if (p.size() < 4) return false;
    std::string ext = p.substr(p.size() - 4);
    for (char &c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".zip";
}

int Run(int argc, char **argv) {
    Settings s = ParseArguments(argc, argv);
    std::string header = BuildHeader(s);
    std::string stubPath = FindStub(s, argc > 0 ? argv[0] : nullptr);
    std::vector<uint8_t> stub = ReadWholeFile(stubPath);
    if (stub.size() != kHeaderOffset)
        Fail(stubPath + ": the stub is " + std::to_string(stub.size()) + " bytes; it must be exactly " +
             std::to_string(kHeaderOffset) + " bytes, the offset at which it reads its header");

    bool zipInput = IsZipInput(s);
    if (zipInput && (s.store || s.hasLevel || s.hasPassword || !s.base.empty()))
        Fail("--store, --level, --password and --base apply to packed files; a .zip input is copied as it is");

    Output out(s.output);
    out.Write(stub.data(), stub.size());
    out.Write(header.data(), header.size());
    std::vector<CentralRecord> records;
    std::string comment;
    if (zipInput) {
        records = RewriteZip(out, s.inputs[0], comment, s.keepOrder);
    } else {
        PackOptions o;
        o.store = s.store || s.level == 0;
        o.level = s.level == 0 ? 9 : s.level;
        o.password = s.password;
        o.baseDir = s.base;
        o.keepOrder = s.keepOrder;
        records = PackInputs(out, s.inputs, o);
    }
    WriteCentralDirectory(out, records, comment);
    uint64_t size = out.Position();
    out.Commit();
    std::string summary = s.output + ": " + std::to_string(records.size()) + " entries, " +
                          std::to_string(size) + " bytes\n";
    std::fputs(summary.c_str(), stdout);
    return 0;
}

}  // namespace
}  // namespace mksfx

int main(int argc, char **argv) {
    try {
        return mksfx::Run(argc, argv);
    } catch (const mksfx::Failure &f) {
        std::fprintf(stderr, "mksfx: %s\n", f.message.c_str());
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "mksfx: %s\n", e.what());
        return 2;
    }
}
