// Helpers for tests that run under Wine: the built programs, files,
// the registry and Wine's per-program version emulation.
#pragma once

#include <windows.h>

#include <string>

// path with its slashes turned into backslashes.
std::string WindowsPath(std::string path);
// Directory of the built programs (KEYSETUP_BIN_DIR), as a Windows path.
std::string BinDir();
std::string BinPath(const char *name);
// A file in the directory of this test program (its own build's helpers).
std::string BesideThisProgram(const char *name);

// timeoutMs times KEYSETUP_TEST_TIMEOUT_SCALE (a whole number; 1 when not
// set), for a slow host such as an emulated guest: every wait for another
// process goes through it.
DWORD ScaledTimeout(DWORD timeoutMs);

// Starts commandLine and waits; returns its exit code, or ~0u when it could
// not be started or did not end within timeoutMs (it is then killed).
// RunProgramWith (process_env.h) also sets its environment and directory.
DWORD RunProgram(const std::string &commandLine, DWORD timeoutMs = 60000);

// A fresh, empty directory under the temporary directory, named by tag.
std::string MakeScratchDir(const char *tag);
// Removes a directory tree; read-only files too.
void RemoveTree(const std::string &path);

bool FileExists(const std::string &path);
// Deletes a program file whose process has just ended: Wine refuses the
// delete while the ending process still maps it. True once it is gone.
bool DeleteWhenReleased(const std::string &path);
bool WriteBytes(const std::string &path, const std::string &bytes);
std::string ReadBytes(const std::string &path);
// Whether this Wine overwrites a read-only file (CREATE_ALWAYS, as the
// installer writes), as it does when run as root; tried in directory.
bool WineOverwritesReadOnlyFiles(const std::string &directory);
// Copies a built program under another name into directory; returns the path.
std::string CopyProgram(const char *name, const std::string &directory, const std::string &newName);

// Wine's version emulation for one executable name ("win98", "winxp", ...);
// an empty version removes the setting.
void SetEmulatedVersion(const std::string &exeName, const char *version);

// Runs a copy of the built program, named after version, that Wine runs as
// that Windows, with the command-line tail; its exit code as RunProgram's.
// The copy and its setting are removed afterwards.
DWORD RunAs(const char *program, const char *version, const std::string &tail);

// Wine's per-program DLL override (HKCU\Software\Wine\AppDefaults\NAME.exe
// \DllOverrides): "native", "builtin", "" (disabled); NULL removes it. It
// holds for NAME.exe processes started after it is set.
void SetDllOverride(const std::string &exeName, const char *dll, const char *value);

// A system file swapped for a test: the original is kept beside it (once,
// so a leftover of an earlier run is no original) and put back by
// RestoreSystemFile. An empty replacement leaves no file there.
bool ReplaceSystemFile(const std::string &systemPath, const std::string &replacement);
// Keeps a copy of the original aside (likewise once), leaving it in place
// for the code under test to overwrite.
bool KeepSystemFile(const std::string &systemPath);
// True when the original is back (or nothing was kept).
bool RestoreSystemFile(const std::string &systemPath);

std::string SystemDir();        // GetSystemDirectoryA
std::string WindowsDir();       // GetWindowsDirectoryA
std::string InfDir();           // the Windows INF directory, with a trailing backslash
bool UnderWow64();              // this 32-bit process on 64-bit Windows
// path in double quotes, as a command line names a program.
std::string Quoted(const std::string &path);
bool RegKeyExists(HKEY root, const char *path, REGSAM view = 0);
// Sets Windows' LogPath (the folder of its setup text logs) where 64-bit
// Windows reads it; an empty dir deletes the value.
bool SetSetupLogPath(const std::string &dir);
