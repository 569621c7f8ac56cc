#include "dll_marks.h"

#include <windows.h>

#include "newdev_double.h"
#include "wine_test.h"

namespace {

const char LOAD_LOG_VARIABLE[] = "NEWDEV_DOUBLE_LOAD_LOG";
const char MARK_SUFFIX[] = ".ran";

} // namespace

void SetNewdevLoadLog(const std::string &logPath)
{
    DeleteFileA(logPath.c_str());
    SetEnvironmentVariableA(LOAD_LOG_VARIABLE, logPath.c_str());
}

void ClearNewdevLoadLog()
{
    SetEnvironmentVariableA(LOAD_LOG_VARIABLE, NULL);
}

// The load log's lines are read as the call log's: its module field.
std::vector<std::string> LoadedNewdevModules(const std::string &logPath)
{
    std::vector<NewdevCall> loads = ReadNewdevCalls(logPath);
    std::vector<std::string> modules;

    for (size_t i = 0; i < loads.size(); ++i)
        if (!loads[i].modulePath.empty())
            modules.push_back(loads[i].modulePath);
    return modules;
}

size_t LoadsOf(const std::vector<std::string> &modules, const std::string &path)
{
    size_t count = 0;

    for (size_t i = 0; i < modules.size(); ++i)
        if (lstrcmpiA(modules[i].c_str(), path.c_str()) == 0)
            ++count;
    return count;
}

bool PlantMarkProbe(const std::string &path)
{
    DeleteFileA((path + MARK_SUFFIX).c_str());
    return CopyFileA(BinPath("mark_probe.exe").c_str(), path.c_str(), FALSE) != FALSE;
}

bool MarkProbeRan(const std::string &path)
{
    return FileExists(path + MARK_SUFFIX);
}
