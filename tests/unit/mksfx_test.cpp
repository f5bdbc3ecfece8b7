// mksfx, the builder: runs the host binary on archives made by real tools and on
// folders, and reads the result the way the stub does (local headers from the
// header's end, 16-byte descriptors skipped, CRC and size from the local header,
// the password check byte by flag bit 3), with Info-ZIP unzip as a second reader.
#include <gtest/gtest.h>

#ifdef MKSFX_PATH
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/mksfx_fixture.h"
#include "support/zipkit.h"

namespace fs = std::filesystem;
using zipkit::Get16;
using zipkit::Get32;

namespace {

const size_t kHeaderOffset = SFX_HEADER_OFFSET;

// One entry as the stub's walk sees it, with the outcome of reading its data.
struct Walked : zipkit::LocalEntry {
    bool passwordOk = true;
    bool dataOk = false;
};

// The entries as the stub walks them from the header's end, each one's data
// decrypted when the entry is encrypted (the password check byte chosen by
// flag bit 3), inflated when deflated, and checked against the local header's
// CRC.
std::vector<Walked> StubWalk(const std::string &f, const std::string &password = "") {
    std::vector<Walked> out;
    for (const zipkit::LocalEntry &entry : zipkit::LocalEntries(f, zipkit::SfxArchiveStart(f))) {
        Walked e{entry};
        std::string data = entry.Data(f);
        if (e.flags & 1) {
            data = zipkit::Cipher(password).Decrypt(data);
            e.passwordOk =
                data.size() >= 12 && (uint8_t)data[11] == zipkit::CheckByte(e.flags, e.crc, e.modTime);
            data.erase(0, std::min<size_t>(12, data.size()));
        }
        bool inflated = true;
        if (e.method != 0) data = testutil::RawInflate(data, &inflated);
        e.dataOk = e.name.back() == '/' || (inflated && testutil::Crc32(data) == e.crc);
        out.push_back(e);
    }
    return out;
}

// A password the check of every encrypted entry refuses.
std::string Wrong(const std::string &f) {
    return zipkit::RefusedPasswords(f, 1, zipkit::SfxArchiveStart(f))[0];
}

// The stub's completeness check: an end record whose comment ends at the file's end.
bool EndsWithEndRecord(const std::string &f) {
    size_t end = zipkit::FindEndRecord(f);
    return end != std::string::npos && end + zipkit::kEndRecordSize + Get16(f, end + 20) == f.size();
}

using mksfxtest::Result;

class MksfxTest : public mksfxtest::MksfxFixture {
protected:
    // A folder whose bytes and times are the same on every run, so that what
    // mksfx makes of it is too.
    void SetUp() override {
        MksfxFixture::SetUp();
        Write("d/rand.bin", testutil::RandomData(3000, 1));
        Write("pw", "pw\n");
        ASSERT_EQ(Sh("mkdir -p d/sub && printf hello > d/a.txt && seq 1 3000 > d/sub/b.txt && : > d/empty"
                     " && find d -exec touch -d '2001-06-04 10:35:28' {} +"),
                  0);
    }
    // The entry names in central-directory order, as unzip lists them.
    std::vector<std::string> UnzipNames(const std::string &archive) {
        Sh("unzip -Z1 " + archive);
        std::istringstream in(Slurp("sh.log"));
        std::vector<std::string> names;
        for (std::string line; std::getline(in, line);) names.push_back(line);
        return names;
    }
    std::vector<std::string> WalkNames(const std::vector<Walked> &walked) {
        std::vector<std::string> names;
        for (auto &e : walked) names.push_back(e.name);
        return names;
    }
};

class MksfxHeader : public MksfxTest {};
class MksfxRewrite : public MksfxTest {};
class MksfxRefusal : public MksfxTest {};
class MksfxPack : public MksfxTest {};
class MksfxCli : public MksfxTest {};

// ---------------------------------------------------------------- header

TEST_F(MksfxHeader, WorkedExampleIsSixtyBytesAfterTheWholeStub) {
    ASSERT_EQ(Run("--caption 'Self Extracting Archive, TARVEX 1.5' --command '><ADOPTED.W52'"
                  " --select-files --no-size-check -o out.exe d").status, 0);
    std::string f = Slurp("out.exe");
    std::string stub = Slurp("stub.bin");
    ASSERT_GT(f.size(), kHeaderOffset + 64);
    size_t checksum = mksfxtest::PeChecksumAt(stub);  // the whole file's
    f.replace(checksum, 4, stub, checksum, 4);
    EXPECT_EQ(f.substr(0, stub.size()), stub);
    std::string expect = std::string("DID\x22\x00\x01\x3C\x00", 8) + "\x23" +
                         "Self Extracting Archive, TARVEX 1.5" + std::string(1, '\0') + "\x0D" +
                         "><ADOPTED.W52" + std::string(1, '\0') + "PK\x03\x04";
    EXPECT_EQ(f.substr(kHeaderOffset, 64), expect);
}

TEST_F(MksfxHeader, OptionBitsByName) {
    struct Case {
        const char *args;
        uint8_t byte;
    } cases[] = {
        {"", 0x00},
        {"--show-run-checkbox", 0x01},
        {"--select-files", 0x02},
        {"--lock-overwrite", 0x04},
        {"--overwrite=confirm", 0x00},
        {"--overwrite always", 0x08},
        {"--overwrite=never", 0x10},
        {"--no-size-check", 0x20},
        {"--auto-start", 0x40},
        {"--no-finished-message", 0x80},
        {"--select-files --lock-overwrite --overwrite=never --auto-start", 0x56},
        {"--raw-options 0x18", 0x18},
        {"--select-files --raw-options 201", 201},  // the raw byte wins
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Run(std::string(c.args) + " -o out.exe d/a.txt").status, 0) << c.args;
        EXPECT_EQ((uint8_t)Slurp("out.exe")[kHeaderOffset + 3], c.byte) << c.args;
    }
}

TEST_F(MksfxHeader, TextsAndStartupMessageStyle) {
    struct Case {
        std::string args;
        std::string texts;  // the four length-prefixed fields
    } cases[] = {
        {"--message Hi", std::string("\0\0\0\2Hi", 6)},
        {"--message Hi --message-style ok-cancel", std::string("\0\0\0\3\1Hi", 7)},
        {"--message Hi --message-style yes-no", std::string("\0\0\0\3\2Hi", 7)},
        {"--message Hi --message-style ok", std::string("\0\0\0\3\0Hi", 7)},
        {"--message Hi --message-style 6", std::string("\0\0\0\3\6Hi", 7)},
        {"--dir '><' --caption C --command=run.inf",
         std::string("\1C\2><\7run.inf\0", 14)},
        {"--caption " + std::string(255, 'x'), "\xFF" + std::string(255, 'x') + std::string(3, '\0')},
        {"--caption 'Café Écrit 2.0' --message Été", std::string("\x0E" "Caf\xE9 \xC9" "crit 2.0\0\0\3\xC9t\xE9", 21)},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Run(c.args + " -o out.exe d/a.txt").status, 0) << c.args;
        std::string f = Slurp("out.exe");
        EXPECT_EQ(Get16(f, kHeaderOffset + 6), 8 + c.texts.size()) << c.args;
        EXPECT_EQ(f.substr(kHeaderOffset + 8, c.texts.size()), c.texts) << c.args;
    }
}

// ---------------------------------------------------------------- rewriting

const char kUnseekablePython[] = R"(import io, sys, zipfile
class Pipe(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
with open('in.zip', 'wb') as raw, zipfile.ZipFile(Pipe(raw), 'w', zipfile.ZIP_DEFLATED) as z:
    z.write('d/sub/b.txt', 'b.txt')
    z.writestr('stored.txt', 'plain', compress_type=zipfile.ZIP_STORED)
    z.write('d/rand.bin', 'rand.bin')
    z.comment = b'C' * 1000
)";

TEST_F(MksfxRewrite, ArchivesOfRealToolsWalkAsTheStubReadsThem) {
    Write("unseekable.py", kUnseekablePython);
    struct Maker {
        const char *label, *command, *password;
    } makers[] = {
        {"zip", "zip -qr in.zip d", ""},
        {"zip -fd (descriptors)", "zip -qr -fd in.zip d", ""},
        {"zip streamed into a pipe", "zip -qr - d | cat > in.zip", ""},
        {"zip -P (encrypted, descriptors)", "zip -qr -P pw in.zip d", "pw"},
        {"zip with a comment", "echo 'the archive comment' | zip -qr -z in.zip d", ""},
        {"7z", "7z a -bd -tzip in.zip d >/dev/null", ""},
        {"7z ZipCrypto", "7z a -bd -tzip -ppw -mem=ZipCrypto in.zip d >/dev/null", "pw"},
        {"bsdtar (descriptors)", "bsdtar --format zip -cf in.zip d", ""},
        {"bsdtar streamed (block padding)", "bsdtar --format zip -cf - d | cat > in.zip", ""},
        {"python zipfile, unseekable", "python3 unseekable.py", ""},
        {"a self-extractor renamed .zip", "$MKSFX --stub stub.bin -o first.exe d && mv first.exe in.zip", ""},
    };
    for (const Maker &m : makers) {
        SCOPED_TRACE(m.label);
        fs::remove(fs::path(dir) / "in.zip");
        ASSERT_EQ(Sh(m.command), 0) << Slurp("sh.log");
        Result r = Run("--keep-order -o out.exe in.zip");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Sh(std::string("unzip -tq -P '") + m.password + "' out.exe"), 0) << Slurp("sh.log");

        std::string f = Slurp("out.exe");
        std::vector<Walked> walked = StubWalk(f, m.password);
        EXPECT_EQ(WalkNames(walked), UnzipNames("in.zip"));
        for (const Walked &e : walked) {
            EXPECT_TRUE(e.passwordOk) << e.name;
            EXPECT_TRUE(e.dataOk) << e.name;
            if (!(e.flags & 1)) EXPECT_EQ(e.flags & 8, 0) << e.name;
        }
        EXPECT_TRUE(EndsWithEndRecord(f));
        EXPECT_EQ(zipkit::Comment(f), zipkit::Comment(Slurp("in.zip")));
        // In the file list's order (the default) the moved entries walk as well.
        ASSERT_EQ(Run("-o listed.exe in.zip").status, 0);
        std::vector<Walked> listed = StubWalk(Slurp("listed.exe"), m.password);
        EXPECT_EQ(listed.size(), walked.size());
        for (const Walked &e : listed) EXPECT_TRUE(e.passwordOk && e.dataOk) << e.name;
    }
}

TEST_F(MksfxRewrite, KeepsTheLocalTimeOfEncryptedEntriesWithDescriptors) {
    // With bit 3 the check byte is the time's high byte: the local time must survive.
    ASSERT_EQ(Sh("touch -d '2003-04-05 06:07:08' d/a.txt && zip -q -P pw in.zip d/a.txt"), 0);
    ASSERT_EQ(Run("-o out.exe in.zip").status, 0);
    std::string f = Slurp("out.exe");
    std::vector<Walked> w = StubWalk(f, "pw");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].flags & 9, 9);
    EXPECT_EQ(w[0].modTime >> 8, (6 << 11 | 7 << 5 | 4) >> 8);
    EXPECT_TRUE(w[0].passwordOk);
    EXPECT_FALSE(StubWalk(f, Wrong(f))[0].passwordOk);
}

// ---------------------------------------------------------------- refusals

TEST_F(MksfxRefusal, OneLineExitTwoAndNoOutput) {
    const std::string longDir(200, 'a'), longLeaf(55, 'b');
    struct Case {
        const char *label;
        std::string setup, args, expect;
        std::string check = "";  // a shell test that must hold afterwards
    } cases[] = {
        {"the output is the input zip", "zip -q in.zip d/a.txt && cp in.zip keep.zip", "in.zip -o in.zip",
         "in.zip: the output would replace an input", "cmp in.zip keep.zip"},
        {"the output is a packed file", "", "-C d -o d/a.txt .", "the output -o d/a.txt would replace this input",
         "test \"$(cat d/a.txt)\" = hello"},
        {"names the stub refuses, all of them", "mkdir -p W/dev && : > W/a:b.txt && : > W/dev/con.txt && : > 'W/s*.txt'",
         "-C W .", "a:b.txt: the character \":\"", "grep -q dev/con.txt run.err && test $(wc -l < run.err) = 3"},
        {"names outside the code page in three folders",
         "mkdir -p U/a U/b U/c && : > U/a/П && : > U/b/Ж && : > U/c/Щ", "U", "U/a/П: code page 1252",
         "test $(wc -l < run.err) = 3"},
        {"broken links", "mkdir B && ln -s none B/x && ln -s none B/y", "B", "B/x: cannot read",
         "grep -q B/y run.err"},
        {"a Unicode path field past 65535 bytes of extra field",
         "python3 -c \"import zipfile;i=zipfile.ZipInfo('café.txt');i.extra=b'\\xfe\\xca\\xf6\\xff'+bytes(65526);"
         "z=zipfile.ZipFile('in.zip','w');z.writestr(i,'x');z.close()\"",
         "in.zip", "café.txt: with the Unicode path field of its new name the extra field would exceed 65535"},
        {"a caption outside the code page", "", "--caption Привет d", "--caption: code page 1252 has no character"},
        {"operands after --version", "", "--version d", "d: --help and --version take no operands"},
        {"a password on the command line", "", "--password pw d", "--password: a secret on the command line"},
        {"ZIP64 entries (zip -fz)", "zip -qr -fz in.zip d", "in.zip", "ZIP64"},
        {"ZIP64 end record added by hand",
         "zip -q in.zip d/a.txt && python3 -c \"import struct;b=open('in.zip','rb').read();i=b.rfind(b'PK\\x05\\x06');"
         "z=struct.pack('<IQHHIIQQQQ',0x06064b50,44,45,45,0,0,1,1,0,0);l=struct.pack('<IIQI',0x07064b50,0,i,1);"
         "open('in.zip','wb').write(b[:i]+z+l+b[i:])\"",
         "in.zip", "in.zip: ZIP64"},
        {"ZIP64 local header (python force_zip64)",
         "python3 -c \"import zipfile;z=zipfile.ZipFile('in.zip','w');f=z.open('x.txt','w',force_zip64=True);"
         "f.write(b'x');f.close();z.close()\"",
         "in.zip", "x.txt: ZIP64"},
        {"bzip2 method", "zip -qr -Z bzip2 in.zip d", "in.zip", "d/sub/b.txt: compression method 12"},
        {"AES encryption", "7z a -bd -tzip -ppw -mem=AES256 in.zip d >/dev/null", "in.zip", "AES"},
        {"258-byte name in a zip",
         "python3 -c \"import zipfile;zipfile.ZipFile('in.zip','w').writestr('n'*258,'x')\"", "in.zip",
         std::string(258, 'n') + ": the name is 258 bytes"},
        {"258-byte name packed", "mkdir -p L/" + longDir + " && : > L/" + longDir + "/" + longLeaf, "L",
         "the name is 258 bytes"},
        {"empty archive", "python3 -c \"import zipfile;zipfile.ZipFile('in.zip','w').close()\"", "in.zip",
         "no entries"},
        {"not a zip", "echo hello > in.zip", "in.zip", "in.zip: not a ZIP archive"},
        {"missing input", "", "nothing", "nothing: cannot read"},
        {"missing input zip", "", "gone.zip", "gone.zip: cannot read"},
        {"a name twice in a zip",
         "python3 -W ignore -c \"import zipfile;z=zipfile.ZipFile('in.zip','w');z.writestr('x','1');z.writestr('x','2')\"",
         "in.zip", "x and x: the same name twice"},
        {"names equal but for case", "mkdir -p C && : > C/Read.me && : > C/READ.ME", "C",
         "C/READ.ME and C/Read.me: the same name twice"},
        {"\"..\" in a name", "", "d/../d/a.txt", "d/../d/a.txt: a \"..\""},
        {"caption of 256 bytes", "", "--caption " + std::string(256, 'c') + " d", "--caption: 256 bytes"},
        {"message and code byte over 255", "",
         "--message-style yes-no --message " + std::string(255, 'm') + " d", "--message: 256 bytes"},
        {"stub one byte short", "head -c " + std::to_string(kHeaderOffset - 1) + " stub.bin > short.bin",
         "--stub short.bin d",
         "short.bin: the stub is " + std::to_string(kHeaderOffset - 1) + " bytes; it must be exactly " +
             std::to_string(kHeaderOffset)},
        {"missing stub", "", "--stub none.exe d", "none.exe: stub not found"},
        {"file of 4 GiB (sparse)", "truncate -s 4G big.bin", "big.bin", "big.bin: 4 GiB or more"},
        {"stored result over 2 GiB (sparse)", "truncate -s 2100M big.bin", "--store d/a.txt big.bin",
         "big.bin: the self-extractor would exceed 2 GiB"},
        {"zip whose result exceeds 2 GiB (sparse)",
         "python3 -c \"import struct;f=open('in.zip','wb');n=2147480000;"
         "f.write(struct.pack('<IHHHHHIIIHH',0x04034b50,10,0,0,0,0,0,n,n,5,0)+b'huge1');f.seek(n,1);"
         "c=struct.pack('<IHHHHHHIIIHHHHHII',0x02014b50,20,10,0,0,0,0,0,n,n,5,0,0,0,0,0,0)+b'huge1';"
         "o=35+n;f.write(c+struct.pack('<IHHHHIIH',0x06054b50,0,0,1,1,len(c),o,0))\"",
         "in.zip", "huge1: the self-extractor would exceed 2 GiB"},
        {"password for a zip input", "zip -q in.zip d/a.txt", "--password-file pw in.zip", "apply to packed files"},
        {"unknown option", "", "--frobnicate d", "--frobnicate: unknown option"},
        {"bad overwrite mode", "", "--overwrite=sometimes d", "--overwrite: expected confirm"},
        {"style without message", "", "--message-style 1 d", "--message-style needs a --message"},
        {"style out of range", "", "--message 'x' --message-style 7 d", "--message-style: expected a number"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Sh("rm -f in.zip big.bin out.exe");
        ASSERT_EQ(Sh(c.setup.empty() ? "true" : c.setup), 0) << Slurp("sh.log");
        Result r = Run("-o out.exe " + c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << r.err;
        for (size_t at = 0; at < r.err.size(); at = r.err.find('\n', at) + 1)
            EXPECT_EQ(r.err.compare(at, 7, "mksfx: "), 0) << r.err;
        EXPECT_FALSE(Exists("out.exe"));
        EXPECT_FALSE(TempLeftovers());
        if (!c.check.empty()) EXPECT_EQ(Sh(c.check), 0) << c.check;
    }
    // A file size limit fails a write; the temporary file goes with the run.
    EXPECT_NE(Sh("ulimit -f 40 && $MKSFX --stub stub.bin --store -o out.exe d"), 0);
    EXPECT_FALSE(TempLeftovers());
}

TEST_F(MksfxRefusal, LeavesAnExistingOutputUntouched) {
    Write("out.exe", "the previous build");
    ASSERT_EQ(Sh("zip -qr -Z bzip2 in.zip d"), 0);
    EXPECT_EQ(Run("-o out.exe in.zip").status, 2);
    EXPECT_EQ(Slurp("out.exe"), "the previous build");
    EXPECT_FALSE(TempLeftovers());
}

// ---------------------------------------------------------------- packing

TEST_F(MksfxPack, FoldersWithEachMethodAndEncryption) {
    struct Case {
        const char *label, *args, *password;
        uint16_t textMethod, randMethod;  // methods of d/sub/b.txt and d/rand.bin
    } cases[] = {
        {"default: deflate, incompressible stored", "", "", 8, 0},
        {"--level 1", "--level 1", "", 8, 0},
        {"--store", "--store", "", 0, 0},
        {"--level 0 stores", "--level 0", "", 0, 0},
        {"--password-file", "--password-file pw", "pw", 8, 0},
        {"--store --password-file", "--store --password-file=pw", "pw", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_EQ(Run(std::string(c.args) + " -o out.exe d").status, 0);
        EXPECT_EQ(Sh(std::string("unzip -tq -P '") + c.password + "' out.exe"), 0) << Slurp("sh.log");
        std::string f = Slurp("out.exe");
        std::vector<Walked> w = StubWalk(f, c.password);
        ASSERT_EQ(WalkNames(w), (std::vector<std::string>{"d/", "d/a.txt", "d/empty", "d/rand.bin", "d/sub/",
                                                           "d/sub/b.txt"}));
        EXPECT_EQ(WalkNames(w), UnzipNames("out.exe"));
        for (const Walked &e : w) {
            bool isFile = e.name.back() != '/';
            EXPECT_TRUE(e.dataOk && e.passwordOk) << e.name;
            EXPECT_EQ(e.flags, isFile && *c.password ? 1 : 0) << e.name;
        }
        EXPECT_EQ(w[5].method, c.textMethod);
        EXPECT_EQ(w[3].method, c.randMethod);
        EXPECT_TRUE(EndsWithEndRecord(f));
        if (*c.password) {
            EXPECT_NE(Sh("unzip -tq -P " + Wrong(f) + " out.exe"), 0);
            EXPECT_FALSE(StubWalk(f, Wrong(f))[1].passwordOk);
        }
    }
}

TEST_F(MksfxPack, NamesFromTheBaseFolder) {
    struct Case {
        const char *args;
        std::vector<std::string> names;
    } cases[] = {
        {"-C d .", {"a.txt", "empty", "rand.bin", "sub/", "sub/b.txt"}},
        {"--keep-order --base=d sub a.txt", {"sub/", "sub/b.txt", "a.txt"}},
        {"--base=d sub a.txt", {"a.txt", "sub/", "sub/b.txt"}},  // the file list's order
        {"./d/sub/", {"d/sub/", "d/sub/b.txt"}},
        {"d/a.txt d/sub/b.txt", {"d/a.txt", "d/sub/b.txt"}},
        {"--exclude 'sub/*' --exclude '*.bin' -C d .", {"a.txt", "empty"}},
        // The output and its temporary file are never packed, nor a former build.
        {"-C d -o d/setup.exe . && '" MKSFX_PATH "' --stub stub.bin -C d -o d/setup.exe . && mv d/setup.exe out.exe && true",
         {"a.txt", "empty", "rand.bin", "sub/", "sub/b.txt"}},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Run(std::string(c.args) + " -o out.exe").status, 0) << c.args;
        EXPECT_EQ(WalkNames(StubWalk(Slurp("out.exe"))), c.names) << c.args;
    }
}

TEST_F(MksfxPack, DosTimeOfEachFileInLocalTime) {
    struct Case {
        const char *when;
        uint16_t time, date;
    } cases[] = {
        {"2001-02-03 04:05:06", 4 << 11 | 5 << 5 | 3, 21 << 9 | 2 << 5 | 3},
        {"2024-12-31 23:59:59", 23 << 11 | 59 << 5 | 29, 44 << 9 | 12 << 5 | 31},
        {"1975-06-01 12:00:00", 0, 0 << 9 | 1 << 5 | 1},  // before 1980: the first DOS day
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Sh(std::string("touch -d '") + c.when + "' d/a.txt"), 0);
        ASSERT_EQ(Run("-o out.exe d/a.txt").status, 0);
        std::vector<Walked> w = StubWalk(Slurp("out.exe"));
        ASSERT_EQ(w.size(), 1u);
        EXPECT_EQ(w[0].modTime, c.time) << c.when;
        EXPECT_EQ(w[0].modDate, c.date) << c.when;
    }
}

TEST_F(MksfxPack, SameInputsGiveTheSameBytes) {
    ASSERT_EQ(Run("--password-file pw -o one.exe d").status, 0);
    ASSERT_EQ(Run("--password-file pw -o two.exe d").status, 0);
    EXPECT_EQ(Slurp("one.exe"), Slurp("two.exe"));
    // A copy with new times, another time zone: SOURCE_DATE_EPOCH (2000-01-01)
    // clamps the times and takes them in UTC.
    const char *make = "SOURCE_DATE_EPOCH=946684800 $MKSFX --stub stub.bin --password-file pw -o";
    ASSERT_EQ(Sh("cp -r d e && TZ=UTC " + std::string(make) + " one.exe -C d . && TZ=America/New_York " + make +
                 " two.exe -C e ."), 0) << Slurp("sh.log");
    EXPECT_EQ(Slurp("one.exe"), Slurp("two.exe"));
    for (const Walked &e : StubWalk(Slurp("one.exe"), "pw")) EXPECT_EQ(e.modDate << 16 | e.modTime, 20 << 25 | 1 << 21 | 1 << 16);
}

// ---------------------------------------------------------------- command line

TEST_F(MksfxCli, HelpDocumentsEveryOption) {
    Result r = Run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: mksfx", 0), 0u);
    for (const std::string &option :
         {"--output", "--stub", "--caption", "--dir", "--command", "--message", "--message-style",
          "--show-run-checkbox", "--select-files", "--lock-overwrite", "--overwrite", "--no-size-check",
          "--auto-start", "--no-finished-message", "--raw-options", "--store", "--level", "--password-file",
          "--base", std::to_string(kHeaderOffset).c_str(), "ZIP64", "exit code"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    EXPECT_EQ(Run("-q -oq.exe d/a.txt").out, "");
    EXPECT_NE(Run("-v --output=v.exe d/a.txt").out.find("  d/a.txt (5 -> 5 bytes)\nv.exe: 1 entries"), std::string::npos);
}

TEST_F(MksfxCli, FindsTheStubBesideItselfOrInTheWin32BuildTree) {
    struct Case {
        const char *program, *stub;
        int status;
    } cases[] = {
        {"bin/mksfx", "bin/tarvex-sfx.exe", 0},
        {"host/mksfx", "win32/tarvex-sfx.exe", 0},
        {"alone/deeper/mksfx", "", 2},
    };
    for (const Case &c : cases) {
        fs::path program = fs::path(dir) / c.program;
        fs::create_directories(program.parent_path());
        fs::copy_file(MKSFX_PATH, program);
        if (*c.stub) Write(c.stub, Slurp("stub.bin"));
        EXPECT_EQ(Sh(program.string() + " -o out.exe d/a.txt"), c.status) << c.program << Slurp("sh.log");
        EXPECT_EQ(Exists("out.exe"), c.status == 0);
        fs::remove(fs::path(dir) / "out.exe");
    }
    EXPECT_NE(Slurp("sh.log").find("give --stub PATH"), std::string::npos);
}

}  // namespace
#endif  // MKSFX_PATH
