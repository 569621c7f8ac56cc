// The whole uninstall, shared by the installer's uninstall mode and the
// uninstaller program.
#pragma once

// Returns 0 when the procedure ran, -1 when the system directory is unknown.
int RunUninstall(void);
