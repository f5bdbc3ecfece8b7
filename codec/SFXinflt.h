// SFXinflt: the DEFLATE decoder (RFC 1951) for one archive entry. Reads the
// entry's compressed data and writes its output through codec/entrystream.h.
#pragma once
#include "platform/win32.h"

// Decodes one entry; absorbs its own failures. The caller judges the entry by
// its CRC-32 alone (a failed stream is made to fail it, EndEntryOutput); the
// result code (INFLATE_*, codec/inflate_internal.h) tells the tests why a
// stream failed.
int InflateEntry();
