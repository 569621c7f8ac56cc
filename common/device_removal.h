// Removes device instances by hardware ID.
#pragma once

#include <windows.h>

#include "setup_library.h"

// Removes every device instance, present or not, whose hardware-ID list
// holds hardwareId (any letter case). Returns 0 when the whole device set
// was walked (last error then 0), -1 when the set cannot be created or a
// device's hardware IDs cannot be read; also -1 when setupapi.dll of the
// system directory or one of its device functions is missing.
int RemoveDevicesByHardwareId(const char *hardwareId);

// Does the REG_MULTI_SZ list of size bytes hold hardwareId (any letter
// case)? Reads no byte at or beyond list + size, even when the list lacks
// its terminators.
bool HardwareIdListContains(const char *list, DWORD size, const char *hardwareId);

// SetupDiGetDeviceRegistryPropertyA, as the removal passes it.
typedef SetupDiGetDeviceRegistryPropertyAProc DevicePropertyReader;

// No hardware-ID list comes near this size; a larger one is not read.
const DWORD HARDWARE_ID_LIST_LIMIT = 64 * 1024;
// Property queries per device: the size query and a few more for a list
// that grows between them.
const int PROPERTY_READ_TRIES = 4;

// Reads a device's hardware-ID list with readProperty into a zero-filled
// LocalAlloc block with two zero bytes beyond the reported size, which the
// caller releases with LocalFree. Returns 1 with *list and *size (the bytes
// the system reported) set, 0 when the device has no hardware IDs, -1 when
// they cannot be read. *list is NULL unless the result is 1 and the
// property holds data. A size above HARDWARE_ID_LIST_LIMIT, or a list still
// "too small" after PROPERTY_READ_TRIES queries, cannot be read.
int ReadHardwareIdList(HDEVINFO devices, SP_DEVINFO_DATA *device, DevicePropertyReader readProperty,
                       char **list, DWORD *size);
