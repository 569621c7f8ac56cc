#include "newdev_double.h"

#include <stdlib.h>
#include <string.h>

#include <sstream>

#include "wine_test.h"

namespace {

const char NEWDEV_NAME[] = "\\newdev.dll";

std::vector<std::string> Split(const std::string &text, const std::string &separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    size_t end;

    while ((end = text.find(separator, start)) != std::string::npos) {
        parts.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    parts.push_back(text.substr(start));
    return parts;
}

NewdevCall ParseCall(const std::string &line)
{
    NewdevCall call;
    std::vector<std::string> fields = Split(line, "\t");

    call.flags = 0;
    call.rebootFlagPassed = false;
    call.bits = 0;
    call.processId = 0;
    call.nonInteractive = -1;
    for (size_t i = 0; i < fields.size(); ++i) {
        size_t equals = fields[i].find('=');
        std::string key = fields[i].substr(0, equals);
        std::string value = equals == std::string::npos ? "" : fields[i].substr(equals + 1);
        if (key == "hwid")
            call.hardwareId = value;
        else if (key == "inf")
            call.infPath = value;
        else if (key == "flags")
            call.flags = strtoul(value.c_str(), NULL, 10);
        else if (key == "reboot")
            call.rebootFlagPassed = value == "1";
        else if (key == "bits")
            call.bits = atoi(value.c_str());
        else if (key == "pid")
            call.processId = strtoul(value.c_str(), NULL, 10);
        else if (key == "module")
            call.modulePath = value;
        else if (key == "noninteractive")
            call.nonInteractive = atoi(value.c_str());
        else if (key == "stored")
            call.storedPath = value;
        else if (key == "cmdline")
            call.commandLine = value;
    }
    return call;
}

} // namespace

std::string NewdevDoublePath(NewdevBitness bitness)
{
    return BinDir() + (bitness == NEWDEV_64 ? "\\doubles\\win64" : "\\doubles\\win32") + NEWDEV_NAME;
}

std::string SystemNewdevPath(NewdevBitness bitness)
{
    if (bitness == NEWDEV_64)
        return WindowsDir() + "\\sysnative" + NEWDEV_NAME;
    return SystemDir() + NEWDEV_NAME;
}

std::string LoadedNewdevPath()
{
    return SystemDir() + NEWDEV_NAME;
}

bool NativeNewdevOverrideSet()
{
    const char *overrides = getenv("WINEDLLOVERRIDES");
    return overrides && strstr(overrides, "newdev=n") != NULL;
}

bool InstallNewdevDouble(NewdevBitness bitness)
{
    return ReplaceSystemFile(SystemNewdevPath(bitness), NewdevDoublePath(bitness));
}

bool RemoveSystemNewdev(NewdevBitness bitness)
{
    return ReplaceSystemFile(SystemNewdevPath(bitness), "");
}

bool RestoreSystemNewdev(NewdevBitness bitness)
{
    return RestoreSystemFile(SystemNewdevPath(bitness));
}

void SetNewdevDoubleResult(const char *result)
{
    SetEnvironmentVariableA("NEWDEV_DOUBLE_RESULT", result);
}

void SetNewdevDoubleLog(const std::string &logPath)
{
    DeleteFileA(logPath.c_str());
    SetEnvironmentVariableA("NEWDEV_DOUBLE_LOG", logPath.c_str());
}

void ClearNewdevDoubleEnvironment()
{
    SetEnvironmentVariableA("NEWDEV_DOUBLE_RESULT", NULL);
    SetEnvironmentVariableA("NEWDEV_DOUBLE_LOG", NULL);
}

std::vector<NewdevCall> ReadNewdevCalls(const std::string &logPath)
{
    std::vector<NewdevCall> calls;
    std::vector<std::string> lines = Split(ReadBytes(logPath), "\r\n");

    // The last piece is empty or a line still being written.
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (!lines[i].empty())
            calls.push_back(ParseCall(lines[i]));
    return calls;
}

std::vector<NewdevCall> WaitForNewdevCalls(const std::string &logPath, size_t count, DWORD timeoutMs)
{
    const DWORD POLL_MS = 100;
    DWORD waited = 0;
    DWORD limit = ScaledTimeout(timeoutMs);
    std::vector<NewdevCall> calls = ReadNewdevCalls(logPath);

    while (calls.size() < count && waited < limit) {
        Sleep(POLL_MS);
        waited += POLL_MS;
        calls = ReadNewdevCalls(logPath);
    }
    return calls;
}
