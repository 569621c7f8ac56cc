// keysetup: silent installer of the key's driver package.
#include <windows.h>

#include "install_plan.h"
#include "mode.h"
#include "resource_ids.h"
#include "single_instance.h"
#include "uninstall.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int)
{
    if (!EnsureSingleInstance(instance, IDI_KEYSETUP, "TALVERNClass"))
        return 0;
    if (TailSelectsUninstall(commandTail))
        RunUninstall();
    else
        RunInstall(instance);
    return 0;
}
