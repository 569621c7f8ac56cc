#include "uninstall.h"

#include <windows.h>

#include <string.h>

#include "bounded_string.h"
#include "platform.h"
#include "system_names.h"

namespace {

const char NATIVE_UNINSTALL_WORD[] = " -uninstall";
// Long enough for a purge and a device walk on a loaded machine; a helper
// that hangs does not keep the entry from being deleted.
const DWORD NATIVE_HELPER_TIMEOUT_MS = 60000;

// A 32-bit process cannot install or remove devices on 64-bit Windows
// (ERROR_IN_WOW64): the native helper the install deployed beside the
// package (helperName) does the purge and the removal. Missing or failing,
// it changes nothing else.
void RunNativeHelperUninstall(const char *systemDir, const char *helperName)
{
    char helperPath[MAX_PATH];
    char commandLine[MAX_PATH + sizeof(NATIVE_UNINSTALL_WORD) + 2];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;

    memset(commandLine, 0, sizeof(commandLine));
    memset(&startup, 0, sizeof(startup));
    memset(&process, 0, sizeof(process));
    startup.cb = sizeof(startup);
    if (!BuildSystemPath(helperPath, systemDir, helperName))
        return;
    // Quoted: the system directory may hold blanks.
    commandLine[0] = '"';
    BoundedAppend(commandLine, sizeof(commandLine), helperPath);
    BoundedAppend(commandLine, sizeof(commandLine), "\"");
    BoundedAppend(commandLine, sizeof(commandLine), NATIVE_UNINSTALL_WORD);
    if (!CreateProcessA(helperPath, commandLine, NULL, NULL, FALSE, 0, NULL, systemDir, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, NATIVE_HELPER_TIMEOUT_MS);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// The manifest is deleted as it is: a read-only one stays.
void DeleteUninstallerManifest(const char *systemDir)
{
    char manifestPath[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search;

    if (!BuildSystemPath(manifestPath, systemDir, UNINSTALLER_MANIFEST_NAME))
        return;
    search = FindFirstFileA(manifestPath, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    DeleteFileA(manifestPath);
}

} // namespace

int DeleteUninstallEntry(void)
{
    HKEY key = NULL;
    int result = 0;

    // No view flag: a 32-bit process on 64-bit Windows opens its own 32-bit
    // view, where the installer wrote the entry.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);
        result = 1;
    }
    if (key)
        RegCloseKey(key);
    return result;
}

int RunUninstall(void)
{
    char systemDir[MAX_PATH];
    Wow64Branch branch = GetWow64Branch();
    bool wow64 = branch != BRANCH_NOT_WOW64;
    bool win9x = IsWin9xClass(GetPlatformClass());

    if (!GetInstallSystemDir(systemDir, wow64))
        return -1;
    SetCurrentDirectoryA(systemDir);
    // Windows 98/Me keeps no oem*.inf copies of the package.
    if (branch == BRANCH_WOW64_ARM64)
        RunNativeHelperUninstall(systemDir, ARM64_HELPER_FILE_NAME);
    else if (wow64)
        RunNativeHelperUninstall(systemDir, NATIVE_HELPER_FILE_NAME);
    else if (!win9x)
        PurgeDriverAndDevices(DEVICE_HARDWARE_ID);
    DeleteUninstallerManifest(systemDir);
    DeleteUninstallEntry();
    return 0;
}
