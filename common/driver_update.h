// Making Windows use a driver package for a hardware ID, from a 32-bit
// installer or a 64-bit install program alike.
#pragma once

#include <windows.h>
#include <newdev.h>

// The install flags of each kind of driver update, named once: keysetup's
// own update on 32-bit Windows forces the package over the one installed;
// the native helpers, which a deployment runs where no one can answer,
// also never ask. docs/footprint.md's call rows name them, and the tests
// compare both with what newdev.dll was called with.
const DWORD ATTENDED_INSTALL_FLAGS = INSTALLFLAG_FORCE;
const DWORD UNATTENDED_INSTALL_FLAGS = INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE;

// Updates the driver of every device with hardwareId from infPath through
// newdev.dll of the system directory or, when no such device is present,
// stores the INF among the system's INFs through setupapi.dll of the
// system directory. 0 when done, -1 when not (also when either library or
// its function is missing). rebootRequired (optional) receives the
// library's reboot flag. SetupAPI's own dialogs are off where it can turn
// them off (Windows XP and later); the update keeps its parent window and
// may still ask the user on older Windows.
int InstallDriverPackage(const char *hardwareId, const char *infPath, BOOL *rebootRequired);

// The same for the native helpers, which a deployment runs unattended,
// often in a session no one sees: the update never asks the user. Where it
// fails (it does when it would have to ask, with no error code of its own),
// the INF is stored, also without asking, for Windows to install when the
// key is plugged in, if Windows accepts the package then.
int InstallDriverPackageUnattended(const char *hardwareId, const char *infPath, BOOL *rebootRequired);
