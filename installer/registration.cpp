#include "registration.h"

#include <windows.h>
#include <string.h>

#include "bounded_string.h"
#include "keysetup_version.h"
#include "system_names.h"

namespace {

const char VALUE_DISPLAY_ICON[] = "DisplayIcon";
const char VALUE_DISPLAY_NAME[] = "DisplayName";
const char VALUE_UNINSTALL_STRING[] = "UninstallString";
// For inventory tools and Programs and Features: the version, the
// publisher when the build names one, and Uninstall alone offered (a
// Change or Repair would only run the uninstall).
const char VALUE_DISPLAY_VERSION[] = "DisplayVersion";
const char VALUE_PUBLISHER[] = "Publisher";
const char VALUE_NO_MODIFY[] = "NoModify";
const char VALUE_NO_REPAIR[] = "NoRepair";
const char DISPLAY_VERSION[] = KEYSETUP_VERSION_TEXT;
const char PUBLISHER[] = KEYSETUP_PUBLISHER_TEXT;
const DWORD FLAG_SET = 1;
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

bool SetFlagValue(HKEY key, const char *name)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&FLAG_SET, sizeof(FLAG_SET)) == ERROR_SUCCESS;
}

// The values beyond the three that name and start the uninstaller.
bool SetInventoryValues(HKEY key)
{
    return SetStringValue(key, VALUE_DISPLAY_VERSION, DISPLAY_VERSION)
        && (PUBLISHER[0] == '\0' || SetStringValue(key, VALUE_PUBLISHER, PUBLISHER))
        && SetFlagValue(key, VALUE_NO_MODIFY)
        && SetFlagValue(key, VALUE_NO_REPAIR);
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
        && SetStringValue(key, VALUE_UNINSTALL_STRING, command)
        && SetInventoryValues(key))
        result = 1;
    RegCloseKey(key);
    return result;
}
