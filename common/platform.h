// Which Windows the process runs on, and where its system files live.
#pragma once

#include <windows.h>

typedef int PlatformClass;

const PlatformClass PLATFORM_OTHER = 0;
const PlatformClass PLATFORM_NT3 = 1;
const PlatformClass PLATFORM_WIN95 = 2;
const PlatformClass PLATFORM_WIN98 = 3;
const PlatformClass PLATFORM_WINME = 4;
const PlatformClass PLATFORM_NT4 = 5;
const PlatformClass PLATFORM_WIN2000 = 6;
const PlatformClass PLATFORM_WINXP = 7;
const PlatformClass PLATFORM_WIN2003 = 8;
const PlatformClass PLATFORM_VISTA = 9;

// Classifies what the version query reported; queryOk is its result.
PlatformClass ClassifyPlatform(BOOL queryOk, const OSVERSIONINFOA *version);

// Asks GetVersionExA and classifies the answer.
PlatformClass GetPlatformClass(void);

// True on NT 6.0 and later (Vista to 11, as the version query reports it
// to this program): Windows keeps installed packages in a driver store.
bool HasDriverStore(void);

// The Windows 98/Me branch of install and uninstall.
bool IsWin9xClass(PlatformClass platform);

// True when this 32-bit process runs on 64-bit Windows.
bool IsRunningUnderWow64(void);

// Which package and helper a process installs on its Windows: the 32-bit
// one (not under WOW64), the x64 one, or on ARM64 Windows the ARM64 one.
typedef int Wow64Branch;

const Wow64Branch BRANCH_NOT_WOW64 = 0;
const Wow64Branch BRANCH_WOW64_X64 = 1;
const Wow64Branch BRANCH_WOW64_ARM64 = 2;

// Chooses the branch from what IsWow64Process said (wow64) and what
// IsWow64Process2 said of the native machine (machineKnown false when it
// is missing or failed): only an ARM64 machine leaves the x64 branch.
Wow64Branch ChooseWow64Branch(bool wow64, bool machineKnown, USHORT nativeMachine);

// Asks IsWow64Process and, under WOW64, IsWow64Process2 (Windows 10 1709
// and later; looked up by name), and chooses the branch.
Wow64Branch GetWow64Branch(void);

// Fills systemDir (MAX_PATH characters, zero-filled here) with the system
// directory this process installs into: under WOW64 the "system32" of
// GetSystemDirectoryA becomes "syswow64". Returns false when the system
// directory cannot be read.
bool GetInstallSystemDir(char *systemDir, bool wow64);

// Fills buffer (capacity characters, zero-filled here) with the Windows
// directory; false, leaving it empty, when it cannot be read in full.
bool GetWindowsDirInto(char *buffer, UINT capacity);

// Loads the library file name (beginning with a backslash) of the system
// directory by its full path: a bare name would also find a copy placed
// beside the program and run it with the program's rights. NULL when the
// path cannot be built or the file cannot be loaded.
HMODULE LoadSystemLibrary(const char *fileName);

// Joins directory and name (name begins with a backslash) into path
// (MAX_PATH characters). Returns false, leaving path empty, when the
// result would not fit or directory is empty.
bool BuildSystemPath(char *path, const char *directory, const char *name);
