#include "install_plan.h"

#include <string.h>

#include "activation.h"
#include "branch_files.h"
#include "payload.h"
#include "platform.h"
#include "registration.h"
#include "resource_ids.h"
#include "system_names.h"

namespace {

const char WIN9X_DRIVERS_SUBDIR[] = "\\system32\\drivers";
const char WIN9X_INF_SUBDIR[] = "\\inf";

struct InstallDirs {
    char system[MAX_PATH];
    char drivers[MAX_PATH];
    char inf[MAX_PATH];
};

struct KeptPaths {
    char first[MAX_PATH];
    char second[MAX_PATH];
};

const char *DirOf(const InstallDirs *dirs, TargetDir dir)
{
    switch (dir) {
    case IN_DRIVERS: return dirs->drivers;
    case IN_INF: return dirs->inf;
    default: return dirs->system;
    }
}

// Windows 98/Me keeps WDM drivers in system32\drivers and INFs in inf under
// the Windows directory, wherever that directory is.
void GetWin9xDirs(InstallDirs *dirs)
{
    char windowsDir[MAX_PATH];

    if (!GetWindowsDirInto(windowsDir, MAX_PATH))
        return;
    BuildSystemPath(dirs->drivers, windowsDir, WIN9X_DRIVERS_SUBDIR);
    BuildSystemPath(dirs->inf, windowsDir, WIN9X_INF_SUBDIR);
}

// Does this build carry every file of the branch? A build made without a
// branch's package (the ARM64 one) serves no Windows of that branch.
bool CarriesBranch(HINSTANCE instance, InstallBranch branch)
{
    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i) {
        const BranchFile *file = &BRANCH_FILES[i];
        if (file->branch == branch && FindResourceA(instance, MAKEINTRESOURCEA(file->id), file->type) == NULL)
            return false;
    }
    return true;
}

void WriteFileFromPayload(HINSTANCE instance, const char *path, const char *type, WORD id)
{
    WaitIfPresent(path);
    ExtractPayload(instance, id, type, path);
}

// Writes the branch's files in order, each from its own directory as the
// current one, and remembers the paths that activation needs.
void WriteBranchFiles(HINSTANCE instance, InstallBranch branch, const InstallDirs *dirs, KeptPaths *kept)
{
    char path[MAX_PATH];
    const char *currentDir = dirs->system;

    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i) {
        const BranchFile *file = &BRANCH_FILES[i];
        const char *dir = DirOf(dirs, file->dir);
        if (file->branch != branch || !BuildSystemPath(path, dir, file->name))
            continue;
        if (dir != currentDir) {
            SetCurrentDirectoryA(dir);
            currentDir = dir;
        }
        WriteFileFromPayload(instance, path, file->type, file->id);
        if (file->keep == KEEP_FIRST)
            memcpy(kept->first, path, MAX_PATH);
        else if (file->keep == KEEP_SECOND)
            memcpy(kept->second, path, MAX_PATH);
    }
}

void ActivateKept(const KeptPaths *kept, bool wow64, bool win9x)
{
    if (wow64) {
        if (kept->first[0])
            Launch64BitInstaller(kept->first);
        return;
    }
    if (kept->first[0])
        ActivateDriverPackage(kept->first, win9x);
    if (kept->second[0])
        ActivateDriverPackage(kept->second, win9x);
}

void DeployUninstaller(HINSTANCE instance, const char *systemDir)
{
    char uninstallerPath[MAX_PATH];
    char manifestPath[MAX_PATH];

    if (BuildSystemPath(uninstallerPath, systemDir, UNINSTALLER_FILE_NAME))
        WriteFileFromPayload(instance, uninstallerPath, TYPE_UNINSTALL, IDR_UNINSTALLER);
    if (BuildSystemPath(manifestPath, systemDir, UNINSTALLER_MANIFEST_NAME))
        WriteFileFromPayload(instance, manifestPath, TYPE_UNINSTALL, IDR_UNINSTALLER_MANIFEST);
    if (uninstallerPath[0])
        RegisterUninstallEntry(uninstallerPath);
}

} // namespace

int RunInstall(HINSTANCE instance)
{
    InstallDirs dirs;
    KeptPaths kept;
    bool win9x = IsWin9xClass(GetPlatformClass());
    Wow64Branch wow64Branch = GetWow64Branch();
    bool wow64 = wow64Branch != BRANCH_NOT_WOW64;
    InstallBranch branch = ChooseInstallBranch(wow64Branch, win9x);

    memset(&dirs, 0, sizeof(dirs));
    memset(&kept, 0, sizeof(kept));
    // Nothing to install here: no file, no uninstaller, no entry.
    if (!CarriesBranch(instance, branch))
        return 0;
    if (!GetInstallSystemDir(dirs.system, wow64))
        return -1;
    if (branch == BRANCH_WIN9X)
        GetWin9xDirs(&dirs);
    else
        SetCurrentDirectoryA(dirs.system);
    WriteBranchFiles(instance, branch, &dirs, &kept);
    ActivateKept(&kept, wow64, win9x);
    DeployUninstaller(instance, dirs.system);
    return 0;
}
