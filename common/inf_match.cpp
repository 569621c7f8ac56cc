#include "inf_match.h"

// Not written yet.
int InfDeclaresHardwareId(const char *, const char *) { return 0; }
