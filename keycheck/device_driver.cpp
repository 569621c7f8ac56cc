#include "machine.h"

#include <string.h>

#include "check_words.h"
#include "system_names.h"

namespace {

const char CLASS_KEY_PATH[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
const char WIN9X_CLASS_KEY_PATH[] = "System\\CurrentControlSet\\Services\\Class\\";
const char INF_PATH_VALUE[] = "InfPath";

// The InfPath of the driver key (under WOW64 in the 64-bit view, where the
// native device installer wrote it; on Windows 98/Me under Services\Class);
// empty when the key records none. The result of opening the key.
LONG ReadDriverInf(const Machine *machine, const char *driverKey, char *infName)
{
    char keyPath[LONG_PATH];
    HKEY key = NULL;
    DWORD size = MAX_PATH - 1;
    DWORD type = 0;
    REGSAM view = machine->wow64 ? KEY_WOW64_64KEY : 0;
    LONG status = ERROR_BAD_PATHNAME;

    memset(infName, 0, MAX_PATH);
    if (JoinPath(keyPath, machine->win9x ? WIN9X_CLASS_KEY_PATH : CLASS_KEY_PATH, driverKey, ""))
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | view, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (RegQueryValueExA(key, INF_PATH_VALUE, NULL, &type, (BYTE *)infName, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        memset(infName, 0, MAX_PATH);
    RegCloseKey(key);
    return status;
}

// Judges a device's driver from its driver key; *opened: the result of
// opening that key (ERROR_SUCCESS when none was needed); infName
// (MAX_PATH): that key's InfPath.
DriverState JudgeDeviceDriver(const Machine *machine, const char *driverKey, ULONG status, ULONG problem,
                              LONG *opened, char *infName, InstallFindings *findings)
{
    char infPath[LONG_PATH];
    InfKind kind = INF_UNRELATED;

    memset(infName, 0, MAX_PATH);
    *opened = ERROR_SUCCESS;
    if (driverKey[0] && !AwaitsRestart(status, problem))
        *opened = ReadDriverInf(machine, driverKey, infName);
    if (infName[0] && JoinPath(infPath, machine->windowsDir, INF_DIR, infName) &&
        !JudgeStoredInf(machine, infPath, &kind))
        findings->cannotRead = true;
    return JudgeDriver(driverKey[0] != '\0', infName, kind, status, problem);
}

// A problem in Device Manager's words and code.
void ReportProblem(const Machine *machine, const char *instanceId, const char *state, ULONG problem)
{
    const char *words = ProblemWords(problem);

    ReportLine(machine->report, "device: %s %s, %sDevice Manager says: %s (Code %lu)", instanceId,
               machine->presenceWord, state, words ? words : "a problem it has no words for.", (unsigned long)problem);
}

// The driver key names no INF, or cannot be opened: the driver cannot be
// told, and is never taken for the key's.
void ReportUnknownDriver(const Machine *machine, const char *instanceId, const char *driverKey, LONG opened,
                         InstallFindings *findings)
{
    findings->cannotRead = true;
    if (opened != ERROR_SUCCESS)
        ReportLine(machine->report, "device: %s %s, driver key %s cannot be opened (error %ld)", instanceId,
                   machine->presenceWord, driverKey, (long)opened);
    else
        ReportLine(machine->report, "device: %s %s, driver key %s names no INF", instanceId, machine->presenceWord,
                   driverKey);
}

} // namespace

void CountDevice(const Machine *machine, const char *instanceId, const char *driverKey, ULONG status, ULONG problem,
                 InstallFindings *findings)
{
    char infName[MAX_PATH];
    const char *presence = machine->presenceWord;
    LONG opened = ERROR_SUCCESS;
    DriverState driver = JudgeDeviceDriver(machine, driverKey, status, problem, &opened, infName, findings);

    switch (driver) {
    case DRIVER_KEYS:
        ++findings->devicesUsingKeysDriver;
        ReportLine(machine->report, "device: %s %s, uses the key's driver (%s)", instanceId, presence, infName);
        return;
    case DRIVER_NONE:
        ++findings->devicesNoDriver;
        ReportLine(machine->report, "device: %s %s, no driver installed", instanceId, presence);
        break;
    case DRIVER_OTHER_INF:
        ReportLine(machine->report, "device: %s %s, uses another driver (%s)", instanceId, presence, infName);
        break;
    case DRIVER_OTHER_VERSION:
        ReportLine(machine->report, "device: %s %s, uses another version of the key's driver (%s)", instanceId,
                   presence, infName);
        break;
    case DRIVER_PROBLEM:
        if (ProblemMeansNoDriver(problem))
            ++findings->devicesNoDriver;
        ReportProblem(machine, instanceId, "", problem);
        break;
    case DRIVER_REFUSED:
        if (findings->devicesRefused++ == 0)
            findings->refusedProblem = problem;
        ReportProblem(machine, instanceId, "has the key's driver, but ", problem);
        return;
    case DRIVER_RESTART_PENDING:
        ++findings->devicesAwaitingRestart;
        ReportLine(machine->report, "device: %s %s, Windows finishes its setup at the next restart (status 0x%08lx, "
                   "Code %lu)", instanceId, presence, (unsigned long)status, (unsigned long)problem);
        return;
    default: ReportUnknownDriver(machine, instanceId, driverKey, opened, findings); return;
    }
    ++findings->devicesWithoutKeysDriver;
}
