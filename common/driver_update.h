// Making Windows use a driver package for a hardware ID, from a 32-bit
// installer or a 64-bit install program alike.
#pragma once

#include <windows.h>

// Updates the driver of every device with hardwareId from infPath through
// newdev.dll of the system directory or, when no such device is present,
// stores the INF among the system's INFs through setupapi.dll of the
// system directory. 0 when done, -1 when not (also when either library or
// its function is missing). rebootRequired (optional) receives the
// library's reboot flag.
int InstallDriverPackage(const char *hardwareId, const char *infPath, BOOL *rebootRequired);
