#include "uninstall.h"

#include <windows.h>

#include "device_removal.h"
#include "inf_purge.h"
#include "platform.h"
#include "system_names.h"

namespace {

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

int PurgeDriverAndDevices(const char *hardwareId)
{
    int result = PurgeOemInfs(hardwareId);

    // Without a complete purge the devices stay, so that Windows does not
    // reinstall them from an INF copy left behind.
    if (result != 0)
        return result;
    return RemoveDevicesByHardwareId(hardwareId);
}

int DeleteUninstallEntry(void)
{
    HKEY key = NULL;
    int result = 0;

    // No view flag: a 32-bit process on 64-bit Windows opens its own 32-bit
    // view, where the installer wrote the entry.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteKeyA(key, "");
        result = 1;
    }
    if (key)
        RegCloseKey(key);
    return result;
}

int RunUninstall(void)
{
    char systemDir[MAX_PATH];
    bool wow64 = IsRunningUnderWow64();
    bool win9x = IsWin9xClass(GetPlatformClass());

    if (!GetInstallSystemDir(systemDir, wow64))
        return -1;
    SetCurrentDirectoryA(systemDir);
    // The 64-bit package is not this 32-bit process's to purge, and Windows
    // 98/Me keeps no oem*.inf copies of it.
    if (!wow64 && !win9x)
        PurgeDriverAndDevices(DEVICE_HARDWARE_ID);
    DeleteUninstallerManifest(systemDir);
    DeleteUninstallEntry();
    return 0;
}
