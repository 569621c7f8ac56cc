// QV_DRVUNI: silent uninstaller of the key's driver package, started from
// Add/Remove Programs. Its command line is ignored.
#include <windows.h>

#include "program_entry.h"
#include "single_instance.h"
#include "uninstall.h"
#include "uninstaller_ids.h"

// The program's entry: no runtime start-up code runs before it.
extern "C" void WINAPI ProgramEntry(void)
{
    if (EnsureSingleInstance(GetModuleHandleA(NULL), IDI_QV_DRVUNI, "TALVERNUnClass"))
        RunUninstall();
    ExitProcess(0);
}
