#include "machine.h"

#include <string.h>

#include "bounded_string.h"
#include "device_removal.h"
#include "inf_match.h"
#include "setup_library.h"
#include "system_names.h"

namespace {

typedef DWORD(WINAPI *CmGetDevNodeStatusProc)(PULONG, PULONG, DWORD, ULONG);
typedef BOOL(WINAPI *SetupDiGetDeviceInstanceIdAProc)(HDEVINFO, PSP_DEVINFO_DATA, PSTR, DWORD, PDWORD);

const DWORD CR_SUCCESS_CODE = 0;
const DWORD CR_NO_SUCH_DEVNODE_CODE = 0x0000000D;
#define CM_STATUS_FUNCTION "CM_Get_DevNode_Status"
const char CLASS_KEY_PATH[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
const char WIN9X_CLASS_KEY_PATH[] = "System\\CurrentControlSet\\Services\\Class\\";
const char CFGMGR_FILE_NAME[] = "\\cfgmgr32.dll";
const char INF_PATH_VALUE[] = "InfPath";

struct DeviceFunctions {
    SetupDiGetClassDevsAProc getClassDevs;
    SetupDiEnumDeviceInfoProc enumDeviceInfo;
    SetupDiGetDeviceRegistryPropertyAProc readProperty;
    SetupDiDestroyDeviceInfoListProc destroyList;
    SetupDiGetDeviceInstanceIdAProc getInstanceId; // optional
    CmGetDevNodeStatusProc getStatus;              // setupapi's, else cfgmgr32's
};

bool FindDeviceFunctions(HMODULE setupapi, HMODULE cfgmgr, DeviceFunctions *f)
{
    f->getClassDevs = (SetupDiGetClassDevsAProc)FindSetupFunction(setupapi, "SetupDiGetClassDevsA");
    f->enumDeviceInfo = (SetupDiEnumDeviceInfoProc)FindSetupFunction(setupapi, "SetupDiEnumDeviceInfo");
    f->readProperty =
        (SetupDiGetDeviceRegistryPropertyAProc)FindSetupFunction(setupapi, "SetupDiGetDeviceRegistryPropertyA");
    f->destroyList = (SetupDiDestroyDeviceInfoListProc)FindSetupFunction(setupapi, "SetupDiDestroyDeviceInfoList");
    f->getInstanceId =
        (SetupDiGetDeviceInstanceIdAProc)FindSetupFunction(setupapi, "SetupDiGetDeviceInstanceIdA");
    f->getStatus = (CmGetDevNodeStatusProc)FindSetupFunction(setupapi, CM_STATUS_FUNCTION);
    if (!f->getStatus && cfgmgr)
        f->getStatus = (CmGetDevNodeStatusProc)(void *)GetProcAddress(cfgmgr, CM_STATUS_FUNCTION);
    return f->getClassDevs && f->enumDeviceInfo && f->readProperty && f->destroyList;
}

// The InfPath of the driver key (under WOW64 in the 64-bit view, where the
// native device installer wrote it; on Windows 98/Me under Services\Class);
// empty when the key records none. The result of opening the key.
LONG ReadDriverInf(const Machine *machine, const char *driverKey, char *infName)
{
    char keyPath[LONG_PATH];
    HKEY key = NULL;
    DWORD size = MAX_PATH - 1;
    DWORD type = 0;
    REGSAM view = machine->wow64 ? KEY_WOW64_64KEY : 0;
    LONG status = ERROR_BAD_PATHNAME;

    memset(infName, 0, MAX_PATH);
    if (JoinPath(keyPath, machine->win9x ? WIN9X_CLASS_KEY_PATH : CLASS_KEY_PATH, driverKey, ""))
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | view, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (RegQueryValueExA(key, INF_PATH_VALUE, NULL, &type, (BYTE *)infName, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        memset(infName, 0, MAX_PATH);
    RegCloseKey(key);
    return status;
}

// Judges a device's driver from its driver key; *opened: the result of
// opening that key (ERROR_SUCCESS when none was needed).
DriverState JudgeDeviceDriver(const Machine *machine, const char *driverKey, ULONG status, ULONG problem,
                              LONG *opened, InstallFindings *findings)
{
    char infName[MAX_PATH];
    char infPath[LONG_PATH];
    InfKind kind = INF_UNRELATED;

    memset(infName, 0, sizeof(infName));
    *opened = ERROR_SUCCESS;
    if (driverKey[0] && !AwaitsRestart(status, problem))
        *opened = ReadDriverInf(machine, driverKey, infName);
    if (infName[0] && JoinPath(infPath, machine->windowsDir, INF_DIR, infName) &&
        !JudgeStoredInf(machine, infPath, &kind))
        findings->cannotRead = true;
    return JudgeDriver(driverKey[0] != '\0', infName, kind, status, problem);
}

// One device with the ID, seen through setupapi: its presence, then its
// driver.
void CheckDevice(const Machine *machine, const DeviceFunctions *f, HDEVINFO devices, SP_DEVINFO_DATA *device,
                 InstallFindings *findings)
{
    char instanceId[MAX_PATH];
    char driverKey[MAX_PATH];
    ULONG status = 0, problem = 0;
    DWORD type = 0;
    DWORD result = CR_NO_SUCH_DEVNODE_CODE;

    memset(instanceId, 0, sizeof(instanceId));
    memset(driverKey, 0, sizeof(driverKey));
    if (!f->getInstanceId || !f->getInstanceId(devices, device, instanceId, sizeof(instanceId) - 1, NULL))
        BoundedCopy(instanceId, sizeof(instanceId), "(instance ID unreadable)");
    if (f->getStatus)
        result = f->getStatus(&status, &problem, device->DevInst, 0);
    if (!f->getStatus || (result != CR_SUCCESS_CODE && result != CR_NO_SUCH_DEVNODE_CODE)) {
        findings->cannotRead = true;
        ReportLine(machine->report, "device: %s presence cannot be read (%s %lu)", instanceId,
                   f->getStatus ? "error" : "no " CM_STATUS_FUNCTION, (unsigned long)result);
        return;
    }
    if (result == CR_NO_SUCH_DEVNODE_CODE) {
        ReportLine(machine->report, "device: %s not present", instanceId);
        return;
    }
    if (!f->readProperty(devices, device, SPDRP_DRIVER, &type, (BYTE *)driverKey, sizeof(driverKey) - 1, NULL))
        memset(driverKey, 0, sizeof(driverKey));
    CountDevice(machine, instanceId, driverKey, status, problem, findings);
}

void WalkDevices(const Machine *machine, const DeviceFunctions *f, HDEVINFO devices, InstallFindings *findings)
{
    SP_DEVINFO_DATA device;

    memset(&device, 0, sizeof(device));
    device.cbSize = sizeof(device);
    for (DWORD index = 0; f->enumDeviceInfo(devices, index, &device); ++index) {
        char *list = NULL;
        DWORD size = 0;
        int read = ReadHardwareIdList(devices, &device, f->readProperty, &list, &size);
        if (read < 0)
            findings->cannotRead = true;
        if (read == 1 && HardwareIdListContains(list, size, DEVICE_HARDWARE_ID)) {
            ++findings->deviceInstances;
            CheckDevice(machine, f, devices, &device, findings);
        }
        if (list)
            LocalFree(list);
    }
}

// Windows 2000 and later: every device of every class, through setupapi;
// presence from CM_Get_DevNode_Status (setupapi's or cfgmgr32's).
void CheckNtDevices(const Machine *machine, HMODULE setupapi, InstallFindings *findings)
{
    DeviceFunctions functions;
    HDEVINFO devices = INVALID_HANDLE_VALUE;
    HMODULE cfgmgr = LoadSystemLibrary(CFGMGR_FILE_NAME);

    memset(&functions, 0, sizeof(functions));
    if (!FindDeviceFunctions(setupapi, cfgmgr, &functions)) {
        findings->cannotRead = true;
        ReportLine(machine->report, "devices: cannot be read (setupapi lacks the device functions)");
    } else {
        devices = functions.getClassDevs(NULL, NULL, NULL, DIGCF_ALLCLASSES);
        if (devices == INVALID_HANDLE_VALUE) {
            findings->cannotRead = true;
            ReportLine(machine->report, "devices: cannot be read (error %lu)", (unsigned long)GetLastError());
        } else {
            WalkDevices(machine, &functions, devices, findings);
            functions.destroyList(devices);
        }
    }
    if (cfgmgr)
        FreeLibrary(cfgmgr);
}

} // namespace

// Reports one device's verdict and counts it.
void CountDevice(const Machine *machine, const char *instanceId, const char *driverKey, ULONG status, ULONG problem,
                 InstallFindings *findings)
{
    const char *presence = machine->presenceWord;
    LONG opened = ERROR_SUCCESS;
    DriverState driver = JudgeDeviceDriver(machine, driverKey, status, problem, &opened, findings);

    switch (driver) {
    case DRIVER_KEYS:
        ReportLine(machine->report, "device: %s %s, driver %s, the key's", instanceId, presence, driverKey);
        return;
    case DRIVER_NONE: ReportLine(machine->report, "device: %s %s, driver none", instanceId, presence); break;
    case DRIVER_OTHER_INF:
        ReportLine(machine->report, "device: %s %s, driver %s, another INF", instanceId, presence, driverKey);
        break;
    case DRIVER_OTHER_VERSION:
        ReportLine(machine->report, "device: %s %s, driver %s, another version", instanceId, presence, driverKey);
        break;
    case DRIVER_PROBLEM:
        ReportLine(machine->report, "device: %s %s, problem %lu", instanceId, presence, (unsigned long)problem);
        break;
    case DRIVER_RESTART_PENDING:
        ++findings->devicesAwaitingRestart;
        ReportLine(machine->report, "device: %s %s, restart needed (status 0x%08lx, problem %lu)", instanceId, presence,
                   (unsigned long)status, (unsigned long)problem);
        return;
    default:
        // Its driver cannot be told: never taken for the key's.
        findings->cannotRead = true;
        if (opened != ERROR_SUCCESS)
            ReportLine(machine->report, "device: %s %s, driver key %s cannot be opened (error %ld)", instanceId,
                       presence, driverKey, (long)opened);
        else
            ReportLine(machine->report, "device: %s %s, driver %s, no InfPath recorded", instanceId, presence,
                       driverKey);
        return;
    }
    ++findings->devicesWithoutKeysDriver;
}

void CheckDevices(const Machine *machine, HMODULE setupapi, InstallFindings *findings)
{
    if (machine->win9x)
        CheckWin9xDevices(machine, findings);
    else
        CheckNtDevices(machine, setupapi, findings);
    ReportLine(machine->report, "devices: %d with %s", findings->deviceInstances, DEVICE_HARDWARE_ID);
}
