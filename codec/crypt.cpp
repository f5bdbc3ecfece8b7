// Traditional ZIP decryption. PLACEHOLDER.
#include "codec/crypt.h"

DWORD key0, key1, key2;

void InitKeys(const char *) {}
void UpdateKeys(BYTE) {}
BYTE DecryptByte() { return 0; }
void DecryptBuffer(BYTE *, DWORD) {}
bool CheckEncryptionHeader(BYTE *, int, WORD, DWORD, WORD, const char *) { return false; }
