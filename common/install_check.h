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
const int CHECK_RESTART_NEEDED = 5;
const int CHECK_OTHER_VERSION = 6;
const int CHECK_DRIVER_REFUSED = 7;
const int CHECK_NO_ARM64_DRIVER = 8;
const int CHECK_CANNOT_CHECK = 9;
// /wait: the install keysetup started still ran when the wait ended; the
// machine was not judged.
const int CHECK_INSTALL_RUNNING = 10;
// A newer version of the key's driver than this build's is installed (its
// DriverVer ranks above, as Windows ranks drivers): a deployment of this
// build leaves it alone.
const int CHECK_NEWER_VERSION = 11;

enum FileState { FILE_OK, FILE_MISSING, FILE_OTHER_BYTES, FILE_NOT_COMPARED };
enum EntryState { ENTRY_ABSENT, ENTRY_OK, ENTRY_OTHER_VALUES, ENTRY_UNREADABLE };
enum DriverState {
    DRIVER_KEYS,
    DRIVER_NONE,
    DRIVER_OTHER_INF,
    DRIVER_OTHER_VERSION, // a stored INF that declares the ID, not this build's bytes
    DRIVER_PROBLEM,
    DRIVER_NOT_RECORDED,
    DRIVER_RESTART_PENDING, // Windows holds the device for a restart or its removal
    DRIVER_REFUSED          // the key's driver with a problem (not a restart, not unplugged)
};
// What an INF is to the key: it does not declare the hardware ID, it holds
// this build's bytes, or it declares the ID with other bytes.
enum InfKind { INF_UNRELATED, INF_THIS_BUILD, INF_OTHER_VERSION };

// What one file of the branch holds, against the size and SHA-256 this
// build deployed (expectedDigest NULL: none known). read is false when the
// file exists but its bytes could not be read.
FileState JudgeFile(bool exists, bool read, DWORD size, const BYTE *digest, DWORD expectedSize,
                    const BYTE *expectedDigest);

// An INF against this build's INF (digest NULL: its bytes unread).
InfKind JudgeInf(bool declaresId, const BYTE *digest, const BYTE *expectedDigest);

// Windows holds the device until a restart: its status has DN_NEED_RESTART
// or DN_WILL_BE_REMOVED, or its problem is CM_PROB_NEED_RESTART,
// CM_PROB_WILL_BE_REMOVED or CM_PROB_DRIVER_FAILED_PRIOR_UNLOAD (the old
// driver still in memory).
bool AwaitsRestart(ULONG status, ULONG problem);

// Windows reports the device as not there (CM_PROB_DEVICE_NOT_THERE,
// CM_PROB_PHANTOM): judged as a device that is not plugged in.
bool ProblemMeansNotPresent(ULONG status, ULONG problem);

// A problem that means the device has no driver installed yet
// (CM_PROB_NOT_CONFIGURED, CM_PROB_REINSTALL, CM_PROB_FAILED_INSTALL).
bool ProblemMeansNoDriver(ULONG problem);

// Does a present device use the key's driver? hasDriver: it names a driver
// key; infName: that key's InfPath (NULL or empty: none recorded); inf:
// what that INF, in the Windows INF directory, is; status and problem as
// CM_Get_DevNode_Status gives them (problem counts only under DN_HAS_PROBLEM).
// The key's driver with any problem but a restart or an unplugged key is
// DRIVER_REFUSED.
DriverState JudgeDriver(bool hasDriver, const char *infName, InfKind inf, ULONG status, ULONG problem);

// Windows' name for a stored INF copy: "oem" ... ".inf", any letter case.
bool IsOemInfName(const char *name);
// The key's own INF name, as the install deploys it.
bool IsKeyInfName(const char *name);
// Compares ASCII letters without regard to case and nothing else: the same
// on every Windows and in every locale.
bool EqualsIgnoringAsciiCase(const char *text, const char *expected, size_t length);

// Does Windows keep a copy of an installed INF as oemN.inf? Windows 2000
// and later, and 64-bit Windows; not Windows 95, 98/Me or NT 4.
bool StoresInfCopies(int platformClass, bool wow64);

struct InstallFindings {
    int filesOk, filesMissing, filesOtherBytes, filesNotCompared;
    bool manifestPresent;
    EntryState entry;
    bool storeExpected;      // Windows 2000 and later, WOW64: Windows keeps an oem*.inf copy
    bool infStoreRead;       // the INF directory was read to its end
    int oemInfsDeclaring;    // oem*.inf copies that declare the hardware ID
    int oemInfsThisBuild;    // of those, copies of this build's INF
    int deviceInstances;     // present or not
    int devicesWithoutKeysDriver; // present ones with no driver, another one, or a problem
    int devicesAwaitingRestart;   // present ones that Windows holds for a restart
    bool cannotRead;         // a part of the state needed could not be read
    bool otherVersionInstalled; // the branch's INF declares another DriverVer than this build's
    bool newerVersionInstalled; // ... one that ranks above this build's
    int devicesRefused;      // present ones with the key's driver and a problem
    ULONG refusedProblem;    // the problem code of the first of those
    int devicesNoDriver;     // present ones with no driver at all (yet)
    int devicesUsingKeysDriver; // present ones judged DRIVER_KEYS
    bool storeKeepsCopies;   // Vista and later: Windows keeps a copy it refused while a device held it
};

int JudgeInstallState(const InstallFindings *findings);

// The verdict's stable words: one table for every code above.
const char *VerdictWords(int code);
