#include "device_removal.h"

#include <string.h>

namespace {

// Zero bytes kept beyond the reported size, so that a list lacking its
// terminators still ends inside the block.
const DWORD PROPERTY_GUARD_BYTES = 2;

// The device functions of setupapi.dll, looked up for one removal.
struct DeviceFunctions {
    SetupDiGetClassDevsAProc getClassDevs;
    SetupDiEnumDeviceInfoProc enumDeviceInfo;
    DevicePropertyReader readProperty;
    SetupDiCallClassInstallerProc callClassInstaller;
    SetupDiDestroyDeviceInfoListProc destroyDeviceInfoList;
};

// True when the library has every one of them.
bool FindDeviceFunctions(HMODULE setupapi, DeviceFunctions *functions)
{
    functions->getClassDevs = (SetupDiGetClassDevsAProc)FindSetupFunction(setupapi, "SetupDiGetClassDevsA");
    functions->enumDeviceInfo = (SetupDiEnumDeviceInfoProc)FindSetupFunction(setupapi, "SetupDiEnumDeviceInfo");
    functions->readProperty =
        (DevicePropertyReader)FindSetupFunction(setupapi, "SetupDiGetDeviceRegistryPropertyA");
    functions->callClassInstaller =
        (SetupDiCallClassInstallerProc)FindSetupFunction(setupapi, "SetupDiCallClassInstaller");
    functions->destroyDeviceInfoList =
        (SetupDiDestroyDeviceInfoListProc)FindSetupFunction(setupapi, "SetupDiDestroyDeviceInfoList");
    return functions->getClassDevs && functions->enumDeviceInfo && functions->readProperty &&
           functions->callClassInstaller && functions->destroyDeviceInfoList;
}

size_t BoundedEntryLength(const char *entry, DWORD room)
{
    const void *end = memchr(entry, '\0', room);

    return end ? (size_t)((const char *)end - entry) : room;
}

// The user locale's case-insensitive comparison, as lstrcmpiA makes it, but
// over a counted entry so that an unterminated last entry is never overrun.
bool EntryEquals(const char *entry, size_t length, const char *hardwareId)
{
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, hardwareId, -1, entry, (int)length) == CSTR_EQUAL;
}

// A "too small" answer is worth another query only for a size that the
// block can hold with its guard bytes and that is more than was offered:
// the same size again would repeat for ever.
bool WorthGrowing(DWORD error, const char *buffer, DWORD bufferSize, DWORD requiredSize)
{
    if (error != ERROR_INSUFFICIENT_BUFFER || requiredSize > HARDWARE_ID_LIST_LIMIT)
        return false;
    return !buffer || requiredSize > bufferSize;
}

// 0 when the device was dealt with (removed, kept or without hardware IDs),
// -1 when its hardware IDs cannot be read.
int RemoveDeviceIfListed(const DeviceFunctions *functions, HDEVINFO devices, SP_DEVINFO_DATA *device,
                         const char *hardwareId)
{
    char *list = NULL;
    DWORD size = 0;
    int read = ReadHardwareIdList(devices, device, functions->readProperty, &list, &size);

    // One removal per device, however often its list names the ID.
    if (read == 1 && HardwareIdListContains(list, size, hardwareId))
        functions->callClassInstaller(DIF_REMOVE, devices, device);
    if (list)
        LocalFree(list);
    return read < 0 ? -1 : 0;
}

int RemoveListedDevices(const DeviceFunctions *functions, HDEVINFO devices, const char *hardwareId)
{
    SP_DEVINFO_DATA device;
    DWORD index;
    int result = 0;

    memset(&device, 0, sizeof(device));
    device.cbSize = sizeof(device);
    // A removed device leaves its place in the set; the index moves on.
    for (index = 0; result == 0 && functions->enumDeviceInfo(devices, index, &device); ++index)
        result = RemoveDeviceIfListed(functions, devices, &device, hardwareId);
    return result;
}

} // namespace

bool HardwareIdListContains(const char *list, DWORD size, const char *hardwareId)
{
    DWORD position = 0;

    while (position < size && list[position] != '\0') {
        size_t length = BoundedEntryLength(list + position, size - position);
        if (EntryEquals(list + position, length, hardwareId))
            return true;
        position += (DWORD)length + 1;
    }
    return false;
}

int ReadHardwareIdList(HDEVINFO devices, SP_DEVINFO_DATA *device, DevicePropertyReader readProperty,
                       char **list, DWORD *size)
{
    char *buffer = NULL;
    DWORD bufferSize = 0;
    DWORD requiredSize = 0;
    DWORD dataType = 0;
    DWORD error;
    int tries;
    int result = -1;

    *list = NULL;
    *size = 0;
    for (tries = 0; tries < PROPERTY_READ_TRIES; ++tries) {
        if (readProperty(devices, device, SPDRP_HARDWAREID, &dataType, (PBYTE)buffer, bufferSize, &requiredSize)) {
            result = 1;
            break;
        }
        error = GetLastError();
        if (error == ERROR_INVALID_DATA) {
            result = 0;
            break;
        }
        if (!WorthGrowing(error, buffer, bufferSize, requiredSize))
            break;
        if (buffer)
            LocalFree(buffer);
        bufferSize = requiredSize;
        buffer = (char *)LocalAlloc(LMEM_ZEROINIT, bufferSize + PROPERTY_GUARD_BYTES);
        if (!buffer)
            break;
    }
    if (result == 1) {
        *list = buffer;
        // A size beyond the block handed over is not believed.
        *size = requiredSize < bufferSize ? requiredSize : bufferSize;
    } else if (buffer) {
        LocalFree(buffer);
    }
    return result;
}

int RemoveDevicesByHardwareId(const char *hardwareId)
{
    HMODULE setupapi = LoadSetupLibrary();
    DeviceFunctions functions;
    HDEVINFO devices = INVALID_HANDLE_VALUE;
    int result = -1;

    memset(&functions, 0, sizeof(functions));
    if (setupapi && FindDeviceFunctions(setupapi, &functions))
        devices = functions.getClassDevs(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    if (devices != INVALID_HANDLE_VALUE) {
        result = RemoveListedDevices(&functions, devices, hardwareId);
        functions.destroyDeviceInfoList(devices);
    }
    if (setupapi)
        FreeLibrary(setupapi);
    if (result == 0)
        SetLastError(ERROR_SUCCESS);
    return result;
}
