// The archive walker: the listing pass of ExtractEntries and ReadLocalHeader over
// archives of real tools and hand-crafted ones, damaged ones included.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/SFXgbls.h"
#include "archive/entryio.h"
#include "archive/extract.h"
#include "codec/SFXinflt.h"
#include "support/archives.h"

using zipkit::CraftedEntry;
using archives::SourceFile;

namespace {

const std::string kBig(5000, 'x');

std::vector<SourceFile> ToolFiles() {
    return {{"a.txt", "hello world\n"}, {"d/", ""}, {"d/b.txt", kBig}};
}

CraftedEntry Entry(const std::string &name, const std::string &data = "data", uint16_t method = 0) {
    return {name, data, method};
}

std::string Crafted(std::vector<CraftedEntry> entries) { return zipkit::CraftZip(entries); }

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<std::string> Texts(const std::vector<standin::MessageBoxRecord> &boxes) {
    std::vector<std::string> out;
    for (const auto &b : boxes) out.push_back(b.caption + " | " + b.text);
    return out;
}

const std::string kErrorReading = "Error.. | Error reading archive.";
const std::string kInvalidName = "Error.. | Invalid filename.";

struct WalkCase {
    const char *label;
    std::function<std::string()> make;
    std::vector<std::string> items;
    std::vector<std::string> boxes;
};

std::vector<WalkCase> WalkCases() {
    const std::vector<std::string> toolItems = {"a.txt", "d/", "d/b.txt"};
    std::vector<WalkCase> cases = {
        {"Info-ZIP, extra fields", [] { return archives::InfoZip(ToolFiles()); }, toolItems, {}},
        {"Info-ZIP -P, data descriptors",
         [] { return archives::InfoZip(ToolFiles(), "-P secret"); }, toolItems, {}},
        {"Info-ZIP stored", [] { return archives::InfoZip(ToolFiles(), "-0"); }, toolItems, {}},
        {"Python stored", [] { return archives::PythonZip(ToolFiles(), "stored"); }, toolItems, {}},
        {"Python deflated", [] { return archives::PythonZip(ToolFiles(), "deflated"); }, toolItems,
         {}},
        {"7z", [] { return archives::SevenZip(ToolFiles()); }, toolItems, {}},
        {"7z ZipCrypto",
         [] { return archives::SevenZip(ToolFiles(), "-mem=ZipCrypto -psecret"); }, toolItems, {}},
        {"bsdtar stored, descriptors",
         [] { return archives::Bsdtar(ToolFiles(), "--options zip:compression=store"); },
         toolItems, {}},
        {"9-byte extra field",
         [] {
             CraftedEntry a = Entry("a", "alpha"), b = Entry("b", "beta", 8);
             a.extra = b.extra = "123456789";
             return Crafted({a, b, Entry("c")});
         },
         {"a", "b", "c"}, {}},
        {"one and two data descriptors",
         [] {
             CraftedEntry a = Entry("a"), b = Entry("b", "bbb", 8);
             a.flags = b.flags = 8;
             a.descriptors = 1;
             b.descriptors = 2;
             return Crafted({a, b, Entry("c")});
         },
         {"a", "b", "c"}, {}},
        {"00 00 00 50 signature",
         [] {
             CraftedEntry b = Entry("b");
             b.signature = 0x50000000;
             return Crafted({Entry("a"), b});
         },
         {"a", "b"}, {}},
        {"embedded NUL cuts the name",
         [] { return Crafted({Entry(std::string("ab\0cd", 5)), Entry("z")}); }, {"ab", "z"}, {}},
        {"first byte NUL: invalid name, earlier items stay",
         [] { return Crafted({Entry("a"), Entry(std::string("\0b", 2)), Entry("c")}); }, {"a"},
         {kInvalidName}},
        {"empty name", [] { return Crafted({Entry("a"), Entry("")}); }, {"a"}, {kInvalidName}},
        {"name of 258 bytes fits", [] { return Crafted({Entry(std::string(258, 'n'))}); },
         {std::string(258, 'n')}, {}},
        {"name of 259 bytes is refused",
         [] { return Crafted({Entry("a"), Entry(std::string(259, 'n')), Entry("c")}); }, {"a"},
         {kInvalidName}},
        {"only an end record", [] { return zipkit::EndRecord(); }, {}, {kErrorReading}},
        {"central directory first",
         [] {
             std::string zip = Crafted({Entry("a")});
             return zip.substr(zip.find(std::string("PK\1\2", 4)));
         },
         {}, {kErrorReading}},
        {"cut inside the second header",
         [] {
             std::string zip = Crafted({Entry("a"), Entry("b")});
             return zip.substr(0, 30 + 1 + 4 + 20);
         },
         {"a"}, {}},
        {"cut inside the first name",
         [] { return Crafted({Entry("abcdef")}).substr(0, 33); }, {}, {kErrorReading}},
        {"size going backwards ends the walk",
         [] {
             CraftedEntry a = Entry("a");
             a.setCompressedSize = true;
             a.compressedSize = 0xFFFFFFD0u;  // -48: would land before the header
             return Crafted({Entry("first"), a, Entry("c")});
         },
         {"first"}, {}},
        {"size past 2 GiB ends the walk",
         [] {
             CraftedEntry a = Entry("a");
             a.setCompressedSize = true;
             a.compressedSize = 0x7FFFFFF0u;
             return Crafted({Entry("first"), a, Entry("c")});
         },
         {"first"}, {}},
        {"7z stored", [] { return archives::SevenZip(ToolFiles(), "-mx0"); }, toolItems, {}},
        // Streamed deflate keeps its sizes in the descriptor only: the local header
        // says 0 bytes, so the next "header" is compressed data and the walk ends.
        {"bsdtar deflated, streamed: the walk ends after the first entry",
         [] { return archives::Bsdtar(ToolFiles()); }, {"a.txt"}, {}},
        // Only a descriptor with its signature is stepped over; 12 bytes without
        // one are taken for a record of another kind.
        {"descriptor without signature ends the walk",
         [] {
             CraftedEntry a = Entry("a");
             a.flags = 8;
             std::string zip = Crafted({a, Entry("b")});
             return zip.insert(30 + 1 + 4, std::string("\x11\x22\x33\x44\4\0\0\0\4\0\0\0", 12));
         },
         {"a"}, {}},
        {"zero bytes where a header belongs",
         [] {
             std::string zip = Crafted({Entry("a"), Entry("b")});
             return zip.insert(30 + 1 + 4, std::string(30, '\0'));
         },
         {"a"}, {}},
        {"extra field running past the end of the file",
         [] {
             CraftedEntry b = Entry("b");
             b.extra = std::string(1000, 'e');
             return Crafted({Entry("a"), b}).substr(0, 2 * 30 + 2 + 4 + 10);
         },
         {"a", "b"}, {}},
        {"descriptor as the last bytes of a cut file",
         [] {
             CraftedEntry a = Entry("a");
             a.flags = 8;
             a.descriptors = 1;
             return Crafted({a, Entry("b")}).substr(0, 30 + 1 + 4 + 16);
         },
         {"a"}, {}},
        {"name length past the end of the file",
         [] {
             CraftedEntry a = Entry("a");
             a.setNameLength = true;
             a.nameLength = 200;
             return Crafted({a}).substr(0, 30 + 20);
         },
         {}, {kErrorReading}},
    };
    return cases;
}

class WalkerListing : public ::testing::Test {
protected:
    void SetUp() override { standin::Reset(); }
    testutil::TempDir tmp{"sfx-walk"};
};

TEST_F(WalkerListing, Table) {
    archives::UserPlay listOnly;
    listOnly.extractionPasses = 0;
    for (const WalkCase &c : WalkCases()) {
        SCOPED_TRACE(c.label);
        standin::Reset();
        std::string zip = c.make();
        ASSERT_TRUE(!zip.empty() || c.items.empty()) << "the tool made no archive";
        archives::OpenedSfx sfx(tmp / "case.exe", zip);
        ASSERT_TRUE(sfx.ok());
        archives::PassOutcome out = archives::ListAndExtract(listOnly);
        EXPECT_EQ(Sorted(out.items), Sorted(c.items));
        EXPECT_EQ(Texts(out.listingBoxes), c.boxes);
        EXPECT_EQ(out.liveAfterListing, 0);
    }
}

TEST_F(WalkerListing, SecondListIsTheSame) {
    archives::OpenedSfx sfx(tmp / "two.exe", archives::InfoZip(ToolFiles()));
    archives::UserPlay play;
    play.extractionPasses = 0;
    play.plainListing = true;
    archives::PassOutcome out = archives::ListAndExtract(play);
    EXPECT_EQ(out.items.size(), 3u);
    EXPECT_EQ(out.plainItems, out.items);
    EXPECT_TRUE(out.listingBoxes.empty());
}

TEST_F(WalkerListing, PositioningFailureIsReported) {
    archives::OpenedSfx sfx(tmp / "seek.exe", Crafted({Entry("a")}));
    archiveStart = -5;  // SetFilePointer refuses a position before the file
    archives::UserPlay play;
    play.extractionPasses = 0;
    archives::PassOutcome out = archives::ListAndExtract(play);
    EXPECT_EQ(Texts(out.listingBoxes), std::vector<std::string>{kErrorReading});
}

TEST_F(WalkerListing, NoNameBufferEndsQuietly) {
    archives::OpenedSfx sfx(tmp / "heap.exe", Crafted({Entry("a")}));
    standin::FailAllocationAfter(0);
    EXPECT_FALSE(ExtractEntries(0, 301, true));
    EXPECT_EQ(standin::LiveAllocations(), 0);
}

// The header reader: a short read never hands on the previous entry's fields,
// and any run of data descriptors is stepped over.
TEST(WalkerHeader, ShortReadAndDescriptors) {
    standin::Reset();
    testutil::TempDir tmp("sfx-hdr");
    CraftedEntry a = Entry("a", "first");
    a.flags = 8;
    a.descriptors = 3;
    std::string zip = Crafted({a, Entry("b", "second")});
    archives::OpenedSfx sfx(tmp / "h.exe", zip);
    ExtractEntries(0, 301, true);  // completes the signature value, as every pass does

    long start = archives::SfxArchiveStart();
    BYTE record[LOCAL_RECORD_READ];
    SeekArchive((LONG)start, FILE_BEGIN);
    ASSERT_TRUE(ReadLocalHeader(record));
    EXPECT_EQ(remainingCompressed, 5);
    EXPECT_EQ(localHeader.nameLength, 1);

    // Straight after a's data: three descriptors, then b's header.
    SeekArchive((LONG)(start + 30 + 1 + 5), FILE_BEGIN);
    ASSERT_TRUE(ReadLocalHeader(record));
    EXPECT_EQ(recordPosition, (LONG)(start + 30 + 1 + 5 + 3 * 16));
    EXPECT_EQ(remainingCompressed, 6);

    // 20 bytes before the end: a short read, whatever the buffer held before.
    SeekArchive(-20, FILE_END);
    EXPECT_FALSE(ReadLocalHeader(record));
    EXPECT_EQ(remainingCompressed, 0);
}

}  // namespace
