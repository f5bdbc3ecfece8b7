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
}

// The register is linear in its start value and in the data: running it over
// A then B equals (the register after A, moved over |B| zero bytes) XOR (the
// register over B started from 0). Moving a register over n zero bytes is a
// multiplication by x^(8n) modulo the polynomial. That lets the buffer routine
// run four independent byte-at-a-time chains over the four quarters of a
// buffer, whose table lookups then overlap instead of waiting on each other.

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

// Below this size the four chains do not pay for the combination.
#define CRC_SPLIT_MINIMUM 512

void UpdateCrcBuffer(const BYTE *bytes, LONG count, DWORD &crc) {
    DWORD c0 = crc;
    if (count >= CRC_SPLIT_MINIMUM) {
        DWORD quarter = (DWORD)count >> 2;
        const BYTE *p1 = bytes + quarter;
        const BYTE *p2 = p1 + quarter;
        const BYTE *p3 = p2 + quarter;
        DWORD c1 = 0, c2 = 0, c3 = 0;
        for (DWORD i = 0; i < quarter; i++) {
            c0 = UpdateCrc(bytes[i], c0);
            c1 = UpdateCrc(p1[i], c1);
            c2 = UpdateCrc(p2[i], c2);
            c3 = UpdateCrc(p3[i], c3);
        }
        DWORD shift = ZeroBytesOperator(quarter);
        c0 = MultiplyModPolynomial(c0, shift) ^ c1;
        c0 = MultiplyModPolynomial(c0, shift) ^ c2;
        c0 = MultiplyModPolynomial(c0, shift) ^ c3;
        bytes = p3 + quarter;
        count -= (LONG)(quarter << 2);
    }
    for (; count > 0; count--) c0 = UpdateCrc(*bytes++, c0);
    crc = c0;
}
