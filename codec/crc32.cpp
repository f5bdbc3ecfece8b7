// CRC-32. PLACEHOLDER.
#include "codec/crc32.h"

DWORD *crcTable = 0;
DWORD entryCrc = 0;

void MakeCrcTable() {}
void UpdateCrcBuffer(const BYTE *, LONG, DWORD &) {}
