#include "inf_purge.h"

// Not written yet.
int PurgeOemInfs(const char *) { return -1; }
