#include "activation.h"

// Not written yet.
void ActivateDriverPackage(const char *, bool) {}
int InstallDriverPackage(const char *, const char *, BOOL *) { return -1; }
int ResetWin9xDriverDatabase(const char *) { return 0; }
int Launch64BitInstaller(const char *) { return 0; }
