// CRC-32 of ZIP (reflected polynomial 0xEDB88320, preset all ones, result
// inverted): the table, the one-byte step and the buffer routine. The same step
// mixes the keys of the traditional ZIP cipher (crypt.h).
#pragma once
#include "platform/win32.h"

// Four tables of 256 entries, one after the other: the first is the table of
// the one-byte step; table k moves the register over a byte and k zero bytes,
// so that four bytes take four independent lookups. Allocated at module
// start-up (app/SFX), filled once by MakeCrcTable.
#define CRC_TABLE_ENTRIES (4 * 256)
extern DWORD *crcTable;
// Running (not inverted) CRC register of the entry being extracted: preset to
// 0xFFFFFFFF by the extraction pass, fed by every writer of output data.
extern DWORD entryCrc;

void MakeCrcTable();

inline DWORD UpdateCrc(BYTE c, DWORD crc) { return crcTable[(crc ^ c) & 0xFF] ^ (crc >> 8); }

// Runs UpdateCrc over bytes[0 .. count-1]; a count of 0 or less changes nothing.
void UpdateCrcBuffer(const BYTE *bytes, LONG count, DWORD &crc);
