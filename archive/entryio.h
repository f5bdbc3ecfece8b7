// One entry's data in and out (codec/entrystream.h, implemented here for the
// decoder and the stored copy alike): the compressed bytes come from the own
// file, counted down by remainingCompressed and decrypted as they arrive; the
// output goes to outputHandle and every byte written into entryCrc.
#pragma once
#include "codec/entrystream.h"

// Compressed bytes of the current entry not yet read (signed). Set by the
// header reader (archive/extract.cpp), lowered by every read here.
extern LONG remainingCompressed;

// Presets entryCrc and clears the short-write flag for a new entry.
void StartEntryOutput();
// The verdict on an entry written: its CRC-32 matches the header's.
bool EntryCrcMatches();
