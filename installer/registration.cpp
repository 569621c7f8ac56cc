#include "registration.h"

// Not written yet.
int RegisterUninstallEntry(const char *) { return 0; }
