// How the decoder reaches its entry: one function for the compressed input,
// one for the output, one for the verdict. The decoder knows no file, handle
// or header; the extraction side implements these (archive/entryio.cpp).
#pragma once
#include "platform/win32.h"

// Fills `buffer` with up to `size` bytes of the entry's compressed data,
// decrypted, never reading past the entry; 0 once the data has ended.
DWORD ReadEntryInput(BYTE *buffer, DWORD size);
// Writes `count` output bytes to the entry's file and feeds the bytes the file
// took to the entry's CRC. False once a write took fewer or the entry went past
// its declared size: the entry has failed and nothing more is to be decoded.
bool WriteEntryOutput(const BYTE *data, DWORD count);
// The entry's data is complete; `sound` false when it failed (a damaged stream,
// no memory). A failed entry, or one whose file took fewer bytes than it was
// given, is made certain to fail its CRC comparison.
void EndEntryOutput(bool sound);
