// The self-extractor file format, shared by the stub (app/config.cpp) and the
// builder (tools/mksfx): a header-only file with no platform dependency.
//
// A self-extractor is the stub, then SFXHeader at HEADER_OFFSET (the length of
// the shipped stub), then a ZIP archive whose end record ends at the end of the
// file. Every offset, width and value here is a stored format: the stub and the
// builder must agree on each one.
#pragma once
#include "archive/zipformat.h"

// The build passes the stub's length (CMakeLists.txt, HEADER_OFFSET) to every
// target, so that the stub, its post-link check, the builder and the tests read
// one value.
#ifndef SFX_HEADER_OFFSET
#error "SFX_HEADER_OFFSET must come from the build (CMakeLists.txt)"
#endif
#define HEADER_OFFSET SFX_HEADER_OFFSET

// The first three header bytes, "DID".
#define SFX_SIGNATURE "DID"
#define SFX_SIGNATURE_LENGTH 3

// Fixed part of the stored header (little-endian); the four length-prefixed texts
// caption, defaultDir, command and startupMessage follow it, each one length byte
// and that many bytes without terminator. The ZIP data starts at
// HEADER_OFFSET + headerSize; bytes between the last text and it are never read.
#pragma pack(push, 1)
struct SFXHeader {
    char signature[SFX_SIGNATURE_LENGTH];  // SFX_SIGNATURE
    unsigned char options;                 // OPT_* bits
    unsigned char reserved[2];             // not read by the stub; the builder writes 00 01
    unsigned short headerSize;             // whole header, from offset 0
};
#pragma pack(pop)
#define SFX_FIXED_HEADER_SIZE 8
static_assert(sizeof(SFXHeader) == SFX_FIXED_HEADER_SIZE, "SFXHeader is stored as it is laid out");
// A header text has a one-byte length.
#define SFX_MAX_TEXT_LENGTH 255

// Option bits of SFXHeader.options.
#define OPT_SHOW_RUN_CHECKBOX 0x01
#define OPT_SELECT_FILES 0x02
#define OPT_LOCK_OVERWRITE_MODE 0x04
#define OPT_OVERWRITE_MODE 0x18
#define OPT_NO_SIZE_CHECK 0x20
#define OPT_AUTO_START 0x40
#define OPT_NO_FINISHED_MESSAGE 0x80

// The two-bit overwrite value, (options & OPT_OVERWRITE_MODE) >> OPT_OVERWRITE_SHIFT.
// 3 is read as OVERWRITE_CONFIRM.
#define OPT_OVERWRITE_SHIFT 3
#define OVERWRITE_CONFIRM 0
#define OVERWRITE_ALWAYS 1
#define OVERWRITE_NEVER 2

// A startupMessage whose first byte is below MESSAGE_STYLE_LIMIT starts with a
// style code, not with text: the box it asks for. The other codes below the
// limit give a plain OK box, like a message without a code.
#define MESSAGE_STYLE_OK 0
#define MESSAGE_STYLE_OK_CANCEL 1
#define MESSAGE_STYLE_YES_NO 2
#define MESSAGE_STYLE_LIMIT 7

// Longest entry name the stub reads; a longer one ends the walk with
// "Invalid filename.".
#define MAX_ENTRY_NAME 258

// Largest ZIP data tail searched for the end record: 64 KiB of comment and the
// record.
#define MAX_TAIL_SCAN (65536 + END_RECORD_SIZE)

// A signed self-extractor (Authenticode) ends in a certificate table. The DOS
// header holds the PE header's file offset (e_lfanew) at PE_HEADER_POINTER; the
// security entry of the optional header's data directory, the table's file
// offset and size, lies PE_SECURITY_ENTRY bytes after the PE header of a PE32
// image. The table starts on a CERT_TABLE_ALIGNMENT boundary, so up to
// CERT_MAX_PADDING zero bytes may stand between the ZIP end record and it.
#define PE_HEADER_POINTER 0x3C
#define PE_SECURITY_ENTRY 0x98
#define CERT_TABLE_ALIGNMENT 8
#define CERT_MAX_PADDING (CERT_TABLE_ALIGNMENT - 1)
// The table's one WIN_CERTIFICATE: dwLength (the whole table), wRevision,
// wCertificateType, then the PKCS#7 signature.
#define CERT_HEADER_SIZE 8
#define WIN_CERT_REVISION_2_0 0x0200
#define WIN_CERT_TYPE_PKCS_SIGNED_DATA 0x0002
