// DrvInst64: the 64-bit install program that keysetup deploys beside the
// 64-bit driver package and starts with "-install" on 64-bit Windows. It
// installs ZIVIRIZ.inf from its own directory for the key's hardware ID.
#include <windows.h>

#include <string.h>

#include "driver_update.h"
#include "bounded_string.h"
#include "command_line.h"
#include "program_entry.h"
#include "system_names.h"

namespace {

const char INSTALL_WORD[] = "-install";
const char PACKAGE_INF_NAME[] = "\\ZIVIRIZ.inf";

// The INF beside this program: its own path up to the last backslash.
bool GetPackageInfPath(char *infPath)
{
    char *lastSeparator;
    DWORD length;

    memset(infPath, 0, MAX_PATH);
    length = GetModuleFileNameA(NULL, infPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    lastSeparator = strrchr(infPath, '\\');
    if (!lastSeparator)
        return false;
    *lastSeparator = '\0';
    return !BoundedFailed(BoundedAppend(infPath, MAX_PATH, PACKAGE_INF_NAME));
}

} // namespace

// The program's entry: no runtime start-up code runs before it.
extern "C" void WINAPI ProgramEntry(void)
{
    char infPath[MAX_PATH];
    BOOL rebootRequired = FALSE;

    // Any other command line does nothing: only the installer starts it.
    if (_stricmp(CommandLineTail(GetCommandLineA()), INSTALL_WORD) == 0 && GetPackageInfPath(infPath))
        InstallDriverPackage(DEVICE_HARDWARE_ID, infPath, &rebootRequired);
    ExitProcess(0);
}
