#include "console_window.h"

#include <string.h>

namespace {

typedef DWORD(WINAPI *GetConsoleProcessListProc)(LPDWORD, DWORD);
typedef HWND(WINAPI *GetConsoleWindowProc)(void);
typedef BOOL(WINAPI *ProcessIdToSessionIdProc)(DWORD, DWORD *);
typedef HWINSTA(WINAPI *GetProcessWindowStationProc)(void);
typedef BOOL(WINAPI *GetUserObjectInformationAProc)(HANDLE, int, PVOID, DWORD, LPDWORD);

const DWORD FIRST_ISOLATING_MAJOR = 6; // Vista: services alone in session 0
const DWORD SESSION_ZERO = 0;

void *Find(const char *module, const char *name)
{
    HMODULE loaded = GetModuleHandleA(module);
    return loaded ? (void *)GetProcAddress(loaded, name) : NULL;
}

bool IsConsoleHandle(DWORD which)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != FALSE;
}

bool AsksHidden(void)
{
    STARTUPINFOA startup;

    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE;
}

// A service's window station is not visible; without the calls, assume it
// is (the other answers still hold).
bool IsInteractiveStation(void)
{
    GetProcessWindowStationProc station =
        (GetProcessWindowStationProc)Find("user32.dll", "GetProcessWindowStation");
    GetUserObjectInformationAProc information =
        (GetUserObjectInformationAProc)Find("user32.dll", "GetUserObjectInformationA");
    USEROBJECTFLAGS flags;
    DWORD needed = 0;

    memset(&flags, 0, sizeof(flags));
    if (!station || !information || !station())
        return true;
    if (!information(station(), UOI_FLAGS, &flags, sizeof(flags), &needed))
        return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool IsSessionZeroIsolated(void)
{
    OSVERSIONINFOA version;

    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           version.dwMajorVersion >= FIRST_ISOLATING_MAJOR;
}

} // namespace

bool ShouldWaitForEnter(const ConsoleAnswers *answers)
{
    return answers->processListKnown && answers->processCount == 1 && answers->inputIsConsole &&
           answers->outputIsConsole && answers->hasConsoleWindow && answers->consoleWindowIsWindow &&
           !answers->startedHidden &&
           !(answers->sessionZero && answers->sessionZeroIsolated) && answers->interactiveStation;
}

void AskConsole(ConsoleAnswers *answers)
{
    DWORD processes[2];
    DWORD session = ~0u;
    HWND window = NULL;
    GetConsoleProcessListProc listProcesses =
        (GetConsoleProcessListProc)Find("kernel32.dll", "GetConsoleProcessList");
    GetConsoleWindowProc consoleWindow = (GetConsoleWindowProc)Find("kernel32.dll", "GetConsoleWindow");
    ProcessIdToSessionIdProc sessionOf = (ProcessIdToSessionIdProc)Find("kernel32.dll", "ProcessIdToSessionId");

    memset(answers, 0, sizeof(*answers));
    answers->processListKnown = listProcesses != NULL;
    if (listProcesses)
        answers->processCount = listProcesses(processes, sizeof(processes) / sizeof(processes[0]));
    answers->inputIsConsole = IsConsoleHandle(STD_INPUT_HANDLE);
    answers->outputIsConsole = IsConsoleHandle(STD_OUTPUT_HANDLE);
    if (consoleWindow)
        window = consoleWindow();
    answers->hasConsoleWindow = window != NULL;
    answers->consoleWindowIsWindow = window != NULL && IsWindow(window);
    answers->startedHidden = AsksHidden();
    answers->sessionZero = sessionOf && sessionOf(GetCurrentProcessId(), &session) && session == SESSION_ZERO;
    answers->sessionZeroIsolated = IsSessionZeroIsolated();
    answers->interactiveStation = IsInteractiveStation();
}
