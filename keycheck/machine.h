// The machine as keycheck reads it, shared by the files that each read
// one part of it: installed files, the uninstall entry, the stored driver
// packages, the devices and the Windows 98/Me device records.
#pragma once

#include <windows.h>

#include "branch_files.h"
#include "driver_version.h"
#include "install_check.h"
#include "payload_digests.h"
#include "platform.h"
#include "report.h"

const size_t LONG_PATH = 2 * MAX_PATH;
extern const char INF_DIR[];

// The names a setup log section of the key's shows: the key's INF and the
// stored copies found to be the key's.
const int KEY_NAME_CAPACITY = 16;
const size_t KEY_NAME_LENGTH = 64;
struct KeyNames {
    char names[KEY_NAME_CAPACITY][KEY_NAME_LENGTH];
    int count;
};

struct Machine {
    const Report *report;
    bool wow64;
    bool win9x;
    PlatformClass platform;
    InstallBranch branch;
    const PayloadDigest *keyInf; // this branch's INF
    const char *presenceWord;    // "plugged in", or "known to Windows" where presence is not read
    char systemDir[MAX_PATH];
    char windowsDir[MAX_PATH];
    char uninstallerPath[MAX_PATH];
    DriverVersion buildDriver; // this build's INF's DriverVer
    bool buildDriverKnown;
    KeyNames *keyNames;        // filled while the stored packages are read
};

// A path of at most LONG_PATH characters from up to three pieces.
bool JoinPath(char *path, const char *first, const char *second, const char *third);
// The file's size and digest; false when it cannot be opened or read
// (*exists then tells whether it is there at all).
bool DigestFile(const char *path, bool *exists, DWORD *size, BYTE *digest);

// The branch's files as the install writes them, the uninstaller's last.
void CheckBranchFiles(const Machine *machine, InstallFindings *findings);
// The uninstall entry where a 32-bit installer wrote it.
EntryState CheckEntry(const Machine *machine);
// What a file in the INF directory is to the key; false, reported, when it
// declares the ID but cannot be read.
bool JudgeStoredInf(const Machine *machine, const char *path, InfKind *kind);
// Windows' stored copies of INFs that declare the key's ID.
void CheckOemInfs(const Machine *machine, InstallFindings *findings);
// Adds a name (a file name, no path) to the key's names.
void AddKeyName(const Machine *machine, const char *name);

// Every device with the key's ID, then their count.
void CheckDevices(const Machine *machine, HMODULE setupapi, InstallFindings *findings);
// Reports one device's driver in Device Manager's terms and counts it.
void CountDevice(const Machine *machine, const char *instanceId, const char *driverKey, ULONG status, ULONG problem,
                 InstallFindings *findings);
// Windows 98/Me: the device records under HKLM\Enum.
void CheckWin9xDevices(const Machine *machine, InstallFindings *findings);
