// Post-extraction command. PLACEHOLDER.
#include "actions/command.h"

void GetCommandPart(int, char *out, int) { out[0] = 0; }
void ReplaceDirToken(const char *, const char *, char *out, int) { out[0] = 0; }
bool IsInfFile(const char *) { return false; }
void BuildRunCaption(char *out, int) { out[0] = 0; }
void RunAfterExtraction(LRESULT) {}
void InstallInf(const char *, const char *) {}
