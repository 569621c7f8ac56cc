#include "activation.h"

#include <shellapi.h>

#include <io.h>
#include <string.h>

#include "bounded_string.h"
#include "platform.h"
#include "system_names.h"

namespace {

// Paths of the Windows 98/Me reset.
const size_t RESET_PATH_CAPACITY = 200;
const char DRIVER_DATA_FILE_NAME[] = "\\inf\\DRVDATA.BIN";
const char DRIVER_INDEX_FILE_NAME[] = "\\inf\\DRVIDX.BIN";
const char ENUM_KEY_PREFIX[] = "Enum\\";

const char LAUNCH_VERB[] = "open";
const char LAUNCH_PARAMETERS[] = "-install";

static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the 32-bit launch record is 60 bytes");

// Deletes one file of the Windows INF directory, read-only or not; the file
// is left alone when its path cannot be built in full.
void DeleteWindowsInfFile(const char *name)
{
    char path[RESET_PATH_CAPACITY];

    if (!GetWindowsDirInto(path, RESET_PATH_CAPACITY))
        return;
    if (BoundedFailed(BoundedAppend(path, RESET_PATH_CAPACITY, name)))
        return;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    _unlink(path);
}

// Windows 98/Me deletes the key with all its subkeys.
void DeleteDeviceEnumKey(const char *hardwareId)
{
    char keyPath[RESET_PATH_CAPACITY];

    memset(keyPath, 0, sizeof(keyPath));
    if (BoundedFailed(BoundedAppend(keyPath, RESET_PATH_CAPACITY, ENUM_KEY_PREFIX)))
        return;
    if (BoundedFailed(BoundedAppend(keyPath, RESET_PATH_CAPACITY, hardwareId)))
        return;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);
}

} // namespace

void ActivateDriverPackage(const char *infPath, bool win9x)
{
    // Nobody reads it; passing it keeps the library from asking the user
    // to restart.
    BOOL rebootRequired = FALSE;

    if (win9x)
        ResetWin9xDriverDatabase(DEVICE_HARDWARE_ID);
    else
        InstallDriverPackage(DEVICE_HARDWARE_ID, infPath, &rebootRequired);
}

int ResetWin9xDriverDatabase(const char *hardwareId)
{
    DeleteWindowsInfFile(DRIVER_DATA_FILE_NAME);
    DeleteWindowsInfFile(DRIVER_INDEX_FILE_NAME);
    DeleteDeviceEnumKey(hardwareId);
    return 0;
}

int Launch64BitInstaller(const char *programPath)
{
    // The process handle is kept until this program ends; nobody waits.
    SHELLEXECUTEINFOA launch;

    memset(&launch, 0, sizeof(launch));
    launch.cbSize = sizeof(launch);
    // Without FLAG_NO_UI a program that cannot be started gets an error box;
    // NOASYNC because this program exits right after the call.
    launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    launch.hwnd = NULL;
    launch.lpVerb = LAUNCH_VERB;
    launch.lpFile = programPath;
    launch.lpParameters = LAUNCH_PARAMETERS;
    launch.lpDirectory = NULL;
    launch.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&launch);
    return 0;
}
