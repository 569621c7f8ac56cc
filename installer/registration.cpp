#include "registration.h"

#include <windows.h>
#include <string.h>

#include "bounded_string.h"
#include "system_names.h"

namespace {

const char VALUE_DISPLAY_ICON[] = "DisplayIcon";
const char VALUE_DISPLAY_NAME[] = "DisplayName";
const char VALUE_UNINSTALL_STRING[] = "UninstallString";
const char UNINSTALL_SWITCH[] = " -u";
const char QUOTE[] = "\"";
const size_t VALUE_TEXT_LENGTH = MAX_PATH;

// The uninstall command: the path, quoted when it holds a blank (Windows
// would otherwise split it there), then the switch. False, leaving command
// empty, when it does not fit.
bool BuildUninstallCommand(char *command, const char *uninstallerPath)
{
    bool quoted = strchr(uninstallerPath, ' ') != NULL;
    BoundedStatus status = STATUS_OK;

    memset(command, 0, VALUE_TEXT_LENGTH);
    if (quoted)
        status = BoundedCopy(command, VALUE_TEXT_LENGTH, QUOTE);
    if (!BoundedFailed(status))
        status = BoundedAppend(command, VALUE_TEXT_LENGTH, uninstallerPath);
    if (quoted && !BoundedFailed(status))
        status = BoundedAppend(command, VALUE_TEXT_LENGTH, QUOTE);
    if (!BoundedFailed(status))
        status = BoundedAppend(command, VALUE_TEXT_LENGTH, UNINSTALL_SWITCH);
    if (BoundedFailed(status)) {
        memset(command, 0, VALUE_TEXT_LENGTH);
        return false;
    }
    return true;
}

bool SetStringValue(HKEY key, const char *name, const char *text)
{
    DWORD size = (DWORD)strlen(text) + 1;
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, size) == ERROR_SUCCESS;
}

} // namespace

int RegisterUninstallEntry(const char *uninstallerPath)
{
    char command[VALUE_TEXT_LENGTH];
    char emptyClass[] = "";
    HKEY key = NULL;
    int result = 0;

    // A command that does not fit is not written at all: a cut one would
    // start nothing, and the key is not touched.
    if (uninstallerPath == NULL || !BuildUninstallCommand(command, uninstallerPath))
        return 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, emptyClass, 0, KEY_ALL_ACCESS, NULL,
                        &key, NULL) != ERROR_SUCCESS)
        return 0;
    if (SetStringValue(key, VALUE_DISPLAY_ICON, uninstallerPath)
        && SetStringValue(key, VALUE_DISPLAY_NAME, UNINSTALL_DISPLAY_NAME)
        && SetStringValue(key, VALUE_UNINSTALL_STRING, command))
        result = 1;
    RegCloseKey(key);
    return result;
}
