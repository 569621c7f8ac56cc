// Deletes Windows' stored copies of the key's INF.
#pragma once

// Deletes every %windir%\inf\oem*.inf that declares hardwareId, with its
// precompiled .pnf twin. Returns 0 when the search ran through the whole
// directory, -1 otherwise (no windir, paths too long, no oem*.inf at all,
// or the search failing midway).
int PurgeOemInfs(const char *hardwareId);
