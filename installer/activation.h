// Making Windows use a written driver package for the key.
#pragma once

#include <windows.h>

// Windows 98/Me: resets the driver database; otherwise installs infPath
// for the key's hardware ID. The outcome is not reported.
void ActivateDriverPackage(const char *infPath, bool win9x);

// Updates the driver of every device with hardwareId from infPath through
// newdev.dll of the system directory or, when no such device is present,
// stores the INF among the system's INFs. 0 when done, -1 when not.
// rebootRequired (optional) receives the library's reboot flag.
int InstallDriverPackage(const char *hardwareId, const char *infPath, BOOL *rebootRequired);

// Deletes the Windows 98/Me driver-information database files and the
// device's Enum key so that Windows rebuilds them. Always 0.
int ResetWin9xDriverDatabase(const char *hardwareId);

// Starts the 64-bit install program with "-install" and does not wait;
// shows nothing when it cannot be started. Always 0.
int Launch64BitInstaller(const char *programPath);
