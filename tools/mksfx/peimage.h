// mksfx peimage: the publisher's own stub image: its resource tree rewritten as a
// whole (the stub's dialogs and manifest, the publisher's icon and version
// information) and its time stamp. (The output's PE checksum is verify.cpp's.)
//
// The stub's linker script puts the resource tree last in its one section, and the
// section's file block ends at HEADER_OFFSET: everything from the tree's start to
// the end of that block is the room a new tree may take. Code, imports and every
// other byte of the stub stay where they are.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mksfx {

// Resource types (winuser.h RT_*).
constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtDialog = 5;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kRtManifest = 24;

// One resource: type, name (a string, or an id when `name` is empty), language.
struct Resource {
    uint16_t type = 0;
    std::u16string name;
    uint16_t id = 0;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

// Where the stub keeps its resources: the tree's file offset and size, and the
// room from its start to the end of its section's file block.
struct ResourceRoom {
    size_t offset = 0, size = 0, room = 0;
};
ResourceRoom FindResourceRoom(const std::vector<uint8_t> &image);
std::vector<Resource> ReadResources(const std::vector<uint8_t> &image);
// The tree of `items` as it is stored at `rva` (data entries hold RVAs).
std::vector<uint8_t> BuildResourceTree(std::vector<Resource> items, uint32_t rva);
// Replaces the image's tree by one of `items`: the directory entry, the section's
// virtual size follow. Fails, naming the bytes missing, when the tree has no room.
void WriteResources(std::vector<uint8_t> &image, const std::vector<Resource> &items);

// An image of the publisher's icon, decoded: width x height RGBA pixels, top row first.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};
// The images of an .ico file (BMP or PNG); fails, naming the file, on anything else.
std::vector<Picture> ReadIcoFile(const std::string &path);
// A picture as an icon resource image (RT_ICON: the DIB with its AND mask) of
// size x size pixels at 1, 4, 8 or 32 bits per pixel; 4 and 8 take a palette of
// the picture's own colours.
std::vector<uint8_t> EncodeIconImage(const std::vector<Picture> &pictures, int size, int bits);
// Puts the publisher's icon among `items` in place of the stub's (group MNICON):
// the best images the room leaves, a 32x32 first at the most colours that fit,
// then a 16x16. Returns what was written, e.g. "32x32 16 colours, 16x16 16 colours";
// fails when not even a two-colour 32x32 fits.
std::string PlaceIcon(std::vector<Resource> &items, const std::vector<Picture> &pictures,
                      const std::vector<uint8_t> &image);

struct VersionInfo {
    std::vector<std::pair<std::string, std::string>> strings;  // UTF-8 KEY=VALUE, in order
    uint16_t fileVersion[4] = {0, 0, 0, 0}, productVersion[4] = {0, 0, 0, 0};
    bool hasFileVersion = false, hasProductVersion = false;
};
// "A.B.C.D" (one to four numbers of 0-65535); fails naming `option` otherwise.
void ParseVersionNumber(const std::string &text, uint16_t out[4], const std::string &option);
// The VS_VERSIONINFO resource, with its strings in the language of `codepage`.
std::vector<uint8_t> BuildVersionResource(const VersionInfo &v, int codepage);
// The Windows language id that goes with an ANSI code page.
uint16_t CodePageLanguage(int codepage);

// What the publisher puts into the stub's resources: --icon, --version-string,
// --file-version, --product-version.
struct PublisherResources {
    std::string icon;  // .ico path; "" keeps the stub's icon
    VersionInfo version;
    bool HasVersion() const {
        return !version.strings.empty() || version.hasFileVersion || version.hasProductVersion;
    }
};
// Rewrites the stub's resource tree with them (nothing changes when there are none);
// returns what the icon became ("" when it stayed the stub's).
std::string ApplyPublisherResources(std::vector<uint8_t> &stub, const PublisherResources &p, int codepage);

// The PE header's TimeDateStamp.
void SetTimeStamp(std::vector<uint8_t> &image, uint32_t seconds);

// What --info shows of a stub's icon and version resource, as label and text:
// "icon" with the image sizes, "file version", "product version" and each string.
std::vector<std::pair<std::string, std::string>> DescribeResources(const std::vector<uint8_t> &image);

}  // namespace mksfx
