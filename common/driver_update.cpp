#include "driver_update.h"

#include <string.h>

#include "platform.h"
#include "setup_library.h"

namespace {

typedef BOOL(WINAPI *UpdateDriverForPlugAndPlayDevicesAProc)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

const char NEWDEV_FILE_NAME[] = "\\newdev.dll";
const char UPDATE_DRIVER_PROC_NAME[] = "UpdateDriverForPlugAndPlayDevicesA";
const char COPY_OEM_INF_PROC_NAME[] = "SetupCopyOEMInfA";
const char NON_INTERACTIVE_PROC_NAME[] = "SetupSetNonInteractiveMode";

const DWORD STORED_INF_NAME_CAPACITY = 256;

// How an update may go: its install flags, and whether any failure (not
// only "no such device") is followed by the store.
struct UpdateStyle {
    DWORD installFlags;
    bool storeAfterAnyFailure;
};

const UpdateStyle ATTENDED_UPDATE = {ATTENDED_INSTALL_FLAGS, false};
const UpdateStyle UNATTENDED_UPDATE = {UNATTENDED_INSTALL_FLAGS, true};

// The mode is setupapi's state in this process: it holds while the library
// stays loaded, and newdev.dll installs through it.
void MakeSetupNonInteractive(HMODULE setupapi)
{
    SetupSetNonInteractiveModeProc setNonInteractive = NULL;

    if (setupapi)
        setNonInteractive = (SetupSetNonInteractiveModeProc)FindSetupFunction(setupapi, NON_INTERACTIVE_PROC_NAME);
    if (setNonInteractive)
        setNonInteractive(TRUE);
}

// Copies the INF among the system's INFs, for a device plugged in later.
bool StoreDriverPackage(HMODULE setupapi, const char *infPath)
{
    char storedName[STORED_INF_NAME_CAPACITY];
    DWORD requiredSize = 0;
    SetupCopyOEMInfAProc copyOemInf = NULL;

    memset(storedName, 0, sizeof(storedName));
    if (setupapi)
        copyOemInf = (SetupCopyOEMInfAProc)FindSetupFunction(setupapi, COPY_OEM_INF_PROC_NAME);
    return copyOemInf && copyOemInf(infPath, NULL, SPOST_PATH, 0, storedName, STORED_INF_NAME_CAPACITY,
                                    &requiredSize, NULL) != FALSE;
}

bool UpdateOrStoreDriver(UpdateDriverForPlugAndPlayDevicesAProc updateDriver, HMODULE setupapi,
                         const UpdateStyle *style, const char *hardwareId, const char *infPath, BOOL *rebootRequired)
{
    HWND parent = GetDesktopWindow();

    SetLastError(ERROR_SUCCESS);
    if (updateDriver(parent, hardwareId, infPath, style->installFlags, rebootRequired))
        return true;
    if (GetLastError() != ERROR_NO_SUCH_DEVINST && !style->storeAfterAnyFailure)
        return false;
    return StoreDriverPackage(setupapi, infPath);
}

int InstallWithStyle(const UpdateStyle *style, const char *hardwareId, const char *infPath, BOOL *rebootRequired)
{
    int result = -1;
    // setupapi first, so that its mode is set before newdev.dll loads it.
    HMODULE setupapi = LoadSetupLibrary();
    HMODULE newdev = NULL;
    UpdateDriverForPlugAndPlayDevicesAProc updateDriver = NULL;

    MakeSetupNonInteractive(setupapi);
    newdev = LoadSystemLibrary(NEWDEV_FILE_NAME);
    if (newdev)
        updateDriver = (UpdateDriverForPlugAndPlayDevicesAProc)(void *)GetProcAddress(newdev, UPDATE_DRIVER_PROC_NAME);
    if (updateDriver && UpdateOrStoreDriver(updateDriver, setupapi, style, hardwareId, infPath, rebootRequired))
        result = 0;
    if (newdev)
        FreeLibrary(newdev);
    if (setupapi)
        FreeLibrary(setupapi);
    return result;
}

} // namespace

int InstallDriverPackage(const char *hardwareId, const char *infPath, BOOL *rebootRequired)
{
    return InstallWithStyle(&ATTENDED_UPDATE, hardwareId, infPath, rebootRequired);
}

int InstallDriverPackageUnattended(const char *hardwareId, const char *infPath, BOOL *rebootRequired)
{
    return InstallWithStyle(&UNATTENDED_UPDATE, hardwareId, infPath, rebootRequired);
}
