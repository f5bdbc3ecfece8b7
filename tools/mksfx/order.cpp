// mksfx list order: the order in which the stub's sorted file list shows entry
// names, so that entries can be written in that order.
//
// The stub adds every name to a list box with LBS_SORT; on Start it looks each
// entry up with LB_FINDSTRINGEXACT, searching on from the item found for the
// previous entry. The search is linear and wraps at the end, so an archive in any
// other order makes each lookup run through much of the list: the whole pass then
// costs in the square of the entry count. In the list's order every lookup finds
// its item at the next index. The order is only a hint: a name the list places
// elsewhere costs one longer search, never a wrong file.
//
// The list box compares with the system's case-insensitive string comparison
// (CompareString, NORM_IGNORECASE, in the user's locale), a "word sort" on the
// sort key LCMapString(LCMAP_SORTKEY) describes, level by level:
//   1. the primary weights of the characters: script, then letter or symbol.
//      Punctuation and symbols come before digits, digits before letters; case
//      is ignored; "ae", "oe", "ss" and "th" ligatures weigh as their two letters;
//      the soft hyphen weighs nothing;
//   2. the diacritic weights ("e" before e-acute, 0xE9);
//   3. the case level, of which NORM_IGNORECASE keeps only the compatibility
//      forms (superscript digits, ordinal indicators);
//   4. the "special" weights of the word-sort punctuation, the hyphen, the
//      apostrophe, the dashes and the control characters, which level 1 skips
//      (so that "co-op" sorts beside "coop"): each is recorded with the number of
//      primary weights before it, counted down from 0xFFFF, so that the same mark
//      earlier in a name sorts later.
// Names are bytes; the stub hands them to the list as they are, which reads them
// in the ANSI code page. The weights below are those of code page 1252 (Western
// European) in the default table that US English and most locales use; the order
// of ASCII names holds in nearly every locale. They are the weights that
// LCMapString(LCMAP_SORTKEY | NORM_IGNORECASE) gives each byte (locale 0409); a
// sorted list box orders thousands of random names of these bytes by the keys
// built here, apart from names whose keys are equal.
#include "mksfx.h"

namespace mksfx {

namespace {

// Primary weight of each byte: script in the high byte, weight in the low byte.
// 0x00NN (NN > 0): a word-sort mark with special weight NN; 0: no weight at all.
// The five bytes that code page 1252 leaves undefined read as C1 controls.
const uint16_t kPrimary[256] = {
    0x0000, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0008, 0x0009,  // 00
    0x000A, 0x0705, 0x0706, 0x0707, 0x0708, 0x0709, 0x000B, 0x000C,  // 08
    0x000D, 0x000E, 0x000F, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014,  // 10
    0x0015, 0x0016, 0x0017, 0x0018, 0x0019, 0x001A, 0x001B, 0x001C,  // 18
    0x0702, 0x071C, 0x071D, 0x071F, 0x0721, 0x0723, 0x0725, 0x0080,  // 20
    0x0727, 0x072A, 0x072D, 0x0803, 0x072F, 0x0082, 0x0733, 0x0735,  // 28
    0x0D03, 0x0D1A, 0x0D1C, 0x0D1E, 0x0D20, 0x0D22, 0x0D24, 0x0D26,  // 30
    0x0D28, 0x0D2A, 0x0737, 0x073A, 0x080E, 0x0812, 0x0814, 0x073C,  // 38
    0x073E, 0x0E02, 0x0E09, 0x0E0A, 0x0E1A, 0x0E21, 0x0E23, 0x0E25,  // 40
    0x0E2C, 0x0E32, 0x0E35, 0x0E36, 0x0E48, 0x0E51, 0x0E70, 0x0E7C,  // 48
    0x0E7E, 0x0E89, 0x0E8A, 0x0E91, 0x0E99, 0x0E9F, 0x0EA2, 0x0EA4,  // 50
    0x0EA6, 0x0EA7, 0x0EA9, 0x073F, 0x0741, 0x0742, 0x0743, 0x0744,  // 58
    0x0748, 0x0E02, 0x0E09, 0x0E0A, 0x0E1A, 0x0E21, 0x0E23, 0x0E25,  // 60
    0x0E2C, 0x0E32, 0x0E35, 0x0E36, 0x0E48, 0x0E51, 0x0E70, 0x0E7C,  // 68
    0x0E7E, 0x0E89, 0x0E8A, 0x0E91, 0x0E99, 0x0E9F, 0x0EA2, 0x0EA4,  // 70
    0x0EA6, 0x0EA7, 0x0EA9, 0x074A, 0x074C, 0x074E, 0x0750, 0x001D,  // 78
    0x07A9, 0x0CFA, 0x077B, 0x0E23, 0x077F, 0x0A10, 0x0B25, 0x0B26,  // 80
    0x0743, 0x0B2C, 0x0E91, 0x0788, 0x0E7C, 0x0CFA, 0x0EA9, 0x0CFA,  // 88
    0x0CFA, 0x0779, 0x077A, 0x077D, 0x077E, 0x0B27, 0x0089, 0x0090,  // 90
    0x075D, 0x0E9C, 0x0E91, 0x0789, 0x0E7C, 0x0CFA, 0x0EA9, 0x0EA7,  // 98
    0x0704, 0x0751, 0x0797, 0x0798, 0x0799, 0x079A, 0x0752, 0x0A06,  // A0
    0x0753, 0x0A07, 0x0E02, 0x0818, 0x0A08, 0x0000, 0x0A09, 0x0754,  // A8
    0x0A0A, 0x0817, 0x0D1C, 0x0D1E, 0x0755, 0x0A0B, 0x0A0C, 0x0A0D,  // B0
    0x0756, 0x0D1A, 0x0E7C, 0x081A, 0x0D0D, 0x0D11, 0x0D15, 0x0757,  // B8
    0x0E02, 0x0E02, 0x0E02, 0x0E02, 0x0E02, 0x0E02, 0x0E02, 0x0E0A,  // C0
    0x0E21, 0x0E21, 0x0E21, 0x0E21, 0x0E32, 0x0E32, 0x0E32, 0x0E32,  // C8
    0x0E1A, 0x0E70, 0x0E7C, 0x0E7C, 0x0E7C, 0x0E7C, 0x0E7C, 0x081C,  // D0
    0x0E7C, 0x0E9F, 0x0E9F, 0x0E9F, 0x0E9F, 0x0EA7, 0x0E99, 0x0E91,  // D8
    0x0E02, 0x0E02, 0x0E02, 0x0E02, 0x0E02, 0x0E02, 0x0E02, 0x0E0A,  // E0
    0x0E21, 0x0E21, 0x0E21, 0x0E21, 0x0E32, 0x0E32, 0x0E32, 0x0E32,  // E8
    0x0E1A, 0x0E70, 0x0E7C, 0x0E7C, 0x0E7C, 0x0E7C, 0x0E7C, 0x081D,  // F0
    0x0E7C, 0x0E9F, 0x0E9F, 0x0E9F, 0x0E9F, 0x0EA7, 0x0E99, 0x0EA7,  // F8
};

// Diacritic weight of the bytes 0x80-0xFF (below them: none); 0 for none.
const uint8_t kDiacritic[128] = {
      0,  30,   0,  67,   0,   0,   0,   0,   0,  12,  20,   0,   0,  42,  20,  44,  // 80
     45,   0,   0,   0,   0,   0,   0,   0,   0,   0,  20,   0,   0,  58,  20,  19,  // 90
      0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   3,   0,   0,   0,   0,   0,  // A0
      0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   3,   0,   0,   0,   0,   0,  // B0
     15,  14,  18,  25,  19,  26,   0,  28,  15,  14,  18,  19,  15,  14,  18,  19,  // C0
    104,  25,  15,  14,  18,  25,  19,   0,  33,  15,  14,  18,  19,  14,   0,   0,  // D0
     15,  14,  18,  25,  19,  26,   0,  28,  15,  14,  18,  19,  15,  14,  18,  19,  // E0
    104,  25,  15,  14,  18,  25,  19,   0,  33,  15,  14,  18,  19,  14,   0,  19,  // F0
};

// The second primary weight of a byte that weighs as two letters.
uint16_t SecondWeight(uint8_t c) {
    switch (c) {
    case 0x8C: case 0x9C: case 0xC6: case 0xE6: return 0x0E21;  // OE oe AE ae: "e"
    case 0xDF: return 0x0E91;                                   // sharp s: "s"
    case 0xDE: case 0xFE: return 0x0E2C;                        // thorn: "h"
    default: return 0;
    }
}

// Case weight kept under NORM_IGNORECASE: the compatibility forms.
uint8_t CaseWeight(uint8_t c) {
    return c == 0xAA || c == 0xBA || c == 0xB2 || c == 0xB3 || c == 0xB9 ? 6 : 2;
}

// No weight of the first three levels is 0 or 1: 1 ends each of them, so that a
// shorter level sorts first. Trailing neutral weights (2) are dropped, as the
// system's keys drop them.
void TrimNeutral(std::string &level) {
    while (!level.empty() && level.back() == 2) level.pop_back();
}

}  // namespace

std::string ListSortKey(const std::string &name) {
    std::string primary, diacritic, cases, special;
    unsigned weights = 0;
    for (unsigned char c : name) {
        uint16_t w = kPrimary[c];
        if (w == 0) continue;
        if (w < 0x100) {
            unsigned position = 0xFFFF - weights;
            special += char(position >> 8);
            special += char(position & 0xFF);
            special += char(w);
            continue;
        }
        uint8_t d = c >= 0x80 && kDiacritic[c - 0x80] ? kDiacritic[c - 0x80] : 2;
        const uint16_t letters[2] = {w, SecondWeight(c)};
        for (int k = 0; k < 2 && letters[k]; k++) {
            primary += char(letters[k] >> 8);
            primary += char(letters[k] & 0xFF);
            diacritic += char(k == 0 ? d : 2);
            cases += char(k == 0 ? CaseWeight(c) : 2);
            weights++;
        }
    }
    TrimNeutral(diacritic);
    TrimNeutral(cases);
    return primary + '\1' + diacritic + '\1' + cases + '\1' + special;
}

}  // namespace mksfx
