// QV_DRVUNI: silent uninstaller of the key's driver package, started from
// Add/Remove Programs. Its command line is ignored.
#include <windows.h>

#include "single_instance.h"
#include "uninstall.h"
#include "uninstaller_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (EnsureSingleInstance(instance, IDI_QV_DRVUNI, "TALVERNUnClass"))
        RunUninstall();
    return 0;
}
