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
const char CFGMGR_FILE_NAME[] = "\\cfgmgr32.dll";

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
    if (result == CR_NO_SUCH_DEVNODE_CODE || ProblemMeansNotPresent(status, problem)) {
        ReportLine(machine->report, "device: %s not plugged in", instanceId);
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

void CheckDevices(const Machine *machine, HMODULE setupapi, InstallFindings *findings)
{
    if (machine->win9x)
        CheckWin9xDevices(machine, findings);
    else
        CheckNtDevices(machine, setupapi, findings);
    ReportLine(machine->report, "devices with the key's hardware ID: %d", findings->deviceInstances);
}
