// Runs the driver activation from a program of its own, so that tests can
// place it (and files beside it) where they like or emulate another Windows.
//   install INF  InstallDriverPackage for the key; exit 0 done, 1 not done
//   reset        ResetWin9xDriverDatabase for the key; exit code its result
//   bare         calls newdev.dll loaded by bare name, as the installer must
//                not; exit 0 when it was found
#include <windows.h>

#include <string.h>

#include "activation.h"
#include "system_names.h"

namespace {

typedef BOOL(WINAPI *UpdateDriverProc)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

const char INSTALL_WORD[] = "install ";
const char RESET_WORD[] = "reset";
const char BARE_WORD[] = "bare";

int CallNewdevByBareName(void)
{
    int result = 1;
    BOOL rebootRequired = FALSE;
    HMODULE newdev = LoadLibraryA("newdev.dll");
    UpdateDriverProc updateDriver = NULL;

    if (newdev)
        updateDriver = (UpdateDriverProc)(void *)GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesA");
    if (updateDriver) {
        updateDriver(NULL, DEVICE_HARDWARE_ID, "bare.inf", 0, &rebootRequired);
        result = 0;
    }
    if (newdev)
        FreeLibrary(newdev);
    return result;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int)
{
    BOOL rebootRequired = FALSE;

    if (strncmp(commandTail, INSTALL_WORD, strlen(INSTALL_WORD)) == 0)
        return InstallDriverPackage(DEVICE_HARDWARE_ID, commandTail + strlen(INSTALL_WORD), &rebootRequired) == 0 ? 0 : 1;
    if (strcmp(commandTail, RESET_WORD) == 0)
        return ResetWin9xDriverDatabase(DEVICE_HARDWARE_ID);
    if (strcmp(commandTail, BARE_WORD) == 0)
        return CallNewdevByBareName();
    return 2;
}
