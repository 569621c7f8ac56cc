// keycheck: reports the key's installed state on this machine and exits
// with a code that support staff and deployment tools read. Changes
// nothing. "/q": no report, only the exit code; "/log": the report, then
// the sections of Windows' setup log that name the key; "/wait": first
// waits while the install keysetup started still runs.
#include <windows.h>
#include <string.h>

#include "command_line.h"
#include "console_window.h"
#include "install_check.h"
#include "install_wait.h"
#include "machine_reading.h"
#include "program_entry.h"

namespace {

const char *const QUIET_SWITCHES[] = {"/q", "-q"};
const char *const LOG_SWITCHES[] = {"/log", "-log"};
const int LAST_CODE = CHECK_NEWER_VERSION;
const size_t ARGUMENT_CAPACITY = 16;
const char USAGE[] = "usage: keycheck [/q | /log] [/wait[:SECONDS]]\r\n"
                     "Reports the key's driver installation and exits with its code:\r\n";
const char USAGE_SWITCHES[] = "/q prints nothing; /log adds the sections of Windows' setup log that name the key\r\n"
                              "(keycheck /log > keycheck.txt saves them to send).\r\n"
                              "/wait first waits, at most SECONDS (600), while the install keysetup started\r\n"
                              "still runs; 10 when it outlasts the wait.\r\n";
const char CLOSE_PROMPT[] = "Press Enter to close this window.";

struct Arguments {
    bool quiet;
    bool log;
    bool wait;
    DWORD waitSeconds;
    bool bad;
};

void WaitForEnter(HANDLE out)
{
    ConsoleAnswers answers;
    char line[64];
    DWORD got = 0;

    AskConsole(&answers);
    if (!ShouldWaitForEnter(&answers))
        return;
    Report prompt = {out, false, NULL};
    ReportLine(&prompt, CLOSE_PROMPT);
    ReadFile(GetStdHandle(STD_INPUT_HANDLE), line, sizeof(line), &got, NULL);
}

bool IsOneOf(const char *argument, const char *const *switches, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (lstrcmpiA(argument, switches[i]) == 0)
            return true;
    return false;
}

// Each blank-separated word must be a switch; /q and /log exclude each
// other (/log exists to be read).
Arguments ParseArguments(const char *tail)
{
    Arguments arguments = {false, false, false, 0, false};
    char argument[ARGUMENT_CAPACITY];

    while (*tail) {
        size_t length = 0;
        memset(argument, 0, sizeof(argument));
        while (*tail && (unsigned char)*tail > ' ') {
            if (length < sizeof(argument) - 1)
                argument[length] = *tail;
            ++length;
            ++tail;
        }
        while (*tail && (unsigned char)*tail <= ' ')
            ++tail;
        if (length < sizeof(argument) && IsOneOf(argument, QUIET_SWITCHES, 2))
            arguments.quiet = true;
        else if (length < sizeof(argument) && IsOneOf(argument, LOG_SWITCHES, 2))
            arguments.log = true;
        else if (length < sizeof(argument) && ParseWaitSwitch(argument, &arguments.waitSeconds))
            arguments.wait = true;
        else
            arguments.bad = true;
    }
    arguments.bad = arguments.bad || (arguments.quiet && arguments.log);
    return arguments;
}

// The usage text with every exit code in the verdict's own words.
void WriteUsage(HANDLE out)
{
    Report report = {out, false, NULL};

    ReportBytes(&report, USAGE, sizeof(USAGE) - 1);
    for (int code = 0; code <= LAST_CODE; ++code)
        ReportLine(&report, "%3d %s", code, VerdictWords(code));
    ReportBytes(&report, USAGE_SWITCHES, sizeof(USAGE_SWITCHES) - 1);
}

int RunWithArguments(const char *tail, HANDLE out)
{
    Arguments arguments = ParseArguments(tail);
    Report report = {out, arguments.quiet, NULL};

    if (arguments.bad) {
        WriteUsage(out);
        return CHECK_CANNOT_CHECK;
    }
    int code = CHECK_INSTALL_RUNNING;
    // A machine the install is still changing is not judged.
    if (!arguments.wait || WaitForInstallHelpers(arguments.waitSeconds, &report))
        code = RunKeyCheck(&report, arguments.log);
    else
        ReportLine(&report, "verdict: %d %s", code, VerdictWords(code));
    if (!report.quiet)
        WaitForEnter(out);
    return code;
}

} // namespace

extern "C" void WINAPI ProgramEntry(void)
{
    ExitProcess((UINT)RunWithArguments(CommandLineTail(GetCommandLineA()), GetStdHandle(STD_OUTPUT_HANDLE)));
}
