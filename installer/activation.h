// Making Windows use a written driver package for the key: the Windows
// 98/Me reset and the 64-bit install program here, the driver update of
// the other Windows in driver_update.h.
#pragma once

#include <windows.h>

#include "driver_update.h"

// Windows 98/Me: resets the driver database; otherwise installs infPath
// for the key's hardware ID. The outcome is not reported.
void ActivateDriverPackage(const char *infPath, bool win9x);

// Deletes the Windows 98/Me driver-information database files and the
// device's Enum key so that Windows rebuilds them. Always 0.
int ResetWin9xDriverDatabase(const char *hardwareId);

// Starts the native install program (DrvInst64.exe, or DrvInstA64.exe on
// ARM64 Windows) with "-install" and does not wait;
// shows nothing when it cannot be started. Always 0.
int Launch64BitInstaller(const char *programPath);
