// mksfx peimage: the stub's resource tree rewritten with the publisher's icon and
// version information; the PE header's time stamp and checksum (peimage.h).
#include "peimage.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "mksfx.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>
#pragma GCC diagnostic pop

namespace mksfx {

namespace {

// ---- the PE headers ---------------------------------------------------------------

struct PeHeaders {
    size_t pe = 0, optional = 0, sections = 0;
    unsigned count = 0;
};

PeHeaders ReadPeHeaders(const std::vector<uint8_t> &image) {
    PeHeaders h;
    h.pe = PeHeaderOffset(image);
    if (image.size() < 24 || h.pe > image.size() - 24 || std::memcmp(&image[h.pe], "PE\0\0", 4) != 0)
        Fail("the stub is no PE image");
    h.optional = h.pe + 24;
    h.count = GetU16(&image[h.pe + 6]);
    h.sections = h.optional + GetU16(&image[h.pe + 20]);
    if (h.optional + 96 + 16 * 8 > image.size() || h.sections + 40 * h.count > image.size())
        Fail("the stub's PE headers are cut short");
    return h;
}

// The resource directory entry of the optional header's data directory.
size_t ResourceEntry(const PeHeaders &h) { return h.optional + 96 + 2 * 8; }

void Put16(std::vector<uint8_t> &b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    Put16(b, at, uint16_t(v));
    Put16(b, at + 2, uint16_t(v >> 16));
}
void Append16(std::vector<uint8_t> &b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Append32(std::vector<uint8_t> &b, uint32_t v) {
    Append16(b, uint16_t(v));
    Append16(b, uint16_t(v >> 16));
}
void Align(std::vector<uint8_t> &b, size_t to) {
    while (b.size() % to) b.push_back(0);
}

// The section holding the resource tree: its header's offset, RVA, virtual size,
// file offset and file size.
struct Section {
    size_t header = 0;
    uint32_t rva = 0, virtualSize = 0, rawOffset = 0, rawSize = 0;
};

Section ResourceSection(const std::vector<uint8_t> &image, const PeHeaders &h, uint32_t rva) {
    for (unsigned i = 0; i < h.count; ++i) {
        Section s;
        s.header = h.sections + 40 * i;
        s.virtualSize = GetU32(&image[s.header + 8]);
        s.rva = GetU32(&image[s.header + 12]);
        s.rawSize = GetU32(&image[s.header + 16]);
        s.rawOffset = GetU32(&image[s.header + 20]);
        if (rva >= s.rva && rva - s.rva < s.rawSize && uint64_t(s.rawOffset) + s.rawSize <= image.size())
            return s;
    }
    Fail("the stub's resource tree lies outside its sections");
}

// ---- reading a tree ---------------------------------------------------------------

struct TreeReader {
    const std::vector<uint8_t> &image;
    size_t base, size;
    uint32_t rva;
    std::vector<Resource> out;

    const uint8_t *At(uint32_t offset, uint32_t length) {
        if (offset > size || length > size - offset) Fail("the stub's resource tree is damaged");
        return &image[base + offset];
    }
    void Directory(uint32_t offset, int level, Resource r) {
        if (level > 2) Fail("the stub's resource tree is damaged");
        const uint8_t *d = At(offset, 16);
        unsigned entries = GetU16(d + 12) + GetU16(d + 14);
        for (unsigned i = 0; i < entries; ++i) {
            const uint8_t *e = At(offset + 16 + 8 * i, 8);
            uint32_t name = GetU32(e), target = GetU32(e + 4);
            Resource child = r;
            if (level == 0) {
                if (name & 0x80000000u) Fail("the stub has a resource type by name");
                child.type = uint16_t(name);
            } else if (level == 1 && (name & 0x80000000u)) {
                const uint8_t *s = At(name & 0x7FFFFFFFu, 2);
                unsigned n = GetU16(s);
                s = At((name & 0x7FFFFFFFu) + 2, 2 * n);
                for (unsigned k = 0; k < n; ++k) child.name += char16_t(GetU16(s + 2 * k));
            } else if (level == 1) {
                child.id = uint16_t(name);
            } else {
                child.language = uint16_t(name);
            }
            if (target & 0x80000000u) {
                Directory(target & 0x7FFFFFFFu, level + 1, child);
            } else {
                if (level != 2) Fail("the stub's resource tree is damaged");
                const uint8_t *data = At(target, 16);
                uint32_t dataRva = GetU32(data), dataSize = GetU32(data + 4);
                if (dataRva < rva) Fail("the stub's resource tree is damaged");
                const uint8_t *bytes = At(dataRva - rva, dataSize);
                child.data.assign(bytes, bytes + dataSize);
                out.push_back(child);
            }
        }
    }
};

// ---- writing a tree ---------------------------------------------------------------

bool NameBefore(const Resource &a, const Resource &b) {
    // Named entries come before numbered ones, each kind in ascending order.
    if (a.name.empty() != b.name.empty()) return !a.name.empty();
    return a.name.empty() ? a.id < b.id : a.name < b.name;
}
bool SameName(const Resource &a, const Resource &b) { return a.name == b.name && a.id == b.id; }

// ---- icon images ------------------------------------------------------------------

struct Colour {
    uint8_t r, g, b;
};

// Median cut: the picture's colours split into at most `count` boxes, each box
// becoming the mean of its colours.
std::vector<Colour> Palette(std::vector<Colour> colours, size_t count) {
    struct Box {
        size_t begin, end;
    };
    std::vector<Box> boxes{{0, colours.size()}};
    auto range = [&](const Box &b, int channel) {
        uint8_t lo = 255, hi = 0;
        for (size_t i = b.begin; i < b.end; ++i) {
            uint8_t v = channel == 0 ? colours[i].r : channel == 1 ? colours[i].g : colours[i].b;
            lo = std::min(lo, v), hi = std::max(hi, v);
        }
        return b.end > b.begin ? hi - lo : 0;
    };
    while (boxes.size() < count) {
        size_t widest = 0;
        int channel = 0, best = 0;
        for (size_t k = 0; k < boxes.size(); ++k)
            for (int c = 0; c < 3; ++c)
                if (range(boxes[k], c) > best) best = range(boxes[k], c), widest = k, channel = c;
        if (best == 0) break;  // every box holds one colour
        Box b = boxes[widest];
        auto key = [channel](const Colour &c) { return channel == 0 ? c.r : channel == 1 ? c.g : c.b; };
        std::sort(colours.begin() + b.begin, colours.begin() + b.end,
                  [&](const Colour &x, const Colour &y) { return key(x) < key(y); });
        size_t middle = b.begin + (b.end - b.begin) / 2;
        boxes[widest] = {b.begin, middle};
        boxes.push_back({middle, b.end});
    }
    std::vector<Colour> palette;
    for (const Box &b : boxes) {
        if (b.end == b.begin) continue;
        unsigned long r = 0, g = 0, bl = 0, n = b.end - b.begin;
        for (size_t i = b.begin; i < b.end; ++i) r += colours[i].r, g += colours[i].g, bl += colours[i].b;
        palette.push_back({uint8_t((r + n / 2) / n), uint8_t((g + n / 2) / n), uint8_t((bl + n / 2) / n)});
    }
    return palette;
}

size_t Nearest(const std::vector<Colour> &palette, const uint8_t *p) {
    size_t best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < palette.size(); ++i) {
        long dr = long(palette[i].r) - p[0], dg = long(palette[i].g) - p[1], db = long(palette[i].b) - p[2];
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) bestDistance = d, best = i;
    }
    return best;
}

// The picture shown at size x size: one of that size, else the smallest larger one
// (or the largest) scaled.
Picture PictureAt(const std::vector<Picture> &pictures, int size) {
    const Picture *pick = nullptr;
    for (const Picture &p : pictures) {
        if (p.width == size && p.height == size) return p;
        bool larger = p.width >= size && p.height >= size;
        bool pickLarger = pick && pick->width >= size && pick->height >= size;
        if (!pick || (larger && (!pickLarger || p.width < pick->width)) ||
            (!larger && !pickLarger && p.width > pick->width))
            pick = &p;
    }
    Picture scaled;
    scaled.width = scaled.height = size;
    scaled.rgba.resize(size_t(size) * size * 4);
    if (!stbir_resize_uint8_srgb(pick->rgba.data(), pick->width, pick->height, 0, scaled.rgba.data(),
                                 size, size, 0, 4, 3, 0))
        Fail("the icon cannot be scaled");
    return scaled;
}

std::u16string Utf16(const std::string &utf8, const std::string &label) {
    if (!IsValidUtf8(utf8)) Fail(label + ": not valid UTF-8");
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        // Valid UTF-8: the lead byte gives the length, each further byte six bits.
        uint8_t lead = uint8_t(utf8[i++]);
        size_t more = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        uint32_t cp = more ? lead & (0x3F >> more) : lead;
        while (more--) cp = cp << 6 | (uint8_t(utf8[i++]) & 0x3F);
        if (cp >= 0x10000) {
            out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

void AppendText(std::vector<uint8_t> &b, const std::u16string &s) {
    for (char16_t c : s) Append16(b, uint16_t(c));
    Append16(b, 0);
}

// One node of a version resource: wLength, wValueLength, wType, the key, the value
// and the children, each part starting on a 32-bit boundary.
std::vector<uint8_t> VersionNode(const std::u16string &key, const std::vector<uint8_t> &value,
                                 uint16_t valueLength, uint16_t type,
                                 const std::vector<std::vector<uint8_t>> &children) {
    std::vector<uint8_t> b(6, 0);
    AppendText(b, key);
    Align(b, 4);
    b.insert(b.end(), value.begin(), value.end());
    for (const auto &child : children) {
        Align(b, 4);
        b.insert(b.end(), child.begin(), child.end());
    }
    Put16(b, 0, uint16_t(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, type);
    return b;
}

std::string Hex4(unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (int shift = 12; shift >= 0; shift -= 4) s += digits[(v >> shift) & 15];
    return s;
}

std::string VersionText(const uint16_t v[4]) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
}

const char *Depth(int bits) {
    return bits == 32 ? "32-bit colour with alpha" : bits == 8 ? "256 colours" : bits == 4 ? "16 colours"
                                                                                           : "2 colours";
}

}  // namespace

// ---- the tree ---------------------------------------------------------------------

ResourceRoom FindResourceRoom(const std::vector<uint8_t> &image) {
    PeHeaders h = ReadPeHeaders(image);
    uint32_t rva = GetU32(&image[ResourceEntry(h)]), size = GetU32(&image[ResourceEntry(h) + 4]);
    if (!rva || !size) Fail("the stub has no resource tree");
    Section s = ResourceSection(image, h, rva);
    ResourceRoom room;
    room.offset = rva - s.rva + s.rawOffset;
    room.room = s.rawOffset + s.rawSize - room.offset;
    room.size = size;
    // Nothing of the section may follow the tree: it is the tree's room.
    if (size > room.room || uint64_t(rva) + size != uint64_t(s.rva) + s.virtualSize)
        Fail("the stub's resource tree is not the last thing in its section");
    return room;
}

std::vector<Resource> ReadResources(const std::vector<uint8_t> &image) {
    PeHeaders h = ReadPeHeaders(image);
    ResourceRoom room = FindResourceRoom(image);
    TreeReader reader{image, room.offset, room.size, GetU32(&image[ResourceEntry(h)]), {}};
    reader.Directory(0, 0, Resource());
    return reader.out;
}

std::vector<uint8_t> BuildResourceTree(std::vector<Resource> items, uint32_t rva) {
    std::stable_sort(items.begin(), items.end(), [](const Resource &a, const Resource &b) {
        if (a.type != b.type) return a.type < b.type;
        if (!SameName(a, b)) return NameBefore(a, b);
        return a.language < b.language;
    });
    // The three levels: types, names of a type, languages of a name. A directory
    // is 16 bytes and 8 an entry; all directories come first, then the data
    // entries, the name strings and the data.
    struct Dir {
        std::vector<size_t> first;  // the first item of each entry
        std::vector<size_t> child;  // each entry's directory (levels 0 and 1)
    };
    std::vector<Dir> dirs(1);
    std::vector<int> level{0};
    // Level 0.
    for (size_t i = 0; i < items.size(); ++i)
        if (i == 0 || items[i].type != items[i - 1].type) dirs[0].first.push_back(i);
    for (size_t t = 0; t < dirs[0].first.size(); ++t) {
        dirs[0].child.push_back(dirs.size());
        dirs.push_back({});
        level.push_back(1);
    }
    for (size_t t = 0; t < dirs[0].first.size(); ++t) {
        size_t begin = dirs[0].first[t], end = t + 1 < dirs[0].first.size() ? dirs[0].first[t + 1] : items.size();
        Dir &d = dirs[dirs[0].child[t]];
        for (size_t i = begin; i < end; ++i)
            if (i == begin || !SameName(items[i], items[i - 1])) d.first.push_back(i);
    }
    for (size_t t = 0; t < dirs[0].first.size(); ++t) {
        size_t names = dirs[dirs[0].child[t]].first.size();
        for (size_t n = 0; n < names; ++n) {
            dirs[dirs[0].child[t]].child.push_back(dirs.size());
            size_t begin = dirs[dirs[0].child[t]].first[n];
            size_t end = n + 1 < names ? dirs[dirs[0].child[t]].first[n + 1]
                         : t + 1 < dirs[0].first.size() ? dirs[0].first[t + 1] : items.size();
            Dir languages;
            for (size_t i = begin; i < end; ++i) languages.first.push_back(i);
            dirs.push_back(languages);
            level.push_back(2);
        }
    }
    std::vector<size_t> dirOffset;
    size_t at = 0;
    for (const Dir &d : dirs) dirOffset.push_back(at), at += 16 + 8 * d.first.size();
    size_t dataEntries = at;
    at += 16 * items.size();
    std::map<std::u16string, size_t> strings;
    for (const Resource &r : items)
        if (!r.name.empty() && !strings.count(r.name)) strings[r.name] = at, at += 2 + 2 * r.name.size();

    std::vector<uint8_t> b(at, 0);
    for (size_t k = 0; k < dirs.size(); ++k) {
        const Dir &d = dirs[k];
        size_t o = dirOffset[k], named = 0;
        for (size_t i = 0; i < d.first.size(); ++i) {
            const Resource &r = items[d.first[i]];
            uint32_t name = level[k] == 0 ? r.type : level[k] == 2 ? r.language
                            : r.name.empty() ? r.id : uint32_t(0x80000000u | strings[r.name]);
            if (level[k] == 1 && !r.name.empty()) ++named;
            uint32_t target = level[k] < 2 ? uint32_t(0x80000000u | dirOffset[d.child[i]])
                                           : uint32_t(dataEntries + 16 * d.first[i]);
            Put32(b, o + 16 + 8 * i, name);
            Put32(b, o + 20 + 8 * i, target);
        }
        Put16(b, o + 12, uint16_t(named));
        Put16(b, o + 14, uint16_t(d.first.size() - named));
    }
    for (const auto &s : strings) {
        Put16(b, s.second, uint16_t(s.first.size()));
        for (size_t k = 0; k < s.first.size(); ++k) Put16(b, s.second + 2 + 2 * k, uint16_t(s.first[k]));
    }
    for (size_t i = 0; i < items.size(); ++i) {
        Align(b, 8);
        Put32(b, dataEntries + 16 * i, uint32_t(rva + b.size()));
        Put32(b, dataEntries + 16 * i + 4, uint32_t(items[i].data.size()));
        b.insert(b.end(), items[i].data.begin(), items[i].data.end());
    }
    return b;
}

void WriteResources(std::vector<uint8_t> &image, const std::vector<Resource> &items) {
    PeHeaders h = ReadPeHeaders(image);
    ResourceRoom room = FindResourceRoom(image);
    uint32_t rva = GetU32(&image[ResourceEntry(h)]);
    Section s = ResourceSection(image, h, rva);
    std::vector<uint8_t> tree = BuildResourceTree(items, rva);
    if (tree.size() > room.room) {
        // What takes the room, so that the publisher sees what to shorten.
        std::map<std::string, size_t> parts;
        size_t data = 0;
        for (const Resource &r : items) {
            const char *what = r.type == kRtDialog ? "dialogs" : r.type == kRtManifest ? "manifest"
                               : r.type == kRtVersion ? "version information" : r.type == kRtIcon || r.type == kRtGroupIcon ? "icon"
                               : "other";
            parts[what] += r.data.size();
            data += r.data.size();
        }
        std::string list;
        for (const auto &part : parts) list += part.first + " " + std::to_string(part.second) + ", ";
        Fail("the resources need " + std::to_string(tree.size()) + " bytes (" + list + "directory and alignment " +
             std::to_string(tree.size() - data) + "); the stub has room for " + std::to_string(room.room) + ": " +
             std::to_string(tree.size() - room.room) + " bytes missing");
    }
    std::copy(tree.begin(), tree.end(), image.begin() + long(room.offset));
    std::fill(image.begin() + long(room.offset + tree.size()), image.begin() + long(room.offset + room.room), 0);
    Put32(image, ResourceEntry(h) + 4, uint32_t(tree.size()));
    Put32(image, s.header + 8, uint32_t(rva - s.rva + tree.size()));
    static const uint8_t kSignatures[][4] = {{'P', 'K', 3, 4}, {'P', 'K', 1, 2}, {'P', 'K', 5, 6}, {'P', 'K', 7, 8}};
    for (const auto &sig : kSignatures)
        if (std::search(image.begin() + long(room.offset), image.begin() + long(room.offset + tree.size()),
                        sig, sig + 4) != image.begin() + long(room.offset + tree.size()))
            Fail("the new resources hold the bytes of a ZIP record signature, which no stub may hold; "
                 "change the icon or a version string slightly");
}

// ---- the icon ---------------------------------------------------------------------

std::vector<Picture> ReadIcoFile(const std::string &path) {
    std::vector<uint8_t> f = ReadWholeFile(path);
    auto bad = [&](const std::string &what) { Fail(path + ": " + what); };
    if (f.size() < 6 || GetU16(&f[0]) != 0 || GetU16(&f[2]) != 1 || GetU16(&f[4]) == 0)
        bad("not an icon file (.ico)");
    std::vector<Picture> pictures;
    unsigned count = GetU16(&f[4]);
    for (unsigned i = 0; i < count; ++i) {
        if (6 + 16 * (i + 1) > f.size()) bad("the icon directory is cut short");
        const uint8_t *e = &f[6 + 16 * i];
        uint32_t size = GetU32(e + 8), offset = GetU32(e + 12);
        if (offset > f.size() || size > f.size() - offset || size < 40) bad("image " + std::to_string(i + 1) + " lies outside the file");
        const uint8_t *p = &f[offset];
        std::vector<uint8_t> file;
        uint32_t dibBits = 0, maskOffset = 0;
        int maskWidth = 0, maskHeight = 0;
        if (std::memcmp(p, "\x89PNG", 4) == 0) {
            file.assign(p, p + size);
        } else {
            // A DIB of twice the image's height (colours, then the AND mask): given the
            // file header of a .bmp and its real height, it is read as one.
            uint32_t headerSize = GetU32(p), bits = GetU16(p + 14), used = GetU32(p + 32);
            int width = int(GetU32(p + 4)), height = int(GetU32(p + 8)) / 2;
            if (headerSize < 40 || headerSize > size || width <= 0 || height <= 0 || width > 1024 || height > 1024)
                bad("image " + std::to_string(i + 1) + " is not a bitmap this tool reads");
            uint32_t palette = bits <= 8 ? 4 * (used ? used : 1u << bits) : 0;
            dibBits = headerSize + palette;
            maskOffset = dibBits + uint32_t(((width * bits + 31) / 32) * 4 * height);
            maskWidth = bits < 32 ? width : 0, maskHeight = height;
            file = {'B', 'M'};
            Append32(file, 14 + size);
            Append32(file, 0);
            Append32(file, 14 + dibBits);
            file.insert(file.end(), p, p + size);
            Put32(file, 14 + 8, uint32_t(height));
        }
        int w = 0, h = 0, channels = 0;
        stbi_uc *pixels = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &channels, 4);
        if (!pixels) bad("image " + std::to_string(i + 1) + ": " + stbi_failure_reason());
        Picture picture;
        picture.width = w, picture.height = h;
        picture.rgba.assign(pixels, pixels + size_t(w) * h * 4);
        stbi_image_free(pixels);
        // Below 32 bits the AND mask says which pixels are transparent (rows bottom-up).
        uint32_t maskStride = uint32_t(((maskWidth + 31) / 32) * 4);
        if (maskWidth && maskOffset + uint64_t(maskStride) * maskHeight <= size)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (p[maskOffset + maskStride * uint32_t(h - 1 - y) + x / 8] & (0x80 >> (x % 8)))
                        picture.rgba[(size_t(y) * w + x) * 4 + 3] = 0;
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

std::vector<uint8_t> EncodeIconImage(const std::vector<Picture> &pictures, int size, int bits) {
    Picture p = PictureAt(pictures, size);
    const size_t pixels = size_t(size) * size;
    auto opaque = [&](size_t i) { return p.rgba[4 * i + 3] >= 128; };
    std::vector<Colour> palette;
    if (bits <= 8) {
        std::vector<Colour> colours;
        bool transparent = false;
        for (size_t i = 0; i < pixels; ++i) {
            if (opaque(i)) colours.push_back({p.rgba[4 * i], p.rgba[4 * i + 1], p.rgba[4 * i + 2]});
            else transparent = true;
        }
        // A transparent pixel shows the screen through black colour bits: black stays.
        size_t count = size_t(1) << bits;
        if (transparent) palette.push_back({0, 0, 0});
        std::vector<Colour> own = Palette(colours, count - palette.size());
        palette.insert(palette.end(), own.begin(), own.end());
        palette.resize(count, Colour{0, 0, 0});
    }
    const uint32_t stride = uint32_t(((size * bits + 31) / 32) * 4), maskStride = uint32_t(((size + 31) / 32) * 4);
    std::vector<uint8_t> b;
    Append32(b, 40);
    Append32(b, uint32_t(size));
    Append32(b, uint32_t(2 * size));  // the colour bits and the AND mask
    Append16(b, 1);
    Append16(b, uint16_t(bits));
    Append32(b, 0);
    Append32(b, (stride + maskStride) * uint32_t(size));
    for (int k = 0; k < 4; ++k) Append32(b, 0);
    for (const Colour &c : palette) b.insert(b.end(), {c.b, c.g, c.r, 0});
    size_t colourBits = b.size(), mask = colourBits + stride * size;
    b.resize(mask + maskStride * size, 0);
    for (int y = 0; y < size; ++y) {
        size_t row = colourBits + stride * size_t(size - 1 - y), maskRow = mask + maskStride * size_t(size - 1 - y);
        for (int x = 0; x < size; ++x) {
            size_t i = size_t(y) * size + x;
            const uint8_t *px = &p.rgba[4 * i];
            if (!opaque(i)) b[maskRow + x / 8] |= uint8_t(0x80 >> (x % 8));
            if (bits == 32) {
                b[row + 4 * x] = px[2], b[row + 4 * x + 1] = px[1], b[row + 4 * x + 2] = px[0];
                b[row + 4 * x + 3] = px[3];
                continue;
            }
            size_t index = opaque(i) ? Nearest(palette, px) : 0;
            int shift = 8 - bits - (x * bits) % 8;
            b[row + x * bits / 8] |= uint8_t(index << shift);
        }
    }
    return b;
}

std::string PlaceIcon(std::vector<Resource> &items, const std::vector<Picture> &pictures,
                      const std::vector<uint8_t> &image) {
    Resource group;
    std::vector<Resource> rest;
    for (Resource &r : items) {
        if (r.type == kRtGroupIcon) group = r;
        if (r.type != kRtIcon && r.type != kRtGroupIcon) rest.push_back(r);
    }
    if (group.type != kRtGroupIcon) Fail("the stub has no icon to replace");
    const size_t room = FindResourceRoom(image).room;
    // A 32x32 of two colours rather than none; a 16x16 of fewer than 16 colours
    // would look worse than the 32x32 scaled down, so none is written then.
    static const int kDepths[] = {32, 8, 4, 1};
    std::vector<std::pair<int, std::vector<uint8_t>>> chosen;  // size, image
    std::vector<int> chosenBits;
    auto build = [&](const std::vector<std::pair<int, std::vector<uint8_t>>> &images,
                     const std::vector<int> &depths) {
        std::vector<Resource> all = rest;
        Resource g = group;
        g.data.clear();
        Append16(g.data, 0);
        Append16(g.data, 1);
        Append16(g.data, uint16_t(images.size()));
        for (size_t k = 0; k < images.size(); ++k) {
            int size = images[k].first, bits = depths[k];
            g.data.insert(g.data.end(), {uint8_t(size), uint8_t(size), uint8_t(bits < 8 ? 1 << bits : 0), 0});
            Append16(g.data, 1);
            Append16(g.data, uint16_t(bits));
            Append32(g.data, uint32_t(images[k].second.size()));
            Append16(g.data, uint16_t(k + 1));
            Resource icon;
            icon.type = kRtIcon, icon.id = uint16_t(k + 1), icon.language = group.language;
            icon.data = images[k].second;
            all.push_back(icon);
        }
        all.push_back(g);
        return all;
    };
    auto fits = [&](const std::vector<Resource> &all) { return BuildResourceTree(all, 0).size() <= room; };
    std::string what;
    for (int size : {32, 16}) {
        for (int bits : kDepths) {
            if (size == 16 && bits == 1) break;
            auto images = chosen;
            auto depths = chosenBits;
            images.push_back({size, EncodeIconImage(pictures, size, bits)});
            depths.push_back(bits);
            if (!fits(build(images, depths))) continue;
            chosen = images, chosenBits = depths;
            what += std::string(what.empty() ? "" : ", ") + std::to_string(size) + "x" + std::to_string(size) +
                    " " + Depth(bits);
            break;
        }
        if (chosen.empty()) {
            auto smallest = build({{32, EncodeIconImage(pictures, 32, 1)}}, {1});
            Fail("the icon does not fit: with even a 32x32 image of 2 colours, " +
                 std::to_string(BuildResourceTree(smallest, 0).size() - room) +
                 " bytes are missing in the stub's resources (fewer or shorter version strings make room)");
        }
    }
    items = build(chosen, chosenBits);
    return what;
}

// ---- version information ------------------------------------------------------------

void ParseVersionNumber(const std::string &text, uint16_t out[4], const std::string &option) {
    size_t part = 0, i = 0;
    for (int k = 0; k < 4; ++k) out[k] = 0;
    while (true) {
        size_t start = i;
        unsigned long v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && v <= 65535) v = v * 10 + unsigned(text[i++] - '0');
        if (i == start || v > 65535 || part == 4)
            Fail(option + ": expected up to four numbers 0-65535 such as 2.3.4.5, got \"" + text + "\"");
        out[part++] = uint16_t(v);
        if (i == text.size()) return;
        if (text[i++] != '.') Fail(option + ": expected up to four numbers 0-65535 such as 2.3.4.5, got \"" + text + "\"");
    }
}

uint16_t CodePageLanguage(int codepage) {
    static const std::pair<int, uint16_t> kLanguages[] = {
        {874, 0x041E},  {932, 0x0411},  {936, 0x0804},  {949, 0x0412},  {950, 0x0404},
        {1250, 0x0405}, {1251, 0x0419}, {1252, 0x0409}, {1253, 0x0408}, {1254, 0x041F},
        {1255, 0x040D}, {1256, 0x0401}, {1257, 0x0427}, {1258, 0x042A},
    };
    for (const auto &l : kLanguages)
        if (l.first == codepage) return l.second;
    return 0x0409;
}

std::vector<uint8_t> BuildVersionResource(const VersionInfo &v, int codepage) {
    // The strings are UTF-16 whatever the ANSI code page: the table is marked
    // Unicode (1200) in the code page's language.
    const uint16_t language = CodePageLanguage(codepage), charset = 1200;
    auto strings = v.strings;
    auto has = [&](const std::string &key) {
        for (const auto &s : strings)
            if (s.first == key) return true;
        return false;
    };
    if (v.hasFileVersion && !has("FileVersion")) strings.push_back({"FileVersion", VersionText(v.fileVersion)});
    if (v.hasProductVersion && !has("ProductVersion"))
        strings.push_back({"ProductVersion", VersionText(v.productVersion)});
    std::vector<std::vector<uint8_t>> nodes;
    for (const auto &s : strings) {
        std::u16string value = Utf16(s.second, "--version-string " + s.first);
        std::vector<uint8_t> text;
        AppendText(text, value);
        nodes.push_back(VersionNode(Utf16(s.first, "--version-string"), text, uint16_t(value.size() + 1), 1, {}));
    }
    std::string tableKey = Hex4(language) + Hex4(charset);
    auto table = VersionNode(std::u16string(tableKey.begin(), tableKey.end()), {}, 0, 1, nodes);
    auto stringInfo = VersionNode(u"StringFileInfo", {}, 0, 1, {table});
    std::vector<uint8_t> translation;
    Append16(translation, language);
    Append16(translation, charset);
    auto var = VersionNode(u"Translation", translation, 4, 0, {});
    auto varInfo = VersionNode(u"VarFileInfo", {}, 0, 1, {var});
    std::vector<uint8_t> fixed;  // VS_FIXEDFILEINFO
    Append32(fixed, 0xFEEF04BD);
    Append32(fixed, 0x00010000);
    Append32(fixed, uint32_t(v.fileVersion[0]) << 16 | v.fileVersion[1]);
    Append32(fixed, uint32_t(v.fileVersion[2]) << 16 | v.fileVersion[3]);
    Append32(fixed, uint32_t(v.productVersion[0]) << 16 | v.productVersion[1]);
    Append32(fixed, uint32_t(v.productVersion[2]) << 16 | v.productVersion[3]);
    Append32(fixed, 0x3F);  // every flag is meaningful, none is set
    Append32(fixed, 0);
    Append32(fixed, 0x4);   // VOS__WINDOWS32
    Append32(fixed, 0x1);   // VFT_APP
    for (int k = 0; k < 3; ++k) Append32(fixed, 0);
    return VersionNode(u"VS_VERSION_INFO", fixed, uint16_t(fixed.size()), 0, {stringInfo, varInfo});
}

std::string ApplyPublisherResources(std::vector<uint8_t> &stub, const PublisherResources &p, int codepage) {
    if (p.icon.empty() && !p.HasVersion()) return "";
    std::vector<Resource> items = ReadResources(stub);
    if (p.HasVersion()) {
        items.erase(std::remove_if(items.begin(), items.end(), [](const Resource &r) { return r.type == kRtVersion; }),
                    items.end());
        Resource version;
        version.type = kRtVersion, version.id = 1, version.language = CodePageLanguage(codepage);
        version.data = BuildVersionResource(p.version, codepage);
        items.push_back(version);
    }
    std::string icon;
    if (!p.icon.empty()) icon = PlaceIcon(items, ReadIcoFile(p.icon), stub);
    WriteResources(stub, items);
    return icon;
}

// ---- header fields ----------------------------------------------------------------

void SetTimeStamp(std::vector<uint8_t> &image, uint32_t seconds) {
    // Only the COFF header is needed (the stub's own check has found "PE").
    size_t pe = PeHeaderOffset(image);
    if (image.size() >= 24 && pe <= image.size() - 24) Put32(image, pe + 8, seconds);
}

namespace {

// One node of a version resource at `at`: its length, key, value and where its
// children begin; false when it does not lie inside `end`.
struct Node {
    size_t length, value, valueBytes, children;
    uint16_t type;
    std::u16string key;
};
bool ReadNode(const std::vector<uint8_t> &b, size_t at, size_t end, Node &n) {
    if (at + 6 > end) return false;
    n.length = GetU16(&b[at]);
    n.type = GetU16(&b[at + 4]);
    if (n.length < 6 || at + n.length > end) return false;
    size_t k = at + 6;
    n.key.clear();
    for (; k + 2 <= at + n.length && GetU16(&b[k]); k += 2) n.key += char16_t(GetU16(&b[k]));
    n.value = (k + 2 + 3) & ~size_t(3);
    n.valueBytes = GetU16(&b[at + 2]) * (n.type == 1 ? 2u : 1u);
    n.children = std::min((n.value + n.valueBytes + 3) & ~size_t(3), at + n.length);
    return n.value <= at + n.length;
}

std::string Utf8(const std::u16string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) out += char(c);
        else if (c < 0x800) out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
        else if (c < 0x10000) out += char(0xE0 | c >> 12), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
        else out += char(0xF0 | c >> 18), out += char(0x80 | (c >> 12 & 0x3F)), out += char(0x80 | (c >> 6 & 0x3F)), out += char(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> DescribeResources(const std::vector<uint8_t> &image) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::vector<Resource> items;
    try {
        items = ReadResources(image);
    } catch (const Failure &) {
        return {{"resources", "(none readable)"}};
    }
    std::string icons;
    for (const Resource &r : items) {
        if (r.type != kRtGroupIcon || r.data.size() < 6) continue;
        for (size_t k = 0, n = GetU16(&r.data[4]); k < n && 6 + 14 * (k + 1) <= r.data.size(); ++k) {
            const uint8_t *e = &r.data[6 + 14 * k];
            int w = e[0] ? e[0] : 256, bits = GetU16(e + 6);
            icons += std::string(icons.empty() ? "" : ", ") + std::to_string(w) + "x" + std::to_string(w) + " " +
                     Depth(bits);
        }
    }
    lines.push_back({"icon", icons.empty() ? "(none)" : icons});
    const std::vector<uint8_t> *version = nullptr;
    for (const Resource &r : items)
        if (r.type == kRtVersion) version = &r.data;
    if (!version) {
        lines.push_back({"version", "(none)"});
        return lines;
    }
    const std::vector<uint8_t> &b = *version;
    Node root;
    if (!ReadNode(b, 0, b.size(), root) || root.valueBytes < 52 || root.value + 52 > b.size()) {
        lines.push_back({"version", "(damaged)"});
        return lines;
    }
    auto number = [&](size_t at) {
        uint32_t ms = GetU32(&b[at]), ls = GetU32(&b[at + 4]);
        return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
               std::to_string(ls & 0xFFFF);
    };
    lines.push_back({"file version", number(root.value + 8)});
    lines.push_back({"product version", number(root.value + 16)});
    // StringFileInfo, its tables, their strings.
    for (size_t at = root.children; at < root.length;) {
        Node info;
        if (!ReadNode(b, at, root.length, info)) break;
        if (info.key == u"StringFileInfo")
            for (size_t t = info.children; t < at + info.length;) {
                Node table;
                if (!ReadNode(b, t, at + info.length, table)) break;
                for (size_t k = table.children; k < t + table.length;) {
                    Node str;
                    if (!ReadNode(b, k, t + table.length, str)) break;
                    std::u16string value;
                    for (size_t v = str.value; v + 2 <= k + str.length && GetU16(&b[v]); v += 2)
                        value += char16_t(GetU16(&b[v]));
                    lines.push_back({"version string", Utf8(str.key) + " \"" + Utf8(value) + "\""});
                    k = (k + str.length + 3) & ~size_t(3);
                }
                t = (t + table.length + 3) & ~size_t(3);
            }
        at = (at + info.length + 3) & ~size_t(3);
    }
    return lines;
}

}  // namespace mksfx
