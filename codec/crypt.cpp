// Traditional PKWARE ZIP decryption: owns key0, key1, key2.
//
// CheckEncryptionHeader is called by the extraction pass (archive/extract) for each
// encrypted entry; DecryptBuffer by the decoder's input refill (SFXinflt) and the
// stored-entry copy. The keys always advance with the plain byte, so a stream
// decrypts the same whatever the size of the pieces it is read in.
#include "codec/crypt.h"
#include "archive/zipformat.h"
#include "codec/crc32.h"

DWORD key0, key1, key2;

void InitKeys(const char *password) {
    key0 = 0x12345678u;
    key1 = 0x23456789u;
    key2 = 0x34567890u;
    // The length is counted in one byte: 256 characters and more wrap around.
    int length = 0;
    while (password[length]) length++;
    BYTE count = (BYTE)length;
    for (BYTE i = 0; i < count; i++) UpdateKeys((BYTE)password[i]);
}

void UpdateKeys(BYTE c) {
    key0 = UpdateCrc(c, key0);
    key1 = (key1 + (key0 & 0xFF)) * 0x08088405u + 1;
    key2 = UpdateCrc((BYTE)(key1 >> 24), key2);
}

BYTE DecryptByte() {
    WORD t = (WORD)((key2 & 0xFFFF) | 2);
    return (BYTE)(((DWORD)t * (DWORD)(t ^ 1)) >> 8);
}

void DecryptBuffer(BYTE *bytes, DWORD count) {
    for (DWORD i = 0; i < count; i++) {
        BYTE plain = (BYTE)(bytes[i] ^ DecryptByte());
        UpdateKeys(plain);
        bytes[i] = plain;
    }
}

// The header's last byte is the check byte: the high byte of the CRC-32, or of
// the DOS time when the sizes and CRC follow the data (ZIP_FLAG_DESCRIPTOR) and
// so were not known when the header was written. Bytes 12-23 are only read, so the check
// can be repeated with another password on the same buffer.
bool CheckEncryptionHeader(BYTE *buffer, int length, WORD flags, DWORD crc, WORD modTime,
                           const char *password) {
    if (!password[0] || length <= 0) return false;
    InitKeys(password);
    for (int i = 0; i < length; i++) {
        BYTE plain = (BYTE)(buffer[length + i] ^ DecryptByte());
        UpdateKeys(plain);
        buffer[i] = plain;
    }
    BYTE expected = (flags & ZIP_FLAG_DESCRIPTOR) ? (BYTE)(modTime >> 8) : (BYTE)(crc >> 24);
    return buffer[length - 1] == expected;
}
