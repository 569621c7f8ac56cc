// Keeps a program to one running instance per marker name.
#pragma once

#include <windows.h>

// Registers a window class named markerName (never used for a window) and
// takes the named mutex of the same name. Returns true when this process
// may proceed; false when another instance holds the mutex or a step failed.
// The mutex stays held until the process ends.
bool EnsureSingleInstance(HINSTANCE instance, WORD iconId, const char *markerName);

// Whether the answer of CreateMutexA, or of an OpenMutexA that gave no
// handle (the handle, then GetLastError), shows the marker mutex held by
// another instance: created before ours (a handle and ERROR_ALREADY_EXISTS),
// or existing with rights this process lacks, as when that instance runs
// under another account (no handle and ERROR_ACCESS_DENIED). Any other
// failure lets the program go on.
bool MutexHeldElsewhere(HANDLE mutex, DWORD lastError);
