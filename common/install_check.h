// keycheck's verdict: what was read on the machine (files, the uninstall
// entry, devices, stored INFs) judged into one exit code. Pure functions:
// nothing here reads the machine.
#pragma once

#include <windows.h>

// Exit codes, as support staff and deployment tools read them.
const int CHECK_INSTALLED = 0;
const int CHECK_NOT_INSTALLED = 1;
const int CHECK_PARTLY_INSTALLED = 2;
const int CHECK_DEVICE_WITHOUT_DRIVER = 3;
const int CHECK_LEFTOVERS = 4;
const int CHECK_CANNOT_CHECK = 9;

enum FileState { FILE_OK, FILE_MISSING, FILE_OTHER_BYTES, FILE_NOT_COMPARED };
enum EntryState { ENTRY_ABSENT, ENTRY_OK, ENTRY_OTHER_VALUES, ENTRY_UNREADABLE };
enum DriverState { DRIVER_KEYS, DRIVER_NONE, DRIVER_OTHER_INF, DRIVER_PROBLEM, DRIVER_NOT_RECORDED };

// What one file of the branch holds, against the size and SHA-256 this
// build deployed (expectedDigest NULL: none known). read is false when the
// file exists but its bytes could not be read.
FileState JudgeFile(bool exists, bool read, DWORD size, const BYTE *digest, DWORD expectedSize,
                    const BYTE *expectedDigest);

// Does a device use the key's driver? hasDriver: the device names a driver
// key; infName: its InfPath (NULL or empty when the key records none);
// infDeclaresId: that INF, in the Windows INF directory, declares the
// hardware ID; problem: the device's problem code (0: none).
DriverState JudgeDriver(bool hasDriver, const char *infName, bool infDeclaresId, DWORD problem);

// Windows' name for a stored INF copy: "oem" ... ".inf", any letter case.
bool IsOemInfName(const char *name);
// The key's own INF name, as the install deploys it.
bool IsKeyInfName(const char *name);

struct InstallFindings {
    int filesOk, filesMissing, filesOtherBytes, filesNotCompared;
    bool manifestPresent;
    EntryState entry;
    int oemInfsDeclaring;  // oem*.inf copies that declare the hardware ID
    int deviceInstances;   // present or not
    int devicesWithoutKeysDriver; // present ones judged other than DRIVER_KEYS
    bool cannotRead;       // a part of the state needed could not be read
};

int JudgeInstallState(const InstallFindings *findings);

// The verdict's stable words.
const char *VerdictWords(int code);
