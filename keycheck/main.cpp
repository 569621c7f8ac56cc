// keycheck: reports the key's installed state on this machine and exits
// with a code that support staff and deployment tools read. Changes
// nothing. "/q": no report, only the exit code.
#include <windows.h>
#include <string.h>

#include "command_line.h"
#include "machine_reading.h"
#include "install_check.h"
#include "install_wait.h"
#include "program_entry.h"

namespace {

typedef DWORD(WINAPI *GetConsoleProcessListProc)(LPDWORD, DWORD);
typedef HWND(WINAPI *GetConsoleWindowProc)(void);

const char *const QUIET_SWITCHES[] = {"/q", "-q"};
const char USAGE[] = "usage: keycheck [/q] [/wait[:SECONDS]]\r\n"
                     "Reports the key's driver installation and exits with its code:\r\n"
                     "0 installed, 1 not installed, 2 partly installed,\r\n"
                     "3 installed but a device lacks the key's driver, 4 leftovers,\r\n"
                     "5 restart needed, 9 cannot check,\r\n"
                     "10 an install is still running.\r\n"
                     "/q prints nothing.\r\n"
                     "/wait first waits, at most SECONDS (600), while the install\r\n"
                     "keysetup started still runs; 10 when it outlasts the wait.\r\n";
const char CLOSE_PROMPT[] = "Press Enter to close this window.";

void WriteText(HANDLE out, const char *text)
{
    DWORD written = 0;
    WriteFile(out, text, (DWORD)strlen(text), &written, NULL);
}

// A visible console window that holds this process alone was made for it
// (started from Explorer) and closes when the program ends. A program
// started from a console shares it; one started by a tool or a script has
// its output redirected or no window shown. Windows before XP cannot tell:
// there it never waits.
bool OwnsItsConsole(HANDLE in, HANDLE out)
{
    DWORD processes[2];
    HMODULE kernel = GetModuleHandleA("kernel32");
    GetConsoleProcessListProc listProcesses = NULL;
    GetConsoleWindowProc consoleWindow = NULL;

    if (kernel) {
        listProcesses = (GetConsoleProcessListProc)(void *)GetProcAddress(kernel, "GetConsoleProcessList");
        consoleWindow = (GetConsoleWindowProc)(void *)GetProcAddress(kernel, "GetConsoleWindow");
    }
    if (!listProcesses || !consoleWindow || GetFileType(in) != FILE_TYPE_CHAR || GetFileType(out) != FILE_TYPE_CHAR)
        return false;
    HWND window = consoleWindow();
    return window && IsWindowVisible(window) && listProcesses(processes, 2) == 1;
}

void WaitForEnter(HANDLE out)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char line[64];
    DWORD got = 0;

    if (!OwnsItsConsole(in, out))
        return;
    Report prompt = {out, false};
    ReportLine(&prompt, CLOSE_PROMPT);
    ReadFile(in, line, sizeof(line), &got, NULL);
}

bool IsQuietSwitch(const char *tail)
{
    for (size_t i = 0; i < sizeof(QUIET_SWITCHES) / sizeof(QUIET_SWITCHES[0]); ++i)
        if (lstrcmpiA(tail, QUIET_SWITCHES[i]) == 0)
            return true;
    return false;
}

// What the command line asks for.
struct Arguments {
    bool quiet;
    bool wait;
    DWORD waitSeconds;
};

// Blank-separated switches, in any order; false at the first other word.
bool ParseArguments(char *tail, Arguments *arguments)
{
    char *word = tail;
    bool valid = true;

    memset(arguments, 0, sizeof(*arguments));
    while (valid && *word) {
        char *end = word;
        while (*end && (unsigned char)*end > ' ')
            ++end;
        bool last = *end == '\0';
        *end = '\0';
        if (IsQuietSwitch(word))
            arguments->quiet = true;
        else if (ParseWaitSwitch(word, &arguments->waitSeconds))
            arguments->wait = true;
        else
            valid = word[0] == '\0';
        word = last ? end : end + 1;
    }
    return valid;
}

int RunWithArguments(char *tail, HANDLE out)
{
    Arguments arguments;
    Report report = {out, false};
    int code = CHECK_INSTALL_RUNNING;

    if (!ParseArguments(tail, &arguments)) {
        WriteText(out, USAGE);
        return CHECK_CANNOT_CHECK;
    }
    report.quiet = arguments.quiet;
    // A machine the install is still changing is not judged.
    if (!arguments.wait || WaitForInstallHelpers(arguments.waitSeconds, &report))
        code = RunKeyCheck(&report);
    else
        ReportLine(&report, "verdict: %d %s", code, VerdictWords(code));
    if (!report.quiet)
        WaitForEnter(out);
    return code;
}

} // namespace

extern "C" void WINAPI ProgramEntry(void)
{
    char tail[64];
    const char *commandTail = CommandLineTail(GetCommandLineA());
    size_t length = strlen(commandTail);

    // Trailing blanks are no argument; anything too long for a switch is
    // a bad one.
    while (length > 0 && (unsigned char)commandTail[length - 1] <= ' ')
        --length;
    memset(tail, 0, sizeof(tail));
    memcpy(tail, commandTail, length < sizeof(tail) - 1 ? length : sizeof(tail) - 1);
    if (length >= sizeof(tail) - 1)
        tail[0] = '?';
    ExitProcess((UINT)RunWithArguments(tail, GetStdHandle(STD_OUTPUT_HANDLE)));
}
