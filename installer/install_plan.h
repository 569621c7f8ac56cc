// The installer's install mode.
#pragma once

#include <windows.h>

// Writes, activates and registers the branch's payload for this Windows.
// Returns 0 when the procedure ran or when this build carries no payload
// for this Windows' branch (then nothing is done), -1 when the system
// directory is unknown.
int RunInstall(HINSTANCE instance);
