// Keeps a program to one running instance per marker name.
#pragma once

#include <windows.h>

// Registers a window class named markerName (never used for a window) and
// takes the named mutex of the same name. Returns true when this process
// may proceed; false when another instance holds the mutex or a step failed.
// The mutex stays held until the process ends.
bool EnsureSingleInstance(HINSTANCE instance, WORD iconId, const char *markerName);
