// Traditional PKWARE ZIP decryption: the key state, its set-up from a password,
// the keystream byte and the check of an entry's 12-byte encryption header.
#pragma once
#include "platform/win32.h"

extern DWORD key0, key1, key2;

void InitKeys(const char *password);
void UpdateKeys(BYTE c);
BYTE DecryptByte();
// Decrypts `count` bytes in place, in order; the keys advance with each plain byte.
void DecryptBuffer(BYTE *bytes, DWORD count);
// `buffer` is 24 bytes: bytes 12-23 hold the raw encryption header, bytes 0-11
// receive the decrypted one. True when the password's check byte matches; the
// keys are then ready for the entry's data. An empty password is refused at once.
bool CheckEncryptionHeader(BYTE *buffer, int length, WORD flags, DWORD crc, WORD modTime,
                           const char *password);
