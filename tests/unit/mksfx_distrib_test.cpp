// mksfx for distribution: the execution level in the stub's manifest
// (--elevation), entry names in the target's code page (--codepage,
// --names-raw), signing (--sign-cert) and --info. Runs the host mksfx; the
// manifest rows need the win32 build's stub beside the host build.
#include <gtest/gtest.h>

#ifdef MKSFX_PATH
#include <string>
#include <vector>

#include "app/sfxformat.h"
#include "support/mksfx_fixture.h"
#include "support/zipkit.h"

namespace {

using testutil::ReadHostFile;

const std::string kRealStub = SFX_BINARY_DIR "/../win32/tarvex-sfx.exe";

using Outcome = mksfxtest::Result;

class MksfxDistrib : public mksfxtest::MksfxFixture {
protected:
    Outcome Mksfx(const std::string &args, const std::string &stub = "stub.bin") { return Run(args, stub); }
    // The names of the local headers, walked from the header's end as the stub
    // walks them, with general-purpose bit 11 of each.
    std::vector<std::pair<std::string, bool>> Walk(const std::string &file) {
        std::string f = Slurp(file);
        std::vector<std::pair<std::string, bool>> names;
        if (f.size() < HEADER_OFFSET + 8) return names;
        for (const zipkit::LocalEntry &e : zipkit::LocalEntries(f, zipkit::SfxArchiveStart(f)))
            names.push_back({e.name, (e.flags & 0x800) != 0});
        return names;
    }
};

// ---- the execution level ---------------------------------------------------------------

TEST_F(MksfxDistrib, ElevationRewritesTheManifestSlotInPlace) {
    std::string stub = ReadHostFile(kRealStub);
    if (stub.size() != HEADER_OFFSET) GTEST_SKIP() << "no win32 stub at " << kRealStub;
    ASSERT_EQ(Sh("echo x > a.txt"), 0);
    struct { const char *args, *level; } cases[] = {
        {"", "asInvoker"},  // the built stub's own level
        {"--elevation invoker", "asInvoker"},
        {"--elevation highest", "highestAvailable"},
        {"--elevation admin", "requireAdministrator"},
    };
    size_t slot = stub.find("level=\"asInvoker\"");
    ASSERT_NE(slot, std::string::npos);
    for (auto &c : cases) {
        SCOPED_TRACE(c.args);
        ASSERT_EQ(Mksfx(std::string(c.args) + " -o out.exe a.txt", kRealStub).status, 0);
        std::string f = Slurp("out.exe");
        // Only the 28 bytes of the slot and the PE checksum may differ; the
        // header stays at HEADER_OFFSET.
        size_t checksum = mksfxtest::PeChecksumAt(stub);
        f.replace(checksum, 4, stub, checksum, 4);
        EXPECT_EQ(f.substr(0, slot), stub.substr(0, slot));
        EXPECT_EQ(f.substr(slot + 28, HEADER_OFFSET - slot - 28), stub.substr(slot + 28, HEADER_OFFSET - slot - 28));
        EXPECT_EQ(f.substr(HEADER_OFFSET, 3), SFX_SIGNATURE);
        size_t begin = f.find("<assembly"), end = f.find("</assembly>");
        ASSERT_TRUE(begin < end && end < HEADER_OFFSET);
        std::string manifest = f.substr(begin, end + 11 - begin);
        EXPECT_NE(manifest.find(std::string("level=\"") + c.level + "\" "), std::string::npos) << manifest;
        Write("m.xml", manifest);
        EXPECT_EQ(Sh("python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' m.xml"), 0)
            << manifest;
        EXPECT_NE(Mksfx("--info out.exe").out.find(std::string("manifest execution level ") + c.level),
                  std::string::npos);
    }
}

// ---- names in the target's code page ---------------------------------------------------

// A Python zipfile command for in.zip with one entry named `name` (a Python bytes
// expression), with flag bit 11 when `utf8Flag`, and an Info-ZIP Unicode path
// field for `unicode` whose CRC is taken of `crcOf` (default: the name).
std::string CraftZipCommand(const std::string &name, bool utf8Flag, const std::string &unicode = "b''",
                            const std::string &crcOf = "name") {
    return "python3 -c \"import struct, zipfile, zlib\n"
           "name, u = " + name + ", " + unicode + "\n"
           "i = zipfile.ZipInfo('N' * len(name))\n"
           "if u: i.extra = struct.pack('<HHBI', 0x7075, 5 + len(u), 1, zlib.crc32(" + crcOf + ")) + u\n"
           "z = zipfile.ZipFile('in.zip', 'w'); z.writestr(i, b'data'); z.close()\n"
           "b = bytearray(open('in.zip', 'rb').read().replace(b'N' * len(name), name))\n"
           "for sig, at in ((b'PK\\3\\4', 6), (b'PK\\1\\2', 8)):\n"
           " k = b.find(sig) + at; b[k + 1] |= " + (utf8Flag ? "8" : "0") + "\n"
           "open('in.zip', 'wb').write(b)\"";
}

TEST_F(MksfxDistrib, NamesInTheTargetCodePage) {
    struct {
        const char *what;
        std::string setup, args, stored, unzipName;
    } cases[] = {
        {"packed, default 1252", "mkdir -p d/Übersicht && : > d/café.txt && : > d/Übersicht/Größe.txt", "-C d .",
         "caf\xE9.txt|\xDC" "bersicht/|\xDC" "bersicht/Gr\xF6\xDF" "e.txt", "café.txt"},
        {"packed, 1251", "mkdir d && : > d/Привет.txt", "--codepage 1251 -C d .", "\xCF\xF0\xE8\xE2\xE5\xF2.txt",
         "Привет.txt"},
        {"packed, 932", "mkdir d && : > d/日本.txt", "--codepage 932 -C d .", "\x93\xFA\x96\x7B.txt", "日本.txt"},
        {"packed, 1250", "mkdir d && : > d/Łódź.txt", "--codepage=1250 -C d .", "\xA3\xF3" "d\x9F.txt", "Łódź.txt"},
        {"packed, --names-raw", "mkdir d && : > d/café.txt", "--names-raw -C d .", "café.txt", ""},
        {"Python zipfile (bit 11)", CraftZipCommand("'café.txt'.encode()", true), "in.zip", "caf\xE9.txt",
         "café.txt"},
        {"Info-ZIP zip (UTF-8 without bit 11)", "mkdir d && : > d/café.txt && cd d && zip -q ../in.zip café.txt",
         "in.zip", "caf\xE9.txt", "café.txt"},
        {"7z (bit 11)", "mkdir d && : > d/Größe.txt && cd d && 7z a -bd -tzip ../in.zip Größe.txt >/dev/null",
         "in.zip", "Gr\xF6\xDF" "e.txt", "Größe.txt"},
        {"Unicode path field over a CP437 name", CraftZipCommand("b'caf\\x82.txt'", false, "'café.txt'.encode()"),
         "in.zip", "caf\xE9.txt", "café.txt"},
        {"stale Unicode path field: kept", CraftZipCommand("b'cafe.txt'", false, "'café.txt'.encode()", "b'x'"),
         "in.zip", "cafe.txt", "cafe.txt"},
        {"code page 437 without marks", CraftZipCommand("b'\\x91o\\x86.txt'", false), "in.zip", "\xE6o\xE5.txt",
         "æoå.txt"},
        {"--names-cp 850", CraftZipCommand("b'\\x91o\\x86.txt'", false), "--names-cp 850 in.zip",
         "\xE6o\xE5.txt", "æoå.txt"},
        {"zip -P (descriptors), accented", "mkdir d && : > d/café.txt && cd d && zip -q -P pw ../in.zip café.txt",
         "in.zip", "caf\xE9.txt", "café.txt"},
        {"zip, --names-raw keeps bit 11", CraftZipCommand("'café.txt'.encode()", true), "--names-raw in.zip",
         "café.txt", "café.txt"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Sh("rm -rf d in.zip out.exe && (" + c.setup + ")"), 0);
        Outcome r = Mksfx(c.args + " -o out.exe");
        ASSERT_EQ(r.status, 0) << r.err;
        std::string stored;
        bool anyFlag = false;
        for (auto &[name, flag] : Walk("out.exe")) stored += (stored.empty() ? "" : "|") + name, anyFlag |= flag;
        EXPECT_EQ(stored, c.stored);
        EXPECT_EQ(anyFlag, c.args.find("--names-raw in.zip") != std::string::npos);
        // Other ZIP readers see the Unicode name, and the headers agree.
        EXPECT_EQ(Sh("unzip -tq -P pw out.exe"), 0);
        if (!c.unzipName.empty())
            EXPECT_EQ(Sh("unzip -Z1 out.exe | grep -qxF '" + c.unzipName + "'"), 0);
    }
}

TEST_F(MksfxDistrib, Refusals) {
    struct {
        const char *what;
        std::string setup, args, expect;
    } cases[] = {
        {"outside the code page", "mkdir d && : > d/Привет.txt", "-C d .",
         "Привет.txt: code page 1252 has no character for U+041F \"П\""},
        {"bit 11 on a name that is not UTF-8", CraftZipCommand("b'caf\\xe9.txt'", true), "in.zip",
         "caf\xE9.txt: the name is flagged UTF-8 (bit 11) but is not valid UTF-8"},
        {"a trail byte 5C in code page 932", "mkdir d && : > d/表.txt", "--codepage 932 -C d .",
         "表.txt: in code page 932 a character of this name ends in the byte 5C"},
        {"code page 437", "mkdir d && : > d/a", "--codepage 437 -C d .", "--codepage: 437 is not"},
        {"unknown level", "mkdir d && : > d/a", "--elevation root -C d .", "--elevation: expected invoker"},
        {"a stub of zeros", "mkdir d && : > d/a && head -c " + std::to_string(HEADER_OFFSET) + " /dev/zero > z.bin",
         "--stub z.bin -C d .", "z.bin: not a Windows program (no PE header)"},
        {"key without certificate", "mkdir d && : > d/a", "--sign-key k.pem -C d .", "need a --sign-cert"},
        {"a key with a password, none given",
         "mkdir d && : > d/a && openssl req -x509 -newkey rsa:2048 -keyout k.pem -passout pass:s3 -out c.pem -days 2 "
         "-subj /CN=t", "--sign-cert c.pem --sign-key k.pem -C d .", "a key with a password needs --sign-pass-file"},
        {"signing fails", "mkdir d && : > d/a", "--sign-cert none.pem --sign-key none.pem -C d .",
         "signing failed"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Sh("rm -rf d in.zip out.exe && (" + c.setup + ")"), 0);
        Outcome r = Mksfx(c.args + " -o out.exe");
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << r.err;
        EXPECT_EQ(r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1).rfind("mksfx: ", 0), 0u) << r.err;
        EXPECT_EQ(Sh("ls | grep -q -e out.exe -e tmp"), 1);
    }
}

// ---- signing and --info ----------------------------------------------------------------

TEST_F(MksfxDistrib, InfoOfSignedCutAndForeignFiles) {
    // Signing needs a real PE file.
    if (ReadHostFile(kRealStub).size() != HEADER_OFFSET) GTEST_SKIP() << "no win32 stub at " << kRealStub;
    ASSERT_EQ(Sh("mkdir d && printf hi > d/café.txt && openssl req -x509 -newkey rsa:2048 -passout pass:s3cret"
                 " -keyout k.pem -out c.pem -days 2 -subj /CN=test && echo s3cret > pass"),
              0);
    ASSERT_EQ(Mksfx("--caption Cap --dir '><' --select-files --overwrite never --message Hi --message-style "
                    "yes-no --sign-cert c.pem --sign-key k.pem --sign-pass-file pass -o s.exe -C d .",
                    kRealStub)
                  .status,
              0);
    // osslsigncode checks the hash (the throwaway certificate is its own CA).
    EXPECT_EQ(Sh("osslsigncode verify -CAfile c.pem s.exe"), 0);
    ASSERT_EQ(Sh("cp s.exe appended.exe && printf x >> appended.exe && head -c 22600 s.exe > cut.exe &&"
                 " head -c 30000 /dev/urandom > foreign.exe"),
              0);
    // A signed file whose security entry was grown over junk appended to it.
    ASSERT_EQ(Sh("cp s.exe grown.exe && printf 'junkjunk' >> grown.exe && python3 -c \"import struct;"
                 "b=bytearray(open('grown.exe','rb').read());e=struct.unpack('<I',b[60:64])[0]+0x9C;"
                 "b[e:e+4]=struct.pack('<I',struct.unpack('<I',b[e:e+4])[0]+8);open('grown.exe','wb').write(b)\""),
              0);
    // The PE checksum of an unsigned output is the whole file's (an even size:
    // osslsigncode counts an odd last byte otherwise than the PE format does).
    for (const char *caption : {"", "x"})
        if (Mksfx(std::string("--caption '") + caption + "' -o u.exe -C d .", kRealStub).status == 0 &&
            Slurp("u.exe").size() % 2 == 0)
            break;
    EXPECT_EQ(Sh("osslsigncode verify u.exe 2>&1 | grep -q 'invalid PE checksum'"), 1);
    struct {
        const char *file;
        int status;
        std::vector<std::string> lines;
    } cases[] = {
        {"s.exe", 0,
         {"signed               yes: certificate table of ", "caption              \"Cap\"",
          "destination          \"><\"", "message              \"Hi\", style yes-no (code 2)",
          "options              0x12", "  select-files         yes", "  overwrite            never",
          "  auto-start           no ", "complete             yes", "entries              1,",
          "           2  stored               2  no         \"café.txt\""}},
        {"appended.exe", 2, {"signed               DAMAGED", "complete             NO: ", "Incorrect file size"}},
        {"grown.exe", 2, {"DAMAGED: the PE header declares a certificate table of", "whose length field differs"}},
        {"s.exe cut.exe", 2, {"file                 s.exe", "\nfile                 cut.exe"}},
        {"cut.exe", 2, {"complete             NO: the PE header declares a certificate table that does not end"}},
        {"foreign.exe", 2,
         {"foreign.exe: not a self-extractor: no configuration header (\"DID\") at byte " +
          std::to_string(HEADER_OFFSET)}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.file);
        Outcome r = Mksfx(std::string("--info ") + c.file);
        EXPECT_EQ(r.status, c.status);
        for (const std::string &line : c.lines) EXPECT_NE((r.out + r.err).find(line), std::string::npos) << line << "\n" << r.out << r.err;
    }
    Outcome version = Mksfx("--version"), help = Mksfx("--help");
    EXPECT_EQ(version.out.rfind("mksfx 1.5 ", 0), 0u);
    for (const char *word : {"--elevation admin", "INF", "--codepage", "--names-raw", "--sign-cert", "--info",
                             "../share/tarvex/tarvex-sfx.exe"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// ---- the publisher's icon and version information ------------------------------------

// The stub's resource tree rewritten, read back by pefile (support/peresources.py):
// the stub's dialogs and manifest come through byte for byte, the icon and the
// version resource are what was asked for, and the checksum is the file's.
TEST_F(MksfxDistrib, PublisherResourcesReadBackByAnotherReader) {
    if (ReadHostFile(kRealStub).size() != HEADER_OFFSET) GTEST_SKIP() << "no win32 stub at " << kRealStub;
    const std::string dump = "/usr/bin/python3 " SFX_SOURCE_DIR "/tests/unit/support/peresources.py ";
    ASSERT_EQ(Sh("mkdir d && echo hi > d/a.txt && convert -size 48x48 radial-gradient:yellow-purple"
                 " \\( +clone -resize 32x32 \\) app.ico && " + dump + "'" + kRealStub + "' > stub.txt"),
              0);
    std::string stub = Slurp("stub.txt");
    std::string longStrings;
    for (int i = 0; i < 20; ++i) longStrings += " --version-string Key" + std::to_string(i) + "=" + std::string(50, 'x');
    struct {
        std::string args;
        std::vector<std::string> lines;  // in the dump, beside the stub's dialogs and manifest
        bool keepsIcon;
    } cases[] = {
        {"--version-string 'ProductName=Acme Widget' --file-version 2.3.4.5",
         {"fixed 2.3.4.5 0.0.0.0", "string ProductName=Acme Widget", "string FileVersion=2.3.4.5"}, true},
        {"--icon app.ico", {"icon 32 4\nicon 16 4\n"}, false},
        {"--icon app.ico --version-string 'LegalCopyright=© Ærø 2026' --version-string 'ProductName=Acme Widget'"
         " --version-string 'CompanyName=Acme Ltd' --product-version 2.3",
         {"icon 32 4\n", "res 16 1 ", "string LegalCopyright=© Ærø 2026", "fixed 0.0.0.0 2.3.0.0",
          "string ProductVersion=2.3.0.0"},
         false},
        {"--elevation admin --version-string Comments=x", {"string Comments=x"}, true},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.args);
        Outcome r = Mksfx(c.args + " -o out.exe -C d .", kRealStub);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(Sh(dump + "out.exe > out.txt"), 0);
        std::string out = Slurp("out.txt");
        for (const std::string &line : c.lines) EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
        EXPECT_NE(out.find("checksum ok"), std::string::npos);
        for (size_t at = 0, end; (end = stub.find('\n', at)) != std::string::npos; at = end + 1) {
            std::string line = stub.substr(at, end - at);
            bool manifest = line.rfind("res 24", 0) == 0, icon = line.rfind("res 3", 0) == 0 || line.rfind("res 14", 0) == 0;
            if (line.rfind("res ", 0) == 0 && !(manifest && c.args.find("--elevation") == 0) && (c.keepsIcon || !icon))
                EXPECT_NE(out.find(line), std::string::npos) << line;
        }
    }
    // What does not fit is named, and nothing is written.
    Outcome full = Mksfx("--icon app.ico" + longStrings + " -o full.exe -C d .", kRealStub);
    EXPECT_EQ(full.status, 2);
    EXPECT_NE(full.err.find("bytes are missing"), std::string::npos) << full.err;
    EXPECT_FALSE(Exists("full.exe"));
}

}  // namespace
#endif  // MKSFX_PATH
