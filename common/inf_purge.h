// Deletes Windows' stored copies of the key's INF.
#pragma once

// Deletes every %windir%\inf\oem*.inf that declares hardwareId, with its
// precompiled .pnf twin. Returns 0 when the search ran through the whole
// directory, -1 otherwise (no windir, paths too long, no oem*.inf at all,
// or the search failing midway).
int PurgeOemInfs(const char *hardwareId);

// PurgeOemInfs, except that on Windows with a driver store (Vista and
// later) a copy that Windows refuses to remove is left in place, with its
// twin, and counted in *copiesKept: offered again once the devices that
// use it are gone, it can take its store package with it.
int PurgeOemInfsKeepingRefused(const char *hardwareId, int *copiesKept);
