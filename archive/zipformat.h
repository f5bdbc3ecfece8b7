// ZIP records as the stub reads them and the builder writes them: the local file
// header, the sizes of the records around it, its flag bits and the methods.
// Header-only and free of the platform layer, so that the builder (tools/mksfx)
// shares it with the stub (archive/, codec/, app/config.cpp).
//
// The record signatures are not here on purpose: the stub's image must not hold
// them, so the stub assembles the two it looks for at run time
// (archive/extract.cpp, app/config.cpp); the builder spells its own.
#pragma once
#include <stdint.h>

#pragma pack(push, 1)
// The local file header, as stored (little-endian). The name follows it, then
// the extra field, then the entry data.
struct LocalHeader {
    uint32_t signature;
    uint16_t versionNeeded;
    uint16_t flags;             // ZIP_FLAG_* bits
    uint16_t method;            // METHOD_*
    uint16_t modTime;           // DOS time; with modDate one DOS date-time value
    uint16_t modDate;
    uint32_t crc32;
    uint32_t compressedSize;    // an encrypted entry's encryption header included
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
};
#pragma pack(pop)
#define LOCAL_HEADER_SIZE 30
static_assert(sizeof(LocalHeader) == LOCAL_HEADER_SIZE, "LocalHeader is read as it is stored");

// A data descriptor in its form with signature: signature, CRC-32, both sizes.
#define DESCRIPTOR_SIZE 16
// The end-of-central-directory record without its comment, and the place of
// the comment's 16-bit length in it.
#define END_RECORD_SIZE 22
#define END_RECORD_COMMENT_LENGTH 20
// The traditional encryption header in front of an encrypted entry's data.
#define ENCRYPTION_HEADER_SIZE 12

// The entry is encrypted with the traditional ZIP cipher.
#define ZIP_FLAG_ENCRYPTED 0x0001
// CRC-32 and sizes follow the data in a descriptor, as they were unknown when
// the header was written; the password check byte is then the high byte of the
// DOS time instead of the CRC's.
#define ZIP_FLAG_DESCRIPTOR 0x0008

#define METHOD_STORED 0
#define METHOD_DEFLATED 8
