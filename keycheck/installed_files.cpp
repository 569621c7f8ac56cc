#include "machine.h"

#include <string.h>

#include "bounded_string.h"
#include "branch_files.h"
#include "install_check.h"
#include "sha256.h"
#include "system_names.h"

namespace {

const DWORD READ_CHUNK = 4096;

// What every branch deploys after its own files: the uninstaller, then its
// manifest.
const char *const UNINSTALLER_FILES[] = {UNINSTALLER_FILE_NAME, UNINSTALLER_MANIFEST_NAME};

const char *const FILE_WORDS[] = {"ok", "missing", "other bytes", "not compared"};

// An installed driver of another DriverVer than this build's, by its rank.
const char *const RANK_WORDS[] = {"an older version than this keycheck's", "another version of the same rank",
                                  "a newer version than this keycheck's",
                                  "another version, its date or version number not comparable"};
const char *const RANK_VERSION_WORDS[] = {"an older version", "another version", "a newer version",
                                          "another version"};

// What "other bytes" are, from the DriverVer of the INF on the machine.
enum InstalledVersion { VERSION_UNKNOWN, VERSION_THIS_BUILD, VERSION_OTHER };

struct FileCheck {
    InstalledVersion version;
    char versionWords[2 * DRIVER_VERSION_TEXT_CAPACITY + 64];
};

const char *TargetDirPath(const Machine *machine, TargetDir dir)
{
    return dir == IN_SYSTEM ? machine->systemDir : machine->windowsDir;
}

const char *TargetSubdir(TargetDir dir)
{
    switch (dir) {
    case IN_DRIVERS: return "\\system32\\drivers";
    case IN_INF: return "\\inf";
    default: return "";
    }
}

// One file (name: backslash first) against this build's digest of it.
void CheckFile(const Machine *machine, const FileCheck *check, TargetDir dir, const char *type, const char *name,
               InstallFindings *findings)
{
    char path[LONG_PATH];
    BYTE digest[SHA256_DIGEST_SIZE];
    const PayloadDigest *expected = FindPayloadDigest(type, name + 1);
    bool exists = false;
    DWORD size = 0;
    FileState state = FILE_NOT_COMPARED;

    if (JoinPath(path, TargetDirPath(machine, dir), TargetSubdir(dir), name)) {
        bool read = DigestFile(path, &exists, &size, digest);
        state = JudgeFile(exists, read, size, read ? digest : NULL, expected ? expected->size : 0,
                          expected ? expected->sha256 : NULL);
    }
    switch (state) {
    case FILE_OK: ++findings->filesOk; break;
    case FILE_MISSING: ++findings->filesMissing; break;
    case FILE_OTHER_BYTES: ++findings->filesOtherBytes; break;
    default: ++findings->filesNotCompared; break;
    }
    if (name == UNINSTALLER_MANIFEST_NAME)
        findings->manifestPresent = state != FILE_MISSING;
    if (state == FILE_OTHER_BYTES && check->version == VERSION_OTHER)
        ReportLine(machine->report, "file: %s %s", path, check->versionWords);
    else if (state == FILE_OTHER_BYTES && check->version == VERSION_THIS_BUILD)
        ReportLine(machine->report, "file: %s damaged", path);
    else
        ReportLine(machine->report, "file: %s %s", path, FILE_WORDS[state]);
}

// The DriverVer of the branch's INF on the machine against this build's:
// other bytes of another version are an older or newer install, of the
// same version a damaged one.
void ReadInstalledVersion(const Machine *machine, FileCheck *check, InstallFindings *findings)
{
    char path[LONG_PATH];
    char installedText[DRIVER_VERSION_TEXT_CAPACITY];
    char buildText[DRIVER_VERSION_TEXT_CAPACITY];
    DriverVersion installed;

    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i) {
        const BranchFile *file = &BRANCH_FILES[i];
        if (file->branch != machine->branch || !IsKeyInfName(file->name + 1) ||
            !JoinPath(path, TargetDirPath(machine, file->dir), TargetSubdir(file->dir), file->name) ||
            !ReadDriverVersion(path, &installed))
            continue;
        FormatDriverVersion(&installed, installedText);
        FormatDriverVersion(&machine->buildDriver, buildText);
        ReportLine(machine->report, "driver on this machine: %s (%s); this keycheck knows %s", installedText, path,
                   machine->buildDriverKnown ? buildText : "none");
        if (!machine->buildDriverKnown)
            return;
        check->version = SameDriverVersion(&installed, &machine->buildDriver) ? VERSION_THIS_BUILD : VERSION_OTHER;
        findings->otherVersionInstalled = check->version == VERSION_OTHER;
        DriverRank rank = RankDriverVersion(&installed, &machine->buildDriver);
        findings->newerVersionInstalled = findings->otherVersionInstalled && rank == RANK_NEWER;
        if (check->version == VERSION_OTHER)
            ReportLine(machine->report, "driver on this machine: %s", RANK_WORDS[rank]);
        wsprintfA(check->versionWords, "%s (driver %s; this keycheck knows %s)", RANK_VERSION_WORDS[rank],
                  installedText, buildText);
        return;
    }
}

} // namespace

// A path of at most LONG_PATH characters from up to three pieces.
bool JoinPath(char *path, const char *first, const char *second, const char *third)
{
    memset(path, 0, LONG_PATH);
    return !BoundedFailed(BoundedCopy(path, LONG_PATH, first)) &&
           !BoundedFailed(BoundedAppend(path, LONG_PATH, second)) &&
           !BoundedFailed(BoundedAppend(path, LONG_PATH, third));
}

// The file's size and digest; false when it cannot be opened or read
// (*exists then tells whether it is there at all).
bool DigestFile(const char *path, bool *exists, DWORD *size, BYTE *digest)
{
    BYTE chunk[READ_CHUNK];
    Sha256State state;
    DWORD got = 0;
    bool read = false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);

    *exists = file != INVALID_HANDLE_VALUE || GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    *size = 0;
    if (file == INVALID_HANDLE_VALUE)
        return false;
    *size = GetFileSize(file, NULL);
    Sha256Begin(&state);
    while (ReadFile(file, chunk, sizeof(chunk), &got, NULL)) {
        if (got == 0) {
            read = true;
            break;
        }
        Sha256Add(&state, chunk, got);
    }
    if (read)
        Sha256End(&state, digest);
    CloseHandle(file);
    return read;
}

// The branch's files as the install writes them, the uninstaller's last.
void CheckBranchFiles(const Machine *machine, InstallFindings *findings)
{
    FileCheck check;

    memset(&check, 0, sizeof(check));
    ReadInstalledVersion(machine, &check, findings);
    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i)
        if (BRANCH_FILES[i].branch == machine->branch)
            CheckFile(machine, &check, BRANCH_FILES[i].dir, BRANCH_FILES[i].type, BRANCH_FILES[i].name, findings);
    for (size_t i = 0; i < sizeof(UNINSTALLER_FILES) / sizeof(UNINSTALLER_FILES[0]); ++i)
        CheckFile(machine, &check, IN_SYSTEM, TYPE_UNINSTALL, UNINSTALLER_FILES[i], findings);
}
