// Default destination resolution. PLACEHOLDER.
#include "app/config.h"

void ResolveDefaultDir() {}
