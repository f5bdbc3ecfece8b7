// CRC-32 of ZIP: the lookup table, the buffer routine and the per-entry register.
//
// Owns crcTable's contents (the block itself is allocated and released by app/SFX)
// and entryCrc. MakeCrcTable runs once at start-up; UpdateCrcBuffer is called by
// every writer of output data (SFXinflt's window flush, the stored-entry copy).
#include "codec/crc32.h"

DWORD *crcTable = 0;
DWORD entryCrc = 0;

// The reflected polynomial: bit 31 stands for x^0, bit 0 for x^31.
#define CRC_POLYNOMIAL 0xEDB88320u

void MakeCrcTable() {
    for (DWORD n = 0; n < 256; n++) {
        DWORD c = n;
        for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ CRC_POLYNOMIAL : c >> 1;
        crcTable[n] = c;
    }
    for (DWORD n = 256; n < CRC_TABLE_ENTRIES; n++) {
        DWORD c = crcTable[n - 256];
        crcTable[n] = crcTable[c & 0xFF] ^ (c >> 8);
    }
}

// The register is linear in its start value and in the data: running it over
// A then B equals (the register after A, moved over |B| zero bytes) XOR (the
// register over B started from 0). Moving a register over n zero bytes is a
// multiplication by x^(8n) modulo the polynomial. That lets the buffer routine
// run eight independent chains over eight equal parts of a buffer, whose table
// lookups then overlap instead of waiting on each other.

// a * b modulo the polynomial, both in the reflected bit order.
static DWORD MultiplyModPolynomial(DWORD a, DWORD b) {
    DWORD product = 0;
    for (DWORD m = 0x80000000u; m; m >>= 1) {
        if (a & m) product ^= b;
        b = (b & 1) ? (b >> 1) ^ CRC_POLYNOMIAL : b >> 1;
    }
    return product;
}

// x^(8n) modulo the polynomial. The window flushes all have one size, so the
// last answer is kept.
static DWORD zeroBytesCount = 0;
// 0 until the first computation: no power of x is 0 modulo the polynomial.
static DWORD zeroBytesOperator = 0;

static DWORD ZeroBytesOperator(DWORD n) {
    if (n != zeroBytesCount || !zeroBytesOperator) {
        DWORD result = 0x80000000u;  // 1
        DWORD power = 0x00800000u;   // x^8, one zero byte
        zeroBytesCount = n;
        for (; n; n >>= 1) {
            if (n & 1) result = MultiplyModPolynomial(result, power);
            power = MultiplyModPolynomial(power, power);
        }
        zeroBytesOperator = result;
    }
    return zeroBytesOperator;
}

// Chains over equal parts of a buffer; below the minimum size the combination
// does not pay.
#define CRC_CHAINS 8
#define CRC_SPLIT_MINIMUM 512

// One step of a chain: the next four bytes of its part, taken as a
// little-endian word, go into the register at once, and four lookups that do
// not wait on each other move the register over them.
static inline DWORD UpdateCrcWord(const BYTE *p, DWORD c) {
    c ^= (DWORD)p[0] | (DWORD)p[1] << 8 | (DWORD)p[2] << 16 | (DWORD)p[3] << 24;
    return crcTable[768 + (c & 0xFF)] ^ crcTable[512 + ((c >> 8) & 0xFF)] ^
           crcTable[256 + ((c >> 16) & 0xFF)] ^ crcTable[c >> 24];
}

void UpdateCrcBuffer(const BYTE *bytes, LONG count, DWORD &crc) {
    DWORD c0 = crc;
    if (count >= CRC_SPLIT_MINIMUM) {
        // Eight parts of a whole number of words each.
        DWORD part = ((DWORD)count / CRC_CHAINS) & ~3u;
        const BYTE *p = bytes;
        const BYTE *last = bytes + part;
        DWORD c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0, c6 = 0, c7 = 0;
        for (; p < last; p += 4) {
            c0 = UpdateCrcWord(p, c0);
            c1 = UpdateCrcWord(p + part, c1);
            c2 = UpdateCrcWord(p + 2 * part, c2);
            c3 = UpdateCrcWord(p + 3 * part, c3);
            c4 = UpdateCrcWord(p + 4 * part, c4);
            c5 = UpdateCrcWord(p + 5 * part, c5);
            c6 = UpdateCrcWord(p + 6 * part, c6);
            c7 = UpdateCrcWord(p + 7 * part, c7);
        }
        const DWORD later[CRC_CHAINS - 1] = {c1, c2, c3, c4, c5, c6, c7};
        DWORD shift = ZeroBytesOperator(part);
        for (int j = 0; j < CRC_CHAINS - 1; j++) c0 = MultiplyModPolynomial(c0, shift) ^ later[j];
        bytes += part * CRC_CHAINS;
        count -= (LONG)(part * CRC_CHAINS);
    }
    for (; count > 0; count--) c0 = UpdateCrc(*bytes++, c0);
    crc = c0;
}
