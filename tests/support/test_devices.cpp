#include "test_devices.h"

#include <windows.h>
#include <setupapi.h>

namespace {

// GUID_DEVCLASS_UNKNOWN: a class without a class installer of its own.
// Room for any device instance ID (the system allows 200 characters).
const DWORD INSTANCE_ID_CAPACITY = 256;

const GUID TEST_DEVICE_CLASS = {0x4d36e97e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

bool SetMultiSzProperty(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property, const std::string &list)
{
    return SetupDiSetDeviceRegistryPropertyA(set, device, property, (const BYTE *)list.data(),
                                             (DWORD)list.size()) != FALSE;
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA *device)
{
    char id[INSTANCE_ID_CAPACITY] = {0};

    if (!SetupDiGetDeviceInstanceIdA(set, device, id, sizeof(id), NULL))
        return "";
    return id;
}

bool HasPrefix(const std::string &text, const std::string &prefix)
{
    return text.size() >= prefix.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.data(), (int)prefix.size(), prefix.data(),
                          (int)prefix.size()) == CSTR_EQUAL;
}

bool RemoveDeviceInstance(const std::string &instanceId)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(NULL, NULL);
    SP_DEVINFO_DATA device;
    bool removed = false;

    if (set == INVALID_HANDLE_VALUE)
        return false;
    ZeroMemory(&device, sizeof(device));
    device.cbSize = sizeof(device);
    if (SetupDiOpenDeviceInfoA(set, instanceId.c_str(), NULL, 0, &device))
        removed = SetupDiCallClassInstaller(DIF_REMOVE, set, &device) != FALSE;
    SetupDiDestroyDeviceInfoList(set);
    return removed;
}

} // namespace

std::string MultiSz(std::initializer_list<const char *> entries)
{
    std::string list;

    for (const char *entry : entries) {
        list += entry;
        list += '\0';
    }
    list += '\0';
    return list;
}

std::string CreateTestDevice(const char *name, const std::string &hardwareIdsMultiSz,
                             const std::string &compatibleIdsMultiSz, bool withHardwareIds)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&TEST_DEVICE_CLASS, NULL);
    SP_DEVINFO_DATA device;
    std::string instanceId;
    bool made = false;

    if (set == INVALID_HANDLE_VALUE)
        return "";
    ZeroMemory(&device, sizeof(device));
    device.cbSize = sizeof(device);
    if (SetupDiCreateDeviceInfoA(set, name, &TEST_DEVICE_CLASS, NULL, NULL, DICD_GENERATE_ID, &device)) {
        made = (!withHardwareIds || SetMultiSzProperty(set, &device, SPDRP_HARDWAREID, hardwareIdsMultiSz)) &&
               (compatibleIdsMultiSz.empty() ||
                SetMultiSzProperty(set, &device, SPDRP_COMPATIBLEIDS, compatibleIdsMultiSz)) &&
               SetupDiRegisterDeviceInfo(set, &device, 0, NULL, NULL, NULL);
        if (made)
            instanceId = InstanceId(set, &device);
        else
            SetupDiDeleteDeviceInfo(set, &device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return instanceId;
}

std::vector<std::string> ListDeviceInstances()
{
    std::vector<std::string> ids;
    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA device;

    if (set == INVALID_HANDLE_VALUE)
        return ids;
    ZeroMemory(&device, sizeof(device));
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index)
        ids.push_back(InstanceId(set, &device));
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

bool DeviceInstanceExists(const std::string &instanceId)
{
    std::vector<std::string> ids = ListDeviceInstances();

    for (size_t i = 0; i < ids.size(); ++i)
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, ids[i].c_str(), -1, instanceId.c_str(), -1) ==
            CSTR_EQUAL)
            return true;
    return false;
}

int RemoveTestDevices(const char *name)
{
    std::vector<std::string> ids = ListDeviceInstances();
    std::string prefix = std::string("ROOT\\") + name + "\\";
    int count = 0;

    // Removed one by one from sets of their own, so that a removal cannot
    // shift the enumeration of the others.
    for (size_t i = 0; i < ids.size(); ++i) {
        if (HasPrefix(ids[i], prefix)) {
            RemoveDeviceInstance(ids[i]);
            ++count;
        }
    }
    return count;
}
