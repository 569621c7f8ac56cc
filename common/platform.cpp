#include "platform.h"

#include <string.h>

#include "bounded_string.h"

namespace {

const DWORD OSVERSIONINFOA_SIZE = 148;
const char WOW64_SYSTEM_NAME[] = "syswow64";
const size_t SYSTEM_NAME_LENGTH = sizeof(WOW64_SYSTEM_NAME) - 1;

typedef BOOL(WINAPI *IsWow64ProcessFn)(HANDLE, PBOOL);
typedef BOOL(WINAPI *IsWow64Process2Fn)(HANDLE, USHORT *, USHORT *);
// GetSystemDirectoryA and GetWindowsDirectoryA.
typedef UINT(WINAPI *DirectoryQueryFn)(LPSTR, UINT);

// Fills buffer (zero-filled here) from query; the length, or 0 with an
// empty buffer when the directory cannot be read in full. A result of
// capacity or more is the size a longer path would need.
UINT ReadDirectory(DirectoryQueryFn query, char *buffer, UINT capacity)
{
    UINT length;

    memset(buffer, 0, capacity);
    length = query(buffer, capacity);
    if (length >= capacity) {
        buffer[0] = '\0';
        length = 0;
    }
    return length;
}

PlatformClass ClassifyWin9x(DWORD minor)
{
    switch (minor) {
    case 0: return PLATFORM_WIN95;
    case 10: return PLATFORM_WIN98;
    case 90: return PLATFORM_WINME;
    default: return PLATFORM_OTHER;
    }
}

// Windows Vista, the first with a driver store, and every later version
// (10.0 to a program whose manifest names Windows 10).
const DWORD VISTA_MAJOR_VERSION = 6;

PlatformClass ClassifyNt(DWORD major, DWORD minor)
{
    switch (major) {
    case 3: return PLATFORM_NT3;
    case 4: return PLATFORM_NT4;
    case 6: return PLATFORM_VISTA;
    case 5:
        switch (minor) {
        case 0: return PLATFORM_WIN2000;
        case 1: return PLATFORM_WINXP;
        case 2: return PLATFORM_WIN2003;
        default: return PLATFORM_OTHER;
        }
    default: return PLATFORM_OTHER;
    }
}

} // namespace

PlatformClass ClassifyPlatform(BOOL queryOk, const OSVERSIONINFOA *version)
{
    if (!queryOk)
        return PLATFORM_OTHER;
    switch (version->dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS: return ClassifyWin9x(version->dwMinorVersion);
    case VER_PLATFORM_WIN32_NT: return ClassifyNt(version->dwMajorVersion, version->dwMinorVersion);
    default: return PLATFORM_OTHER;
    }
}

PlatformClass GetPlatformClass(void)
{
    OSVERSIONINFOA version;

    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = OSVERSIONINFOA_SIZE;
    return ClassifyPlatform(GetVersionExA(&version), &version);
}

bool HasDriverStore(void)
{
    OSVERSIONINFOA version;

    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = OSVERSIONINFOA_SIZE;
    if (!GetVersionExA(&version))
        return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= VISTA_MAJOR_VERSION;
}

bool IsWin9xClass(PlatformClass platform)
{
    return platform == PLATFORM_WIN98 || platform == PLATFORM_WINME;
}

bool IsRunningUnderWow64(void)
{
    BOOL wow64 = FALSE;
    HMODULE kernel = GetModuleHandleA("kernel32");
    IsWow64ProcessFn isWow64Process = NULL;

    if (kernel)
        isWow64Process = (IsWow64ProcessFn)(void *)GetProcAddress(kernel, "IsWow64Process");
    if (!isWow64Process || !isWow64Process(GetCurrentProcess(), &wow64))
        return false;
    return wow64 != FALSE;
}

Wow64Branch ChooseWow64Branch(bool wow64, bool machineKnown, USHORT nativeMachine)
{
    if (!wow64)
        return BRANCH_NOT_WOW64;
    if (machineKnown && nativeMachine == IMAGE_FILE_MACHINE_ARM64)
        return BRANCH_WOW64_ARM64;
    return BRANCH_WOW64_X64;
}

Wow64Branch GetWow64Branch(void)
{
    bool wow64 = IsRunningUnderWow64();
    bool machineKnown = false;
    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    HMODULE kernel = GetModuleHandleA("kernel32");
    IsWow64Process2Fn isWow64Process2 = NULL;

    if (wow64 && kernel)
        isWow64Process2 = (IsWow64Process2Fn)(void *)GetProcAddress(kernel, "IsWow64Process2");
    if (isWow64Process2)
        machineKnown = isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine) != FALSE;
    return ChooseWow64Branch(wow64, machineKnown, nativeMachine);
}

bool GetInstallSystemDir(char *systemDir, bool wow64)
{
    UINT length = ReadDirectory(GetSystemDirectoryA, systemDir, MAX_PATH);

    if (length == 0)
        return false;
    // A path shorter than "syswow64" cannot end in "system32": leave it be.
    if (wow64 && length >= SYSTEM_NAME_LENGTH)
        memcpy(systemDir + length - SYSTEM_NAME_LENGTH, WOW64_SYSTEM_NAME, SYSTEM_NAME_LENGTH);
    return true;
}

bool BuildSystemPath(char *path, const char *directory, const char *name)
{
    size_t directoryLength = strlen(directory);
    size_t nameLength = strlen(name);

    memset(path, 0, MAX_PATH);
    // An empty directory would turn name into a path at the drive's root.
    if (directoryLength == 0 || directoryLength + nameLength >= MAX_PATH)
        return false;
    memcpy(path, directory, directoryLength);
    memcpy(path + directoryLength, name, nameLength);
    return true;
}

bool GetWindowsDirInto(char *buffer, UINT capacity)
{
    return ReadDirectory(GetWindowsDirectoryA, buffer, capacity) != 0;
}

HMODULE LoadSystemLibrary(const char *fileName)
{
    char path[MAX_PATH];

    if (ReadDirectory(GetSystemDirectoryA, path, MAX_PATH) == 0)
        return NULL;
    if (BoundedFailed(BoundedAppend(path, MAX_PATH, fileName)))
        return NULL;
    return LoadLibraryA(path);
}
