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
    if (SomethingMissingOrOther(findings))
        return CHECK_PARTLY_INSTALLED;
    if (findings->devicesAwaitingRestart > 0)
        return CHECK_RESTART_NEEDED;
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
           problem == PROBLEM_WILL_BE_REMOVED;
}

DriverState JudgeDriver(bool hasDriver, const char *infName, InfKind inf, ULONG status, ULONG problem)
{
    if (AwaitsRestart(status, problem))
        return DRIVER_RESTART_PENDING;
    if ((status & DN_HAS_PROBLEM_FLAG) && problem != 0)
        return DRIVER_PROBLEM;
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
    switch (code) {
    case CHECK_INSTALLED: return "installed";
    case CHECK_NOT_INSTALLED: return "not installed";
    case CHECK_PARTLY_INSTALLED: return "partly installed";
    case CHECK_DEVICE_WITHOUT_DRIVER: return "installed, device without the key's driver";
    case CHECK_LEFTOVERS: return "leftovers";
    case CHECK_RESTART_NEEDED: return "restart needed";
    case CHECK_INSTALL_RUNNING: return "an install is still running";
    default: return "cannot check";
    }
}
