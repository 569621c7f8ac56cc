#include "install_plan.h"

#include <string.h>

#include "activation.h"
#include "payload.h"
#include "platform.h"
#include "registration.h"
#include "resource_ids.h"
#include "system_names.h"

namespace {

const char WIN9X_DRIVERS_SUBDIR[] = "\\system32\\drivers";
const char WIN9X_INF_SUBDIR[] = "\\inf";

enum TargetDir { IN_SYSTEM, IN_DRIVERS, IN_INF };
// Which written file an activation later needs.
enum Keep { KEEP_NONE, KEEP_FIRST, KEEP_SECOND };

struct PlannedFile {
    TargetDir dir;
    const char *name;
    const char *type;
    WORD id;
    Keep keep;
};

const PlannedFile WOW64_FILES[] = {
    {IN_SYSTEM, "\\ZIVIRIZ.inf", TYPE_X64, IDR_X64_INF, KEEP_NONE},
    {IN_SYSTEM, "\\ZIVIRIZ.sys", TYPE_X64, IDR_X64_DRIVER, KEEP_NONE},
    {IN_SYSTEM, "\\ziviriz.cat", TYPE_X64, IDR_X64_CATALOG, KEEP_NONE},
    {IN_SYSTEM, NATIVE_HELPER_FILE_NAME, TYPE_X64, IDR_X64_INSTALLER, KEEP_FIRST},
};

// ARM64 Windows: the same names in the same directory, from the ARM64
// package, and the ARM64 helper.
const PlannedFile ARM64_FILES[] = {
    {IN_SYSTEM, "\\ZIVIRIZ.inf", TYPE_ARM64, IDR_ARM64_INF, KEEP_NONE},
    {IN_SYSTEM, "\\ZIVIRIZ.sys", TYPE_ARM64, IDR_ARM64_DRIVER, KEEP_NONE},
    {IN_SYSTEM, "\\ziviriz.cat", TYPE_ARM64, IDR_ARM64_CATALOG, KEEP_NONE},
    {IN_SYSTEM, ARM64_HELPER_FILE_NAME, TYPE_ARM64, IDR_ARM64_INSTALLER, KEEP_FIRST},
};

const PlannedFile WIN9X_FILES[] = {
    {IN_DRIVERS, "\\ziviriz.sys", TYPE_WIN9X, IDR_WIN9X_DRIVER, KEEP_NONE},
    {IN_INF, "\\ZIVIRIZ.INF", TYPE_WIN9X, IDR_WIN9X_INF, KEEP_FIRST},
    {IN_SYSTEM, "\\newdev.dll", TYPE_WIN9X, IDR_WIN9X_NEWDEV, KEEP_NONE},
    {IN_SYSTEM, "\\WinSCard.dll", TYPE_WIN9X, IDR_WIN9X_WINSCARD, KEEP_NONE},
    {IN_INF, "\\QVUSB.INF", TYPE_OLDGEN9X, IDR_OLDGEN9X_INF, KEEP_SECOND},
    {IN_DRIVERS, "\\QVUSB.SYS", TYPE_OLDGEN9X, IDR_OLDGEN9X_DRIVER, KEEP_NONE},
};

const PlannedFile NT32_FILES[] = {
    {IN_SYSTEM, "\\ZIVIRIZ.inf", TYPE_NT32, IDR_NT32_INF, KEEP_FIRST},
    {IN_SYSTEM, "\\ZIVIRIZ.sys", TYPE_NT32, IDR_NT32_DRIVER, KEEP_NONE},
    {IN_SYSTEM, "\\ziviriz.cat", TYPE_NT32, IDR_NT32_CATALOG, KEEP_NONE},
    {IN_SYSTEM, "\\QVUSB.INF", TYPE_OLDGEN, IDR_OLDGEN_INF, KEEP_SECOND},
    {IN_SYSTEM, "\\QVUSB.SYS", TYPE_OLDGEN, IDR_OLDGEN_DRIVER, KEEP_NONE},
};

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

void WriteFileFromPayload(HINSTANCE instance, const char *path, const char *type, WORD id)
{
    WaitIfPresent(path);
    ExtractPayload(instance, id, type, path);
}

// Writes one branch's files in order, each from its own directory as the
// current one, and remembers the paths that activation needs.
void WriteBranchFiles(HINSTANCE instance, const PlannedFile *files, size_t count,
                      const InstallDirs *dirs, KeptPaths *kept)
{
    char path[MAX_PATH];
    const char *currentDir = dirs->system;

    for (size_t i = 0; i < count; ++i) {
        const char *dir = DirOf(dirs, files[i].dir);
        if (!BuildSystemPath(path, dir, files[i].name))
            continue;
        if (dir != currentDir) {
            SetCurrentDirectoryA(dir);
            currentDir = dir;
        }
        WriteFileFromPayload(instance, path, files[i].type, files[i].id);
        if (files[i].keep == KEEP_FIRST)
            memcpy(kept->first, path, MAX_PATH);
        else if (files[i].keep == KEEP_SECOND)
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
    Wow64Branch branch = GetWow64Branch();
    bool wow64 = branch != BRANCH_NOT_WOW64;

    memset(&dirs, 0, sizeof(dirs));
    memset(&kept, 0, sizeof(kept));
    if (!GetInstallSystemDir(dirs.system, wow64))
        return -1;
    if (branch == BRANCH_WOW64_ARM64) {
        SetCurrentDirectoryA(dirs.system);
        WriteBranchFiles(instance, ARM64_FILES, sizeof(ARM64_FILES) / sizeof(ARM64_FILES[0]), &dirs, &kept);
    } else if (wow64) {
        SetCurrentDirectoryA(dirs.system);
        WriteBranchFiles(instance, WOW64_FILES, sizeof(WOW64_FILES) / sizeof(WOW64_FILES[0]), &dirs, &kept);
    } else if (win9x) {
        GetWin9xDirs(&dirs);
        WriteBranchFiles(instance, WIN9X_FILES, sizeof(WIN9X_FILES) / sizeof(WIN9X_FILES[0]), &dirs, &kept);
    } else {
        SetCurrentDirectoryA(dirs.system);
        WriteBranchFiles(instance, NT32_FILES, sizeof(NT32_FILES) / sizeof(NT32_FILES[0]), &dirs, &kept);
    }
    ActivateKept(&kept, wow64, win9x);
    DeployUninstaller(instance, dirs.system);
    return 0;
}
