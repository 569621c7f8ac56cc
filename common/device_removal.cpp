#include "device_removal.h"

// Not written yet.
int RemoveDevicesByHardwareId(const char *) { return -1; }
