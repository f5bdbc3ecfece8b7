// mksfx manifest: the execution level that the stub's application manifest
// requests (resources/sfx.manifest).
//
// The configuration header sits at the stub's length, so the stub copy must keep
// every byte in place: the manifest gives the level a slot of fixed width,
//   level="asInvoker"            />
// padded with spaces to the width of level="requireAdministrator" and followed
// by one more space, and a new level is written over the slot.
#include "mksfx.h"

#include <cctype>
#include <cstring>

namespace mksfx {

namespace {

const char kElement[] = "<requestedExecutionLevel ";
const char kAttribute[] = "level=\"";
constexpr size_t kSlotWidth = sizeof "level=\"requireAdministrator\"" - 1;

struct Level {
    const char *option, *value;
};
const Level kLevels[] = {
    {"invoker", "asInvoker"},
    {"highest", "highestAvailable"},
    {"admin", "requireAdministrator"},
};

}  // namespace

size_t FindLevelSlot(const uint8_t *data, size_t size) {
    const size_t elementLength = sizeof kElement - 1, attributeLength = sizeof kAttribute - 1;
    for (size_t i = 0; i + elementLength + kSlotWidth + 1 <= size; ++i) {
        if (std::memcmp(data + i, kElement, elementLength) != 0) continue;
        const uint8_t *slot = data + i + elementLength;
        if (std::memcmp(slot, kAttribute, attributeLength) != 0) continue;
        // The value, its closing quote, spaces to the slot's end, one more space.
        size_t k = attributeLength;
        while (k < kSlotWidth && std::isalpha(slot[k])) ++k;
        if (k == attributeLength || k == kSlotWidth || slot[k] != '"') continue;
        while (++k < kSlotWidth && slot[k] == ' ') {
        }
        if (k == kSlotWidth && slot[k] == ' ') return i + elementLength;
    }
    return std::string::npos;
}

std::string ManifestLevel(const uint8_t *data, size_t size) {
    size_t at = FindLevelSlot(data, size);
    if (at == std::string::npos) return std::string();
    std::string value(reinterpret_cast<const char *>(data + at + sizeof kAttribute - 1), kSlotWidth);
    return value.substr(0, value.find('"'));
}

void SetManifestLevel(std::vector<uint8_t> &stub, const std::string &elevation) {
    const Level *level = nullptr;
    for (const Level &l : kLevels)
        if (elevation == l.option) level = &l;
    if (!level) Fail("--elevation: expected invoker, highest or admin, got \"" + elevation + "\"");
    size_t at = FindLevelSlot(stub.data(), stub.size());
    if (at == std::string::npos)
        Fail("--elevation: the stub's manifest has no execution-level slot (a stub of another build?)");
    std::string slot = std::string(kAttribute) + level->value + "\"";
    slot.resize(kSlotWidth, ' ');
    std::memcpy(stub.data() + at, slot.data(), kSlotWidth);
}

}  // namespace mksfx
