// "/log": the sections of Windows' own setup log that name the key, after
// the report.
#pragma once

#include "platform.h"
#include "report.h"

// Prints the last sections of the setup log that name one of needles (any
// letter case): on Vista and later setupapi.dev.log, then its rotated
// copies, newest first, while fewer were found, in the folder Windows'
// LogPath names (else windowsDir's INF folder); setupapi.log in windowsDir
// on 2000, XP and 2003; on older Windows, that there is none. A log that
// is there but cannot be opened is said to be so.
void ShowSetupLog(const Report *report, PlatformClass platform, const char *windowsDir, const char *const *needles,
                  int needleCount);
