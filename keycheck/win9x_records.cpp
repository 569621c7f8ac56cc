#include "machine.h"

#include <string.h>

#include "bounded_string.h"
#include "system_names.h"

namespace {

const char WIN9X_ENUM_KEY_PATH[] = "Enum\\";
const char DRIVER_VALUE[] = "Driver";

// One recorded instance under HKLM\Enum\<hardware ID> on Windows 98/Me:
// its "Driver" value names its driver key under Services\Class.
void CheckWin9xDevice(const Machine *machine, HKEY devicesKey, const char *instance, InstallFindings *findings)
{
    char instanceId[LONG_PATH];
    char driverKey[MAX_PATH];
    HKEY key = NULL;
    DWORD size = sizeof(driverKey) - 1;
    DWORD type = 0;

    memset(driverKey, 0, sizeof(driverKey));
    ++findings->deviceInstances;
    JoinPath(instanceId, DEVICE_HARDWARE_ID, "\\", instance);
    if (RegOpenKeyExA(devicesKey, instance, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        findings->cannotRead = true;
        ReportLine(machine->report, "device: %s cannot be read", instanceId);
        return;
    }
    if (RegQueryValueExA(key, DRIVER_VALUE, NULL, &type, (BYTE *)driverKey, &size) != ERROR_SUCCESS || type != REG_SZ)
        memset(driverKey, 0, sizeof(driverKey));
    RegCloseKey(key);
    CountDevice(machine, instanceId, driverKey, 0, 0, findings);
}

} // namespace

// Windows 98/Me keep a record of every device ever seen under HKLM\Enum,
// plugged in or not (the install's reset clears the key's): each is judged
// by the driver it has or will get.
void CheckWin9xDevices(const Machine *machine, InstallFindings *findings)
{
    char keyPath[LONG_PATH];
    char instance[MAX_PATH];
    HKEY devicesKey = NULL;
    LONG status = ERROR_BAD_PATHNAME;

    if (JoinPath(keyPath, WIN9X_ENUM_KEY_PATH, DEVICE_HARDWARE_ID, ""))
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ENUMERATE_SUB_KEYS, &devicesKey);
    if (status == ERROR_FILE_NOT_FOUND)
        return;
    if (status != ERROR_SUCCESS) {
        findings->cannotRead = true;
        ReportLine(machine->report, "devices: HKLM\\%s cannot be read (error %ld)", keyPath, (long)status);
        return;
    }
    for (DWORD index = 0;; ++index) {
        memset(instance, 0, sizeof(instance));
        status = RegEnumKeyA(devicesKey, index, instance, sizeof(instance) - 1);
        if (status != ERROR_SUCCESS)
            break;
        CheckWin9xDevice(machine, devicesKey, instance, findings);
    }
    if (status != ERROR_NO_MORE_ITEMS) {
        findings->cannotRead = true;
        ReportLine(machine->report, "devices: HKLM\\%s cannot be read (error %ld)", keyPath, (long)status);
    }
    RegCloseKey(devicesKey);
}
