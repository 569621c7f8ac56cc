#include "install_wait.h"

#include <tlhelp32.h>
#include <string.h>

#include "install_check.h"
#include "platform.h"
#include "system_names.h"

namespace {

// Toolhelp came with Windows 95 and 2000 (NT 4 lacks it), the full image
// path of another process with Vista: both are looked up by name, so that
// keycheck still starts where they are missing.
typedef HANDLE(WINAPI *CreateToolhelp32SnapshotProc)(DWORD, DWORD);
typedef BOOL(WINAPI *Process32Proc)(HANDLE, LPPROCESSENTRY32);
typedef BOOL(WINAPI *QueryFullProcessImageNameAProc)(HANDLE, DWORD, LPSTR, PDWORD);

struct ProcessFunctions {
    CreateToolhelp32SnapshotProc createSnapshot;
    Process32Proc first;
    Process32Proc next;
    QueryFullProcessImageNameAProc queryImage; // NULL before Vista
};

// One running helper: its handle where it could be opened for waiting.
struct RunningHelper {
    DWORD processId; // 0: none runs
    HANDLE process;  // NULL: poll the listing instead
    char name[MAX_PATH];
};

const char *const HELPER_FILE_NAMES[] = {NATIVE_HELPER_FILE_NAME, ARM64_HELPER_FILE_NAME};
const size_t HELPER_COUNT = sizeof(HELPER_FILE_NAMES) / sizeof(HELPER_FILE_NAMES[0]);
const char WAIT_SWITCH[] = "wait";
const DWORD MILLISECONDS_PER_SECOND = 1000;
const DWORD POLL_MS = 500;
// Only Vista and later know the limited right (older Windows refuse an
// unknown access bit); before Vista the handle serves only for waiting.
const DWORD VISTA_WAIT_ACCESS = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
const DWORD OLDER_WAIT_ACCESS = SYNCHRONIZE;

const char *FileNamePart(const char *path)
{
    const char *separator = strrchr(path, '\\');
    return separator ? separator + 1 : path;
}

bool LoadProcessFunctions(ProcessFunctions *functions)
{
    HMODULE kernel = GetModuleHandleA("kernel32");

    memset(functions, 0, sizeof(*functions));
    if (!kernel)
        return false;
    functions->createSnapshot =
        (CreateToolhelp32SnapshotProc)(void *)GetProcAddress(kernel, "CreateToolhelp32Snapshot");
    functions->first = (Process32Proc)(void *)GetProcAddress(kernel, "Process32First");
    functions->next = (Process32Proc)(void *)GetProcAddress(kernel, "Process32Next");
    functions->queryImage = (QueryFullProcessImageNameAProc)(void *)GetProcAddress(kernel, "QueryFullProcessImageNameA");
    return functions->createSnapshot && functions->first && functions->next;
}

// Opens a process whose file name is a helper's and keeps it when it is
// the one in helperDir. Where it cannot be opened the name decides, and
// the listing is polled until it is gone.
void TakeIfHelper(const ProcessFunctions *functions, const PROCESSENTRY32 *entry, const char *helperPath,
                  RunningHelper *helper)
{
    char image[MAX_PATH];
    DWORD size = MAX_PATH;
    HANDLE process;
    bool taken = true;

    memset(image, 0, sizeof(image));
    SetLastError(ERROR_SUCCESS);
    process = OpenProcess(functions->queryImage ? VISTA_WAIT_ACCESS : OLDER_WAIT_ACCESS, FALSE,
                          entry->th32ProcessID);
    if (process && functions->queryImage && functions->queryImage(process, 0, image, &size))
        taken = IsHelperImage(image, helperPath);
    if (taken) {
        helper->processId = entry->th32ProcessID;
        helper->process = process;
        lstrcpynA(helper->name, entry->szExeFile, MAX_PATH);
    } else if (process) {
        CloseHandle(process);
    }
}

bool FindRunningHelper(const ProcessFunctions *functions, char helperPaths[][MAX_PATH], RunningHelper *helper)
{
    PROCESSENTRY32 entry;
    HANDLE snapshot;
    BOOL listed;

    memset(helper, 0, sizeof(*helper));
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    SetLastError(ERROR_SUCCESS);
    snapshot = functions->createSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    for (listed = functions->first(snapshot, &entry); listed && !helper->processId;
         listed = functions->next(snapshot, &entry))
        for (size_t i = 0; i < HELPER_COUNT && !helper->processId; ++i)
            if (IsHelperImage(FileNamePart(entry.szExeFile), helperPaths[i]))
                TakeIfHelper(functions, &entry, helperPaths[i], helper);
    CloseHandle(snapshot);
    return helper->processId != 0;
}

} // namespace

bool ParseWaitSwitch(const char *word, DWORD *seconds)
{
    const size_t nameLength = sizeof(WAIT_SWITCH) - 1;
    const char *rest = word + 1 + nameLength;
    DWORD value = 0;
    bool valid;

    if ((word[0] != '/' && word[0] != '-') || !EqualsIgnoringAsciiCase(word + 1, WAIT_SWITCH, nameLength))
        return false;
    if (rest[0] == '\0') {
        *seconds = INSTALL_WAIT_DEFAULT_SECONDS;
        return true;
    }
    valid = rest[0] == ':' && rest[1] != '\0';
    for (const char *digit = rest + 1; valid && *digit; ++digit) {
        valid = *digit >= '0' && *digit <= '9';
        value = value * 10 + (DWORD)(*digit - '0');
        valid = valid && value <= INSTALL_WAIT_MAX_SECONDS;
    }
    if (valid)
        *seconds = value;
    return valid;
}

bool IsHelperImage(const char *image, const char *helperPath)
{
    if (strchr(image, '\\'))
        return lstrcmpiA(image, helperPath) == 0;
    return lstrcmpiA(image, FileNamePart(helperPath)) == 0;
}

bool WaitForHelpersIn(const char *helperDir, DWORD seconds, const Report *report)
{
    char helperPaths[HELPER_COUNT][MAX_PATH];
    ProcessFunctions functions;
    RunningHelper helper;
    const DWORD limitMs = seconds * MILLISECONDS_PER_SECOND;
    const DWORD start = GetTickCount();
    bool reported = false;
    bool running = false;

    memset(helperPaths, 0, sizeof(helperPaths));
    for (size_t i = 0; i < HELPER_COUNT; ++i)
        BuildSystemPath(helperPaths[i], helperDir, HELPER_FILE_NAMES[i]);
    // Without Toolhelp (NT 4) there is no WOW64 and no helper either.
    while (LoadProcessFunctions(&functions) && FindRunningHelper(&functions, helperPaths, &helper)) {
        DWORD elapsed = GetTickCount() - start;
        if (!reported)
            ReportLine(report, "wait: %s (process %lu) is running, waiting up to %lu s", helper.name,
                       (unsigned long)helper.processId, (unsigned long)seconds);
        reported = true;
        running = elapsed >= limitMs;
        if (!running && helper.process)
            WaitForSingleObject(helper.process, limitMs - elapsed);
        else if (!running)
            Sleep(limitMs - elapsed < POLL_MS ? limitMs - elapsed : POLL_MS);
        if (helper.process)
            CloseHandle(helper.process);
        if (running)
            break;
    }
    if (reported && !running)
        ReportLine(report, "wait: the install has ended");
    return !running;
}

bool WaitForInstallHelpers(DWORD seconds, const Report *report)
{
    char systemDir[MAX_PATH];

    // Without WOW64 keysetup does the driver work itself and has ended.
    return GetWow64Branch() == BRANCH_NOT_WOW64 || !GetInstallSystemDir(systemDir, true) ||
           WaitForHelpersIn(systemDir, seconds, report);
}
