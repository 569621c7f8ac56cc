// The uninstaller's Add/Remove Programs entry.
#pragma once

// Creates or rewrites the entry for the uninstaller at uninstallerPath.
// Writes DisplayIcon, DisplayName and UninstallString, then DisplayVersion,
// Publisher (when the build names one), NoModify and NoRepair; the first
// write that fails ends the sequence. Returns 1 when all were written, else 0.
int RegisterUninstallEntry(const char *uninstallerPath);
