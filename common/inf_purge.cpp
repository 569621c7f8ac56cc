#include "inf_purge.h"

#include <windows.h>
#include <io.h>
#include <mbstring.h>
#include <stdlib.h>
#include <string.h>

#include "bounded_string.h"
#include "inf_match.h"
#include "platform.h"
#include "setup_library.h"

namespace {

const size_t INF_PATH_CAPACITY = 256;
const char WINDOWS_DIR_VARIABLE[] = "windir";
const char INF_DIR_SUFFIX[] = "\\inf\\";
const char OEM_INF_PATTERN_SUFFIX[] = "\\inf\\oem*.inf";
const char TWIN_EXTENSION[] = "pnf";
const size_t EXTENSION_LENGTH = sizeof(TWIN_EXTENSION) - 1;
const char UNINSTALL_OEM_INF_PROC_NAME[] = "SetupUninstallOEMInfA";

// infDir gets %windir%\inf\ and pattern %windir%\inf\oem*.inf; false when
// windir is unset or either does not fit.
bool BuildSearchPaths(char *infDir, char *pattern)
{
    const char *windowsDir = getenv(WINDOWS_DIR_VARIABLE);

    if (!windowsDir)
        return false;
    if (BoundedFailed(BoundedCopy(infDir, INF_PATH_CAPACITY, windowsDir)) ||
        BoundedFailed(BoundedAppend(infDir, INF_PATH_CAPACITY, INF_DIR_SUFFIX)))
        return false;
    if (BoundedFailed(BoundedCopy(pattern, INF_PATH_CAPACITY, windowsDir)) ||
        BoundedFailed(BoundedAppend(pattern, INF_PATH_CAPACITY, OEM_INF_PATTERN_SUFFIX)))
        return false;
    return true;
}

// Windows' removal of stored copies during one scan.
struct StoreRemoval {
    SetupUninstallOEMInfAProc removeFromStore; // NULL: copies go by hand
    bool keepsRefusedCopies;                   // a driver store exists
    int copiesKept;
};

// SetupUninstallOEMInfA takes a bare name and acts on the system's own INF
// directory, so it is used only when windir names that directory: a copy
// elsewhere must not cost the system's copy of the same name its package.
// NULL when setupapi lacks it (Windows 2000) or the directories differ.
SetupUninstallOEMInfAProc FindStoreRemoval(HMODULE setupapi, const char *infDir)
{
    char systemInfDir[INF_PATH_CAPACITY];

    if (!setupapi || !GetWindowsDirInto(systemInfDir, INF_PATH_CAPACITY) ||
        BoundedFailed(BoundedAppend(systemInfDir, INF_PATH_CAPACITY, INF_DIR_SUFFIX)) ||
        lstrcmpiA(systemInfDir, infDir) != 0)
        return NULL;
    return (SetupUninstallOEMInfAProc)FindSetupFunction(setupapi, UNINSTALL_OEM_INF_PROC_NAME);
}

// Read-only copies are deleted too; a missing file is no failure.
void DeleteEvenIfReadOnly(const char *path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    _unlink(path);
}

// The precompiled twin of the INF at path (which is left unchanged).
void DeleteTwin(const char *infPath)
{
    char twin[INF_PATH_CAPACITY];

    memset(twin, 0, sizeof(twin));
    memcpy(twin, infPath, strlen(infPath));
    memcpy(twin + strlen(twin) - EXTENSION_LENGTH, TWIN_EXTENSION, EXTENSION_LENGTH);
    DeleteEvenIfReadOnly(twin);
}

// Windows refuses a read-only copy: it is made writable and offered again.
bool RemovedByWindows(SetupUninstallOEMInfAProc removeFromStore, const char *fileName, const char *path)
{
    if (removeFromStore(fileName, SUOI_FORCEDELETE, NULL))
        return true;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return removeFromStore(fileName, SUOI_FORCEDELETE, NULL) != FALSE;
}

// Windows removes the package where it can. Where it keeps a driver store
// (Vista and later) a copy it refuses stays, with its twin: deleting it by
// hand would leave the store's package without its oemN.inf, beyond removal
// by name, and Windows would install it again for the key. Elsewhere (or
// with the function missing) what is left goes by hand, the twin even when
// the INF itself could not be deleted.
void PurgeIfDeclared(StoreRemoval *store, const char *infDir, const char *fileName, const char *hardwareId)
{
    char path[INF_PATH_CAPACITY];

    memset(path, 0, sizeof(path));
    _mbsnbcpy((unsigned char *)path, (const unsigned char *)infDir, INF_PATH_CAPACITY);
    if (BoundedFailed(BoundedAppend(path, INF_PATH_CAPACITY, fileName)))
        return;
    if (InfDeclaresHardwareId(path, hardwareId) != 1)
        return;
    if (store->removeFromStore && RemovedByWindows(store->removeFromStore, fileName, path)) {
        DeleteTwin(path);
        return;
    }
    if (store->removeFromStore && store->keepsRefusedCopies) {
        ++store->copiesKept;
        return;
    }
    DeleteEvenIfReadOnly(path);
    DeleteTwin(path);
}

} // namespace

int PurgeOemInfsKeepingRefused(const char *hardwareId, int *copiesKept)
{
    char infDir[INF_PATH_CAPACITY];
    char pattern[INF_PATH_CAPACITY];
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;
    // Held for the scan so that the matcher's load for each file finds the
    // library mapped; without one the matcher answers no for every file.
    HMODULE setupapi = LoadSetupLibrary();
    StoreRemoval store;
    int result = -1;

    memset(infDir, 0, sizeof(infDir));
    memset(pattern, 0, sizeof(pattern));
    memset(&found, 0, sizeof(found));
    memset(&store, 0, sizeof(store));
    store.keepsRefusedCopies = HasDriverStore();
    if (BuildSearchPaths(infDir, pattern)) {
        store.removeFromStore = FindStoreRemoval(setupapi, infDir);
        search = FindFirstFileA(pattern, &found);
    }
    if (search != INVALID_HANDLE_VALUE) {
        do {
            PurgeIfDeclared(&store, infDir, found.cFileName, hardwareId);
        } while (FindNextFileA(search, &found));
        // Read before FindClose, which may set its own error.
        if (GetLastError() == ERROR_NO_MORE_FILES)
            result = 0;
        FindClose(search);
    }
    if (setupapi)
        FreeLibrary(setupapi);
    *copiesKept = store.copiesKept;
    return result;
}

int PurgeOemInfs(const char *hardwareId)
{
    int copiesKept = 0;

    return PurgeOemInfsKeepingRefused(hardwareId, &copiesKept);
}
