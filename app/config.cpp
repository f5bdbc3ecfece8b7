// Configuration header and completeness check. PLACEHOLDER.
#include "app/config.h"

bool ReadConfiguration() { return false; }
bool VerifyArchiveSize() { return false; }
bool IsAutoStartName(const char *) { return false; }
