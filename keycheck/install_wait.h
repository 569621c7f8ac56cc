// keycheck /wait: on 64-bit Windows keysetup writes its native helper
// (DrvInst64.exe, DrvInstA64.exe on ARM64) into the system directory it
// installs into, starts it and ends without waiting for it. A check made
// right after keysetup would judge a package the helper is still storing,
// so a deployment first waits, bounded, until no such helper runs.
#pragma once

#include <windows.h>

#include "report.h"

const DWORD INSTALL_WAIT_DEFAULT_SECONDS = 600;
const DWORD INSTALL_WAIT_MAX_SECONDS = 86400;

// "/wait" (the default time) or "/wait:SECONDS" ("-" also starts it, any
// letter case). False for any other word, and for a number that is missing,
// not decimal or above INSTALL_WAIT_MAX_SECONDS.
bool ParseWaitSwitch(const char *word, DWORD *seconds);

// Is a running image the helper at helperPath? image is the full path where
// Windows gives it, or a bare file name (a 32-bit process listing 64-bit
// ones on Windows XP and 2003 x64 learns no more): then the name decides.
bool IsHelperImage(const char *image, const char *helperPath);

// Waits while a helper started from helperDir runs, at most seconds in
// all. True when none runs (any more), false when one still runs.
bool WaitForHelpersIn(const char *helperDir, DWORD seconds, const Report *report);

// The same for the system directory keysetup writes the helpers to; true
// at once where Windows has no helper (not under WOW64).
bool WaitForInstallHelpers(DWORD seconds, const Report *report);
