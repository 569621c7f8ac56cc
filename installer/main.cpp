// keysetup: silent installer of the key's driver package.
#include <windows.h>

#include "command_line.h"
#include "install_plan.h"
#include "mode.h"
#include "program_entry.h"
#include "resource_ids.h"
#include "single_instance.h"
#include "uninstall.h"

// The program's entry: no runtime start-up code runs before it (msvcrt.dll
// initialises itself when it is loaded), so the tail is cut here.
extern "C" void WINAPI ProgramEntry(void)
{
    HINSTANCE instance = GetModuleHandleA(NULL);

    if (EnsureSingleInstance(instance, IDI_KEYSETUP, "TALVERNClass")) {
        if (TailSelectsUninstall(CommandLineTail(GetCommandLineA())))
            RunUninstall();
        else
            RunInstall(instance);
    }
    ExitProcess(0);
}
