// DrvInst64: the 64-bit install program that keysetup deploys beside the
// 64-bit driver package on 64-bit Windows, where a 32-bit process can do no
// device installation. With "-install" (keysetup's install) it installs
// ZIVIRIZ.inf from its own directory for the key's hardware ID; with
// "-uninstall" (the uninstall) it deletes the stored copies of the key's
// INF and removes the key's device instances.
#include <windows.h>

#include <string.h>

#include "driver_purge.h"
#include "driver_update.h"
#include "bounded_string.h"
#include "command_line.h"
#include "program_entry.h"
#include "system_names.h"

namespace {

const char INSTALL_WORD[] = "-install";
const char UNINSTALL_WORD[] = "-uninstall";
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
    const char *word = CommandLineTail(GetCommandLineA());

    // Any other command line does nothing: only the two programs start it.
    if (_stricmp(word, INSTALL_WORD) == 0 && GetPackageInfPath(infPath))
        InstallDriverPackageUnattended(DEVICE_HARDWARE_ID, infPath, &rebootRequired);
    else if (_stricmp(word, UNINSTALL_WORD) == 0)
        PurgeDriverAndDevices(DEVICE_HARDWARE_ID);
    ExitProcess(0);
}
