#include "machine_reading.h"

#include <string.h>

#include "branch_files.h"
#include "machine.h"
#include "setup_library.h"
#include "system_names.h"

namespace {

// This branch's own INF (the one the driver store keeps a copy of).
const PayloadDigest *FindKeyInfDigest(InstallBranch branch)
{
    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i)
        if (BRANCH_FILES[i].branch == branch && IsKeyInfName(BRANCH_FILES[i].name + 1))
            return FindPayloadDigest(BRANCH_FILES[i].type, BRANCH_FILES[i].name + 1);
    return NULL;
}

// The places the check needs; false, reported, when one cannot be read.
bool ReadPlaces(Machine *machine)
{
    PlatformClass platform = GetPlatformClass();
    Wow64Branch wow64Branch = GetWow64Branch();

    machine->platform = platform;
    machine->wow64 = wow64Branch != BRANCH_NOT_WOW64;
    machine->win9x = IsWin9xClass(platform);
    machine->branch = ChooseInstallBranch(wow64Branch, machine->win9x);
    machine->keyInf = FindKeyInfDigest(machine->branch);
    machine->presenceWord = machine->win9x ? "recorded" : "present";
    ReportLine(machine->report, "windows: platform class %d, wow64 %s, branch %s", platform,
               machine->wow64 ? "yes" : "no", BranchName(machine->branch));
    if (!GetInstallSystemDir(machine->systemDir, machine->wow64) ||
        !BuildSystemPath(machine->uninstallerPath, machine->systemDir, UNINSTALLER_FILE_NAME)) {
        ReportLine(machine->report, "system directory: cannot be read");
        return false;
    }
    if (!GetWindowsDirInto(machine->windowsDir, MAX_PATH)) {
        ReportLine(machine->report, "windows directory: cannot be read");
        return false;
    }
    return true;
}

} // namespace


const PayloadDigest *FindPayloadDigest(const char *type, const char *name)
{
    for (size_t i = 0; i < PAYLOAD_DIGEST_COUNT; ++i)
        if (strcmp(PAYLOAD_DIGESTS[i].type, type) == 0 && strcmp(PAYLOAD_DIGESTS[i].name, name) == 0)
            return &PAYLOAD_DIGESTS[i];
    return NULL;
}

int RunKeyCheck(const Report *report)
{
    Machine machine;
    InstallFindings findings;
    HMODULE setupapi = NULL;
    int code = CHECK_CANNOT_CHECK;

    memset(&machine, 0, sizeof(machine));
    memset(&findings, 0, sizeof(findings));
    machine.report = report;
    ReportLine(report, "keycheck: hardware ID %s", DEVICE_HARDWARE_ID);
    if (ReadPlaces(&machine)) {
        // Held for the whole check, so that each INF match finds it mapped.
        setupapi = LoadSetupLibrary();
        if (!setupapi)
            ReportLine(report, "setupapi: missing, the INFs and devices cannot be read");
    }
    if (setupapi) {
        CheckBranchFiles(&machine, &findings);
        findings.entry = CheckEntry(&machine);
        findings.storeExpected = StoresInfCopies(machine.platform, machine.wow64);
        CheckOemInfs(&machine, &findings);
        CheckDevices(&machine, setupapi, &findings);
        code = JudgeInstallState(&findings);
        FreeLibrary(setupapi);
    }
    ReportLine(report, "verdict: %d %s", code, VerdictWords(code));
    return code;
}

