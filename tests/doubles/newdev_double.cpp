// Test double of newdev.dll. UpdateDriverForPlugAndPlayDevicesA answers as
// the environment variable NEWDEV_DOUBLE_RESULT says ("ok" or unset: TRUE;
// "nodev": FALSE with ERROR_NO_SUCH_DEVINST; a number: FALSE with that
// error) and appends one line per call to the file NEWDEV_DOUBLE_LOG names,
// with SetupAPI's non-interactive mode in the calling process. With
// NEWDEV_DOUBLE_STORE_DELAY_MS it first runs that long and then stores the
// INF as Windows would (a copy as the first free oemN.inf from oem9800), as
// a slow install does.
// The environment is read at each call, so child processes inherit it.
// Each process that loads it, whether it calls it or not, appends one line
// to the file NEWDEV_DOUBLE_LOAD_LOG names.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const DWORD NO_SUCH_DEVINST = 0xE000020B;
const DWORD VALUE_CAPACITY = 1024;
const size_t LINE_CAPACITY = 4096;
const int FIRST_STORE_NUMBER = 9800;
const int STORE_NUMBERS = 100;

typedef BOOL(WINAPI *SetupGetNonInteractiveModeProc)(void);

HMODULE thisModule = NULL;

// Empty when the variable is unset or too long.
void ReadEnvironment(const char *name, char *value)
{
    DWORD length;

    memset(value, 0, VALUE_CAPACITY);
    length = GetEnvironmentVariableA(name, value, VALUE_CAPACITY);
    if (length >= VALUE_CAPACITY)
        value[0] = '\0';
}

void AppendLine(const char *logPath, const char *line)
{
    HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;

    if (log == INVALID_HANDLE_VALUE)
        return;
    WriteFile(log, line, (DWORD)strlen(line), &written, NULL);
    CloseHandle(log);
}

// 1 or 0 as the caller's setupapi.dll says; -1 when it has none loaded.
int NonInteractiveMode(void)
{
    HMODULE setupapi = GetModuleHandleA("setupapi.dll");
    SetupGetNonInteractiveModeProc getMode = NULL;

    if (setupapi)
        getMode = (SetupGetNonInteractiveModeProc)(void *)GetProcAddress(setupapi, "SetupGetNonInteractiveMode");
    return getMode ? (getMode() ? 1 : 0) : -1;
}

// After the delay the environment asks for, the INF's copy as the first
// free oemN.inf; storedPath stays empty without a delay or a free name.
void StoreAfterDelay(const char *infPath, char *storedPath)
{
    char delay[VALUE_CAPACITY];
    char windowsDir[MAX_PATH];

    memset(storedPath, 0, MAX_PATH);
    memset(windowsDir, 0, sizeof(windowsDir));
    ReadEnvironment("NEWDEV_DOUBLE_STORE_DELAY_MS", delay);
    if (!delay[0] || !infPath || !GetWindowsDirectoryA(windowsDir, MAX_PATH))
        return;
    Sleep((DWORD)strtoul(delay, NULL, 10));
    for (int n = FIRST_STORE_NUMBER; n < FIRST_STORE_NUMBER + STORE_NUMBERS; ++n) {
        _snprintf(storedPath, MAX_PATH - 1, "%s\\inf\\oem%d.inf", windowsDir, n);
        if (CopyFileA(infPath, storedPath, TRUE))
            return;
    }
    memset(storedPath, 0, MAX_PATH);
}

// key=value fields separated by tabs; see tests/support/newdev_double.h.
void LogCall(const char *hardwareId, const char *infPath, DWORD flags, const BOOL *rebootRequired,
             const char *storedPath)
{
    char logPath[VALUE_CAPACITY];
    char modulePath[MAX_PATH];
    char line[LINE_CAPACITY];

    ReadEnvironment("NEWDEV_DOUBLE_LOG", logPath);
    if (!logPath[0])
        return;
    memset(modulePath, 0, sizeof(modulePath));
    GetModuleFileNameA(thisModule, modulePath, MAX_PATH);
    memset(line, 0, sizeof(line));
    _snprintf(line, LINE_CAPACITY - 1,
              "hwid=%s\tinf=%s\tflags=%lu\treboot=%d\tbits=%d\tpid=%lu\tmodule=%s\tnoninteractive=%d\t"
              "stored=%s\tcmdline=%s\r\n",
              hardwareId ? hardwareId : "(null)", infPath ? infPath : "(null)", (unsigned long)flags,
              rebootRequired ? 1 : 0, (int)(sizeof(void *) * 8), (unsigned long)GetCurrentProcessId(),
              modulePath, NonInteractiveMode(), storedPath, GetCommandLineA());
    AppendLine(logPath, line);
}

// The mark a load leaves, for tests that check which copy was loaded.
void LogLoad(void)
{
    char logPath[VALUE_CAPACITY];
    char modulePath[MAX_PATH];
    char line[LINE_CAPACITY];

    ReadEnvironment("NEWDEV_DOUBLE_LOAD_LOG", logPath);
    if (!logPath[0])
        return;
    memset(modulePath, 0, sizeof(modulePath));
    GetModuleFileNameA(thisModule, modulePath, MAX_PATH);
    memset(line, 0, sizeof(line));
    _snprintf(line, LINE_CAPACITY - 1, "loaded\tpid=%lu\tmodule=%s\r\n", (unsigned long)GetCurrentProcessId(),
              modulePath);
    AppendLine(logPath, line);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        LogLoad();
    }
    return TRUE;
}

extern "C" BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND, LPCSTR hardwareId, LPCSTR infPath, DWORD flags,
                                                         PBOOL rebootRequired)
{
    char result[VALUE_CAPACITY];
    char storedPath[MAX_PATH];

    StoreAfterDelay(infPath, storedPath);
    LogCall(hardwareId, infPath, flags, rebootRequired, storedPath);
    ReadEnvironment("NEWDEV_DOUBLE_RESULT", result);
    if (!result[0] || strcmp(result, "ok") == 0) {
        if (rebootRequired)
            *rebootRequired = FALSE;
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    SetLastError(strcmp(result, "nodev") == 0 ? NO_SUCH_DEVINST : (DWORD)strtoul(result, NULL, 0));
    return FALSE;
}
