// The configuration header that the builder places at HEADER_OFFSET, the
// completeness check of the download, and the default destination.
#pragma once
#include "app/sfxformat.h"
#include "platform/win32.h"

// Reads the header into the shared run state. False when the signature is wrong
// or the download is incomplete: the message has been shown and the program must
// end through its orderly exit.
bool ReadConfiguration();
// The completeness check; sets archiveSizeOk and returns it.
bool VerifyArchiveSize();
// Turns defaultDirText ("><", a registry reference or a path) into a directory.
void ResolveDefaultDir();
// True when the program's own file name starts an automatic extraction
// ("!" prefix, or SETUP.EXE in any case).
bool IsAutoStartName(const char *modulePath);
