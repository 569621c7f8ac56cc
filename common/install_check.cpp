#include "install_check.h"

#include <string.h>

#include "platform.h"
#include "sha256.h"

namespace {

const char OEM_PREFIX[] = "oem";
const char INF_SUFFIX[] = ".inf";
const char KEY_INF_NAME[] = "ZIVIRIZ.inf";

// Device status flags and problem codes (cfg.h) that mean "until a restart".
const ULONG DN_HAS_PROBLEM_FLAG = 0x00000400;
const ULONG DN_NEED_RESTART_FLAG = 0x00000100;
const ULONG DN_WILL_BE_REMOVED_FLAG = 0x00040000;
const ULONG PROBLEM_NEED_RESTART = 14;
const ULONG PROBLEM_WILL_BE_REMOVED = 21;
const ULONG PROBLEM_DRIVER_STILL_IN_MEMORY = 38;
const ULONG PROBLEM_NOT_CONFIGURED = 1;
const ULONG PROBLEM_REINSTALL = 18;
const ULONG PROBLEM_FAILED_INSTALL = 28;
const ULONG PROBLEM_DEVICE_NOT_THERE = 24;
const ULONG PROBLEM_PHANTOM = 45;

struct VerdictRow {
    int code;
    const char *words;
};

const VerdictRow VERDICT_WORDS[] = {
    {CHECK_INSTALLED, "installed"},
    {CHECK_NOT_INSTALLED, "not installed"},
    {CHECK_PARTLY_INSTALLED, "partly installed"},
    {CHECK_DEVICE_WITHOUT_DRIVER, "installed, device without the key's driver"},
    {CHECK_LEFTOVERS, "leftovers"},
    {CHECK_RESTART_NEEDED, "restart needed"},
    {CHECK_OTHER_VERSION, "another version installed"},
    {CHECK_DRIVER_REFUSED, "driver installed, the key does not work"},
    {CHECK_NO_ARM64_DRIVER, "no driver for ARM64 Windows in this build"},
    {CHECK_CANNOT_CHECK, "cannot check"},
    {CHECK_INSTALL_RUNNING, "an install is still running"},
    {CHECK_NEWER_VERSION, "a newer version is installed"},
};

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool NotInstalledYet(const InstallFindings *findings)
{
    return findings->entry == ENTRY_ABSENT && !findings->manifestPresent;
}

bool EveryFileOk(const InstallFindings *findings)
{
    return findings->filesOk > 0 && findings->filesMissing == 0 && findings->filesOtherBytes == 0 &&
           findings->filesNotCompared == 0;
}

// Windows keeps no copy of this build's INF: the driver store step failed.
bool PackageNotStored(const InstallFindings *findings)
{
    return findings->storeExpected && findings->infStoreRead && findings->oemInfsThisBuild == 0;
}

// Every file there, those of other bytes from an install whose INF names
// another driver version, and the entry written: an upgrade is due.
bool AnotherVersionInstalled(const InstallFindings *findings)
{
    return findings->otherVersionInstalled && findings->filesMissing == 0 && findings->filesOtherBytes > 0 &&
           findings->manifestPresent && (findings->entry == ENTRY_OK || findings->entry == ENTRY_OTHER_VALUES);
}

bool SomethingMissingOrOther(const InstallFindings *findings)
{
    return findings->filesMissing > 0 || findings->filesOtherBytes > 0 || findings->entry == ENTRY_ABSENT ||
           findings->entry == ENTRY_OTHER_VALUES || !findings->manifestPresent || PackageNotStored(findings);
}

// The verdict from what was read, before asking what was not.
int JudgeWhatWasRead(const InstallFindings *findings)
{
    bool leftovers = findings->oemInfsDeclaring > 0 || findings->deviceInstances > 0;

    if (NotInstalledYet(findings)) {
        if (!leftovers)
            return CHECK_NOT_INSTALLED;
        return findings->devicesAwaitingRestart > 0 ? CHECK_RESTART_NEEDED : CHECK_LEFTOVERS;
    }
    if (AnotherVersionInstalled(findings))
        return findings->newerVersionInstalled ? CHECK_NEWER_VERSION : CHECK_OTHER_VERSION;
    if (SomethingMissingOrOther(findings))
        return CHECK_PARTLY_INSTALLED;
    if (findings->devicesAwaitingRestart > 0)
        return CHECK_RESTART_NEEDED;
    if (findings->devicesRefused > 0)
        return CHECK_DRIVER_REFUSED;
    return findings->devicesWithoutKeysDriver > 0 ? CHECK_DEVICE_WITHOUT_DRIVER : CHECK_INSTALLED;
}

} // namespace

FileState JudgeFile(bool exists, bool read, DWORD size, const BYTE *digest, DWORD expectedSize,
                    const BYTE *expectedDigest)
{
    if (!exists)
        return FILE_MISSING;
    // Another size is other bytes whether or not they could be read.
    if (expectedDigest && size != expectedSize)
        return FILE_OTHER_BYTES;
    if (!read || !expectedDigest || !digest)
        return FILE_NOT_COMPARED;
    return memcmp(digest, expectedDigest, SHA256_DIGEST_SIZE) == 0 ? FILE_OK : FILE_OTHER_BYTES;
}

InfKind JudgeInf(bool declaresId, const BYTE *digest, const BYTE *expectedDigest)
{
    if (!declaresId)
        return INF_UNRELATED;
    bool same = digest && expectedDigest && memcmp(digest, expectedDigest, SHA256_DIGEST_SIZE) == 0;
    return same ? INF_THIS_BUILD : INF_OTHER_VERSION;
}

bool AwaitsRestart(ULONG status, ULONG problem)
{
    if (!(status & DN_HAS_PROBLEM_FLAG))
        problem = 0;
    return (status & (DN_NEED_RESTART_FLAG | DN_WILL_BE_REMOVED_FLAG)) != 0 || problem == PROBLEM_NEED_RESTART ||
           problem == PROBLEM_WILL_BE_REMOVED || problem == PROBLEM_DRIVER_STILL_IN_MEMORY;
}

bool ProblemMeansNotPresent(ULONG status, ULONG problem)
{
    return (status & DN_HAS_PROBLEM_FLAG) && (problem == PROBLEM_DEVICE_NOT_THERE || problem == PROBLEM_PHANTOM);
}

bool ProblemMeansNoDriver(ULONG problem)
{
    return problem == PROBLEM_NOT_CONFIGURED || problem == PROBLEM_REINSTALL || problem == PROBLEM_FAILED_INSTALL;
}

DriverState JudgeDriver(bool hasDriver, const char *infName, InfKind inf, ULONG status, ULONG problem)
{
    bool keysInf = hasDriver && infName && (IsOemInfName(infName) || IsKeyInfName(infName)) && inf != INF_UNRELATED;

    if (AwaitsRestart(status, problem))
        return DRIVER_RESTART_PENDING;
    if ((status & DN_HAS_PROBLEM_FLAG) && problem != 0)
        return keysInf && !ProblemMeansNotPresent(status, problem) ? DRIVER_REFUSED : DRIVER_PROBLEM;
    if (!hasDriver)
        return DRIVER_NONE;
    if (!infName || !infName[0])
        return DRIVER_NOT_RECORDED;
    if (!IsOemInfName(infName) && !IsKeyInfName(infName))
        return DRIVER_OTHER_INF;
    switch (inf) {
    case INF_THIS_BUILD: return DRIVER_KEYS;
    case INF_OTHER_VERSION: return DRIVER_OTHER_VERSION;
    default: return DRIVER_OTHER_INF;
    }
}

bool EqualsIgnoringAsciiCase(const char *text, const char *expected, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (AsciiLower(text[i]) != AsciiLower(expected[i]))
            return false;
    return true;
}

bool IsOemInfName(const char *name)
{
    size_t length = strlen(name);
    size_t prefix = sizeof(OEM_PREFIX) - 1;
    size_t suffix = sizeof(INF_SUFFIX) - 1;

    return length >= prefix + suffix && EqualsIgnoringAsciiCase(name, OEM_PREFIX, prefix) &&
           EqualsIgnoringAsciiCase(name + length - suffix, INF_SUFFIX, suffix) && !strchr(name, '\\');
}

bool IsKeyInfName(const char *name)
{
    size_t length = strlen(name);
    return length == sizeof(KEY_INF_NAME) - 1 && EqualsIgnoringAsciiCase(name, KEY_INF_NAME, length);
}

bool StoresInfCopies(int platformClass, bool wow64)
{
    switch (platformClass) {
    case PLATFORM_WIN2000:
    case PLATFORM_WINXP:
    case PLATFORM_WIN2003:
    case PLATFORM_VISTA:
    case PLATFORM_OTHER: return true;
    default: return wow64;
    }
}

int JudgeInstallState(const InstallFindings *findings)
{
    int code = JudgeWhatWasRead(findings);
    bool unread = findings->cannotRead ||
                  (!NotInstalledYet(findings) && (findings->entry == ENTRY_UNREADABLE || !EveryFileOk(findings)));

    // What could not be read might hide what makes "installed" or "not
    // installed" untrue; the other answers rest on what was seen.
    if (unread && (code == CHECK_INSTALLED || code == CHECK_NOT_INSTALLED))
        return CHECK_CANNOT_CHECK;
    return code;
}

const char *VerdictWords(int code)
{
    for (size_t i = 0; i < sizeof(VERDICT_WORDS) / sizeof(VERDICT_WORDS[0]); ++i)
        if (VERDICT_WORDS[i].code == code)
            return VERDICT_WORDS[i].words;
    return VerdictWords(CHECK_CANNOT_CHECK);
}
