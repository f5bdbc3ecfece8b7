// The post-extraction command: the run check box caption, and opening the
// command through the shell or installing an INF file.
#pragma once
#include "platform/win32.h"

#define PART_SEPARATOR '|'
// Room for a command part once its tokens are replaced.
#define COMMAND_PART_SIZE 1024
// Room for the run check box caption: the template with its action word, two
// names of at most 255 characters, the space between them and the NUL come to
// 540 bytes; the rest is for a "><" that a name brings in itself.
#define RUN_CAPTION_SIZE 560

// The two parts of the command, split at its first PART_SEPARATOR.
enum CommandPart { COMMAND_PROGRAM = 1, COMMAND_PARAMETERS = 2 };
// One part with its tokens replaced, short form where there is one. Appends a
// backslash to extractDir first.
void GetCommandPart(CommandPart which, char *out, int outSize);
// Replaces every "><" of `text` by `replacement`; inserted text is not rescanned.
void ReplaceDirToken(const char *text, const char *replacement, char *out, int outSize);
bool IsInfFile(const char *name);
void BuildRunCaption(char *out, int outSize);
void RunAfterExtraction(LRESULT checkState);
void InstallInf(const char *program, const char *parameters);
