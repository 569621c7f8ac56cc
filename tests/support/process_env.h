// Starting programs with a changed environment or current directory, and
// starting them suspended so that several begin at the same moment.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One change to the environment a program starts with.
struct EnvChange {
    std::string name;
    bool unset;
    std::string value;
};

EnvChange SetVariable(const std::string &name, const std::string &value);
EnvChange UnsetVariable(const std::string &name);

// This process's environment with the changes applied, as the ANSI block
// that CreateProcessA takes.
std::string EnvironmentBlock(const std::vector<EnvChange> &changes);

// Starts commandLine with that environment (empty: inherited) and current
// directory (empty: inherited) and waits; its exit code, or ~0u when it
// could not be started or did not end within timeoutMs (it is then killed).
DWORD RunProgramWith(const std::string &commandLine, const std::string &environment,
                     const std::string &currentDir = "", DWORD timeoutMs = 60000);

// Creates the process with its first thread suspended.
bool StartSuspended(const std::string &commandLine, const std::string &environment, PROCESS_INFORMATION *process);
// Waits for a started process, closes its handles and returns its exit
// code, or ~0u after timeoutMs (it is then killed).
DWORD FinishProcess(PROCESS_INFORMATION *process, DWORD timeoutMs = 60000);
