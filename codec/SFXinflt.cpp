// DEFLATE decoder. PLACEHOLDER.
#include "codec/SFXinflt.h"

LONG remainingCompressed = 0;

void InflateEntry() {}
