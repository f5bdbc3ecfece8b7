// SFXinflt: the DEFLATE decoder (RFC 1951) for one archive entry.
// Reads the entry's compressed data from archiveHandle (never more than
// remainingCompressed bytes), decrypts it when the entry is encrypted, writes the
// output to outputHandle and feeds every byte written to entryCrc.
#pragma once
#include "platform/win32.h"

// Compressed bytes of the current entry not yet consumed (signed).
extern LONG remainingCompressed;

// Decodes one entry; absorbs its own failures. The caller judges the entry by
// its CRC-32 alone; the result code (INFLATE_*, codec/inflate_internal.h) tells
// the tests why a stream failed.
int InflateEntry();
