#include "process_env.h"

#include "wine_test.h"

#include <string.h>

namespace {

std::string NameOf(const std::string &entry)
{
    // Entries such as "=C:=C:\dir" begin with '='; their name includes it.
    size_t equals = entry.find('=', 1);
    return equals == std::string::npos ? entry : entry.substr(0, equals);
}

bool Changed(const std::string &name, const std::vector<EnvChange> &changes)
{
    for (size_t i = 0; i < changes.size(); ++i)
        if (lstrcmpiA(name.c_str(), changes[i].name.c_str()) == 0)
            return true;
    return false;
}

// The one place the tests create processes; environment and currentDir
// empty: inherited.
bool StartProcess(const std::string &commandLine, const std::string &environment, const std::string &currentDir,
                  DWORD flags, PROCESS_INFORMATION *process)
{
    STARTUPINFOA startup;
    std::string line = commandLine;
    std::string block = environment;

    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    ZeroMemory(process, sizeof(*process));
    return CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, flags, block.empty() ? NULL : &block[0],
                          currentDir.empty() ? NULL : currentDir.c_str(), &startup, process) != FALSE;
}

} // namespace

EnvChange SetVariable(const std::string &name, const std::string &value)
{
    EnvChange change = {name, false, value};
    return change;
}

EnvChange UnsetVariable(const std::string &name)
{
    EnvChange change = {name, true, ""};
    return change;
}

std::string EnvironmentBlock(const std::vector<EnvChange> &changes)
{
    std::string block;
    char *strings = GetEnvironmentStringsA();

    for (const char *entry = strings; entry && *entry; entry += strlen(entry) + 1) {
        if (!Changed(NameOf(entry), changes)) {
            block += entry;
            block += '\0';
        }
    }
    if (strings)
        FreeEnvironmentStringsA(strings);
    for (size_t i = 0; i < changes.size(); ++i) {
        if (!changes[i].unset) {
            block += changes[i].name + "=" + changes[i].value;
            block += '\0';
        }
    }
    block += '\0';
    return block;
}

bool StartSuspended(const std::string &commandLine, const std::string &environment, PROCESS_INFORMATION *process)
{
    return StartProcess(commandLine, environment, "", CREATE_SUSPENDED, process);
}

DWORD FinishProcess(PROCESS_INFORMATION *process, DWORD timeoutMs)
{
    DWORD exitCode = ~0u;

    if (WaitForSingleObject(process->hProcess, ScaledTimeout(timeoutMs)) == WAIT_OBJECT_0)
        GetExitCodeProcess(process->hProcess, &exitCode);
    else
        TerminateProcess(process->hProcess, ~0u);
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
    ZeroMemory(process, sizeof(*process));
    return exitCode;
}

DWORD RunProgramWith(const std::string &commandLine, const std::string &environment, const std::string &currentDir,
                     DWORD timeoutMs)
{
    PROCESS_INFORMATION process;

    if (!StartProcess(commandLine, environment, currentDir, 0, &process))
        return ~0u;
    return FinishProcess(&process, timeoutMs);
}

DWORD RunProgram(const std::string &commandLine, DWORD timeoutMs)
{
    return RunProgramWith(commandLine, "", "", timeoutMs);
}
