// Removes device instances by hardware ID.
#pragma once

// Removes every device instance, present or not, whose hardware-ID list
// holds hardwareId (any letter case). Returns 0 when the whole device set
// was walked (last error then 0), -1 when the set cannot be created or a
// device's hardware IDs cannot be read.
int RemoveDevicesByHardwareId(const char *hardwareId);
