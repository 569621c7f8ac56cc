#include "install_check.h"

#include <string.h>

#include "sha256.h"

namespace {

const char OEM_PREFIX[] = "oem";
const char INF_SUFFIX[] = ".inf";
const char KEY_INF_NAME[] = "ZIVIRIZ.inf";

bool EqualsIgnoringCase(const char *text, const char *expected, size_t length)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text, (int)length, expected, (int)length) ==
           CSTR_EQUAL;
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

DriverState JudgeDriver(bool hasDriver, const char *infName, bool infDeclaresId, DWORD problem)
{
    if (problem != 0)
        return DRIVER_PROBLEM;
    if (!hasDriver)
        return DRIVER_NONE;
    if (!infName || !infName[0])
        return DRIVER_NOT_RECORDED;
    if (infDeclaresId && (IsOemInfName(infName) || IsKeyInfName(infName)))
        return DRIVER_KEYS;
    return DRIVER_OTHER_INF;
}

bool IsOemInfName(const char *name)
{
    size_t length = strlen(name);
    size_t prefix = sizeof(OEM_PREFIX) - 1;
    size_t suffix = sizeof(INF_SUFFIX) - 1;

    return length >= prefix + suffix && EqualsIgnoringCase(name, OEM_PREFIX, prefix) &&
           EqualsIgnoringCase(name + length - suffix, INF_SUFFIX, suffix) && !strchr(name, '\\');
}

bool IsKeyInfName(const char *name)
{
    size_t length = strlen(name);
    return length == sizeof(KEY_INF_NAME) - 1 && EqualsIgnoringCase(name, KEY_INF_NAME, length);
}

int JudgeInstallState(const InstallFindings *findings)
{
    bool leftovers = findings->oemInfsDeclaring > 0 || findings->deviceInstances > 0;

    if (NotInstalledYet(findings)) {
        if (leftovers)
            return CHECK_LEFTOVERS;
        // Unread devices or INFs might have been leftovers.
        return findings->cannotRead ? CHECK_CANNOT_CHECK : CHECK_NOT_INSTALLED;
    }
    if (findings->filesMissing > 0 || findings->filesOtherBytes > 0 || findings->entry == ENTRY_ABSENT ||
        findings->entry == ENTRY_OTHER_VALUES || !findings->manifestPresent)
        return CHECK_PARTLY_INSTALLED;
    // Nothing wrong seen, but not all of it could be read: no "installed".
    if (findings->cannotRead || findings->entry == ENTRY_UNREADABLE || !EveryFileOk(findings))
        return CHECK_CANNOT_CHECK;
    return findings->devicesWithoutKeysDriver > 0 ? CHECK_DEVICE_WITHOUT_DRIVER : CHECK_INSTALLED;
}

const char *VerdictWords(int code)
{
    switch (code) {
    case CHECK_INSTALLED: return "installed";
    case CHECK_NOT_INSTALLED: return "not installed";
    case CHECK_PARTLY_INSTALLED: return "partly installed";
    case CHECK_DEVICE_WITHOUT_DRIVER: return "installed, device without the key's driver";
    case CHECK_LEFTOVERS: return "leftovers";
    default: return "cannot check";
    }
}
