// What keysetup.exe leaves on a 32-bit NT system (or under WOW64) and how
// tests read and remove it: the files in writing order, their payload
// bytes, the uninstall entry and the copies the INF store makes.
#pragma once

#include <windows.h>

#include <string>

#include "payload_resources.h"

// The seven files of the 32-bit NT branch: the first of PAYLOAD_FILES, in
// the order keysetup writes them.
const size_t NT32_INSTALLED_COUNT = 7;

// The directory a 32-bit install writes into: syswow64 under WOW64.
std::string InstallSystemDir();
std::string InstalledPath(const char *name);
// Where the install deploys file (on the branch that deploys it).
std::string DeployedPath(const PayloadFile &file);

// Deletes the seven files (read-only ones too) and the uninstall entry.
void DeleteNt32Install();

// Writes the uninstall entry (in the given registry view, 0: this
// process's), with a DisplayIcon value; false when it cannot be written.
bool WriteUninstallEntry(REGSAM view = 0);
// Adds a failure (naming line) unless the entry names uninstaller as its
// icon and command (with " -u") and carries the display name.
void ExpectUninstallEntryFor(const std::string &uninstaller, int line);
// A value of the uninstall entry, "" when missing.
std::string UninstallEntryValue(const char *name);

// The name under which the Windows INF directory holds exactly content
// (and nothing else holds it), or "".
std::string StoredInfHolding(const std::string &content);
// The stored package's catalogue of that name.
std::string StoredCataloguePath(const char *catalogueName);
// Deletes every copy of content in the INF directory with its .pnf twin,
// and the stored catalogue of that name (if any), under WOW64 the 64-bit
// store's too.
void RemoveStoredCopies(const std::string &content, const char *catalogueName);
