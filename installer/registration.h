// The uninstaller's Add/Remove Programs entry.
#pragma once

// Creates or rewrites the entry for the uninstaller at uninstallerPath.
// Returns 1 when all three values were written, else 0.
int RegisterUninstallEntry(const char *uninstallerPath);
