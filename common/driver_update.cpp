#include "driver_update.h"

#include <newdev.h>
#include <string.h>

#include "platform.h"
#include "setup_library.h"

namespace {

typedef BOOL(WINAPI *UpdateDriverForPlugAndPlayDevicesAProc)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

const char NEWDEV_FILE_NAME[] = "\\newdev.dll";
const char UPDATE_DRIVER_PROC_NAME[] = "UpdateDriverForPlugAndPlayDevicesA";
const char COPY_OEM_INF_PROC_NAME[] = "SetupCopyOEMInfA";

const DWORD STORED_INF_NAME_CAPACITY = 256;

// Copies the INF among the system's INFs, for a device plugged in later.
bool StoreDriverPackage(const char *infPath)
{
    char storedName[STORED_INF_NAME_CAPACITY];
    DWORD requiredSize = 0;
    HMODULE setupapi = LoadSetupLibrary();
    SetupCopyOEMInfAProc copyOemInf = NULL;
    bool stored = false;

    memset(storedName, 0, sizeof(storedName));
    if (setupapi)
        copyOemInf = (SetupCopyOEMInfAProc)FindSetupFunction(setupapi, COPY_OEM_INF_PROC_NAME);
    if (copyOemInf)
        stored = copyOemInf(infPath, NULL, SPOST_PATH, 0, storedName, STORED_INF_NAME_CAPACITY, &requiredSize,
                            NULL) != FALSE;
    if (setupapi)
        FreeLibrary(setupapi);
    return stored;
}

bool UpdateOrStoreDriver(UpdateDriverForPlugAndPlayDevicesAProc updateDriver, const char *hardwareId,
                         const char *infPath, BOOL *rebootRequired)
{
    HWND parent = GetDesktopWindow();

    if (updateDriver(parent, hardwareId, infPath, INSTALLFLAG_FORCE, rebootRequired))
        return true;
    if (GetLastError() != ERROR_NO_SUCH_DEVINST)
        return false;
    return StoreDriverPackage(infPath);
}

} // namespace

int InstallDriverPackage(const char *hardwareId, const char *infPath, BOOL *rebootRequired)
{
    int result = -1;
    HMODULE newdev = LoadSystemLibrary(NEWDEV_FILE_NAME);
    UpdateDriverForPlugAndPlayDevicesAProc updateDriver = NULL;

    if (newdev)
        updateDriver = (UpdateDriverForPlugAndPlayDevicesAProc)(void *)GetProcAddress(newdev, UPDATE_DRIVER_PROC_NAME);
    if (updateDriver && UpdateOrStoreDriver(updateDriver, hardwareId, infPath, rebootRequired))
        result = 0;
    if (newdev)
        FreeLibrary(newdev);
    return result;
}
