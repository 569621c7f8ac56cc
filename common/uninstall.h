// The whole uninstall, shared by the installer's uninstall mode and the
// uninstaller program.
#pragma once

// Returns 0 when the procedure ran, -1 when the system directory is unknown.
int RunUninstall(void);

// Purges the stale INF copies and, only when that ran through, removes the
// devices: the purge's result when not 0, else the removal's.
int PurgeDriverAndDevices(const char *hardwareId);

// Deletes the Add/Remove Programs entry: 1 when its key could be opened.
int DeleteUninstallEntry(void);
