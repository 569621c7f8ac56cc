#include "machine.h"

#include <string.h>

#include "bounded_string.h"
#include "keysetup_version.h"
#include "system_names.h"

namespace {

const DWORD VALUE_CAPACITY = MAX_PATH + 8;

// The uninstall command as the registration writes it.
bool BuildExpectedCommand(char *command, const char *uninstallerPath)
{
    bool quoted = strchr(uninstallerPath, ' ') != NULL;

    memset(command, 0, VALUE_CAPACITY);
    return !BoundedFailed(BoundedCopy(command, VALUE_CAPACITY, quoted ? "\"" : "")) &&
           !BoundedFailed(BoundedAppend(command, VALUE_CAPACITY, uninstallerPath)) &&
           !BoundedFailed(BoundedAppend(command, VALUE_CAPACITY, quoted ? "\" -u" : " -u"));
}

// One value against what it must hold; false unless it holds exactly that.
bool CheckEntryValue(const Machine *machine, HKEY key, const char *name, const char *expected)
{
    char value[VALUE_CAPACITY];
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    LONG status;

    memset(value, 0, sizeof(value));
    status = RegQueryValueExA(key, name, NULL, &type, (BYTE *)value, &size);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        ReportLine(machine->report, "entry value: %s missing", name);
        return false;
    }
    bool same = lstrcmpiA(value, expected) == 0;
    ReportLine(machine->report, "entry value: %s %s: %s", name, same ? "ok" : "other", value);
    return same;
}

// A flag value (NoModify, NoRepair): a DWORD holding 1.
bool CheckEntryFlag(const Machine *machine, HKEY key, const char *name)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, name, NULL, &type, (BYTE *)&value, &size);

    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) {
        ReportLine(machine->report, "entry value: %s missing", name);
        return false;
    }
    ReportLine(machine->report, "entry value: %s %s: %lu", name, value == 1 ? "ok" : "other", (unsigned long)value);
    return value == 1;
}

// The values for inventories and Programs and Features: the version, the
// publisher when this build names one, Uninstall offered alone.
bool CheckInventoryValues(const Machine *machine, HKEY key)
{
    bool versionOk = CheckEntryValue(machine, key, "DisplayVersion", KEYSETUP_VERSION_TEXT);
    bool publisherOk = !KEYSETUP_HAS_PUBLISHER || CheckEntryValue(machine, key, "Publisher", KEYSETUP_PUBLISHER_TEXT);
    bool noModifyOk = CheckEntryFlag(machine, key, "NoModify");
    bool noRepairOk = CheckEntryFlag(machine, key, "NoRepair");
    return versionOk && publisherOk && noModifyOk && noRepairOk;
}

} // namespace

// The entry lies where a 32-bit installer wrote it: the 32-bit view.
EntryState CheckEntry(const Machine *machine)
{
    char command[VALUE_CAPACITY];
    HKEY key = NULL;
    REGSAM view = machine->wow64 ? KEY_WOW64_32KEY : 0;
    const char *viewWords = machine->wow64 ? " (32-bit view)" : "";
    EntryState state = ENTRY_OTHER_VALUES;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, KEY_QUERY_VALUE | view, &key);

    if (status == ERROR_FILE_NOT_FOUND) {
        ReportLine(machine->report, "entry: HKLM\\%s%s missing", UNINSTALL_KEY_PATH, viewWords);
        return ENTRY_ABSENT;
    }
    if (status != ERROR_SUCCESS) {
        ReportLine(machine->report, "entry: HKLM\\%s%s cannot be read (error %lu)", UNINSTALL_KEY_PATH, viewWords,
                   (unsigned long)status);
        return ENTRY_UNREADABLE;
    }
    ReportLine(machine->report, "entry: HKLM\\%s%s present", UNINSTALL_KEY_PATH, viewWords);
    bool commandBuilt = BuildExpectedCommand(command, machine->uninstallerPath);
    bool iconOk = CheckEntryValue(machine, key, "DisplayIcon", machine->uninstallerPath);
    bool nameOk = CheckEntryValue(machine, key, "DisplayName", UNINSTALL_DISPLAY_NAME);
    bool commandOk = CheckEntryValue(machine, key, "UninstallString", command);
    bool inventoryOk = CheckInventoryValues(machine, key);
    if (iconOk && nameOk && commandOk && commandBuilt && inventoryOk)
        state = ENTRY_OK;
    RegCloseKey(key);
    return state;
}
