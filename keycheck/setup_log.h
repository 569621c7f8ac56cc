// "/log": the sections of Windows' own setup log that name the key, after
// the report.
#pragma once

#include "platform.h"
#include "report.h"

// Prints the last sections of the setup log under windowsDir that name one
// of needles (any letter case): setupapi.dev.log on Vista and later, then
// its rotated copies, newest first, while fewer were found; setupapi.log on
// 2000, XP and 2003; on older Windows, that there is none.
void ShowSetupLog(const Report *report, PlatformClass platform, const char *windowsDir, const char *const *needles,
                  int needleCount);
