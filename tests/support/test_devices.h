// Root-enumerated test devices, made and removed through SetupDi.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// A REG_MULTI_SZ list of entries: each with its NUL, then the final NUL.
std::string MultiSz(std::initializer_list<const char *> entries);

// Creates and registers ROOT\NAME\nnnn (a generated number) with the given
// lists as SPDRP_HARDWAREID and SPDRP_COMPATIBLEIDS, bytes as given. An
// empty compatible list is not set; withHardwareIds false leaves the
// hardware-ID property unset. Returns the instance ID, empty on failure.
// Such devices are never started (Windows counts them as not present; Wine
// 8 lists them under DIGCF_PRESENT too).
std::string CreateTestDevice(const char *name, const std::string &hardwareIdsMultiSz,
                             const std::string &compatibleIdsMultiSz = "", bool withHardwareIds = true);

// Instance IDs of every device of every class, present or not.
std::vector<std::string> ListDeviceInstances();
bool DeviceInstanceExists(const std::string &instanceId);

// Removes every ROOT\NAME\* device; returns how many were there.
int RemoveTestDevices(const char *name);
