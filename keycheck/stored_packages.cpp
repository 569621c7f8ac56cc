#include "machine.h"

#include <string.h>

#include "bounded_string.h"
#include "inf_match.h"
#include "sha256.h"
#include "system_names.h"

namespace {

const char OEM_INF_PATTERN[] = "\\inf\\oem*.inf";

// One oem*.inf copy (path, and its name in the INF directory): counted,
// reported with its driver version, and named for the setup log when it is
// the key's.
void CountStoredInf(const Machine *machine, const char *path, const char *name, InstallFindings *findings)
{
    char versionText[DRIVER_VERSION_TEXT_CAPACITY];
    DriverVersion version;
    InfKind kind = INF_UNRELATED;

    if (!JudgeStoredInf(machine, path, &kind)) {
        ++findings->oemInfsDeclaring;
        findings->cannotRead = true;
        return;
    }
    if (kind == INF_UNRELATED)
        return;
    ++findings->oemInfsDeclaring;
    if (kind == INF_THIS_BUILD)
        ++findings->oemInfsThisBuild;
    AddKeyName(machine, name);
    if (ReadDriverVersion(path, &version))
        FormatDriverVersion(&version, versionText);
    else
        BoundedCopy(versionText, sizeof(versionText), "unknown");
    ReportLine(machine->report, "driver package stored by Windows: %s, %s, driver %s", name,
               kind == INF_THIS_BUILD ? "this build's" : "another version", versionText);
}

} // namespace

const char INF_DIR[] = "\\inf\\";

void AddKeyName(const Machine *machine, const char *name)
{
    KeyNames *names = machine->keyNames;

    if (names && names->count < KEY_NAME_CAPACITY &&
        !BoundedFailed(BoundedCopy(names->names[names->count], KEY_NAME_LENGTH, name)))
        ++names->count;
}

// What a file in the INF directory is to the key, its bytes against this
// branch's INF; false, reported, when it declares the ID but cannot be read.
bool JudgeStoredInf(const Machine *machine, const char *path, InfKind *kind)
{
    BYTE digest[SHA256_DIGEST_SIZE];
    bool exists = false;
    DWORD size = 0;

    *kind = INF_UNRELATED;
    if (InfDeclaresHardwareId(path, DEVICE_HARDWARE_ID) != 1)
        return true;
    if (!DigestFile(path, &exists, &size, digest)) {
        ReportLine(machine->report, "driver package stored by Windows: %s names the key and cannot be read", path);
        return false;
    }
    *kind = JudgeInf(true, digest, machine->keyInf ? machine->keyInf->sha256 : NULL);
    return true;
}

// Windows' stored copies of INFs: which declare the ID, and which of those
// hold this build's INF.
void CheckOemInfs(const Machine *machine, InstallFindings *findings)
{
    char pattern[LONG_PATH];
    char path[LONG_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_NOT_FOUND;

    memset(&found, 0, sizeof(found));
    if (JoinPath(pattern, machine->windowsDir, OEM_INF_PATTERN, ""))
        search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        error = GetLastError();
    } else {
        do {
            if (JoinPath(path, machine->windowsDir, INF_DIR, found.cFileName))
                CountStoredInf(machine, path, found.cFileName, findings);
        } while (FindNextFileA(search, &found));
        error = GetLastError();
        FindClose(search);
    }
    findings->infStoreRead = error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    if (!findings->infStoreRead) {
        findings->cannotRead = true;
        ReportLine(machine->report, "driver packages stored by Windows: cannot be read (error %lu)",
                   (unsigned long)error);
    } else if (findings->storeExpected) {
        ReportLine(machine->report, "driver packages stored by Windows: %d of this build, %d of another version",
                   findings->oemInfsThisBuild, findings->oemInfsDeclaring - findings->oemInfsThisBuild);
    }
}
