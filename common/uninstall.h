// The whole uninstall, shared by the installer's uninstall mode and the
// uninstaller program.
#pragma once

#include "driver_purge.h"

// Returns 0 when the procedure ran, -1 when the system directory is unknown.
int RunUninstall(void);

// Deletes the Add/Remove Programs entry: 1 when its key could be opened.
int DeleteUninstallEntry(void);
