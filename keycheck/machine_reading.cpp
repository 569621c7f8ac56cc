#include "machine_reading.h"

#include <string.h>

#include "branch_files.h"
#include "bounded_string.h"
#include "check_words.h"
#include "machine.h"
#include "setup_library.h"
#include "setup_log.h"
#include "system_names.h"
#include "windows_name.h"

namespace {

// The held report: every line of a check fits many times over.
const size_t HELD_REPORT_CAPACITY = 32 * 1024;
const int LOG_NEEDLES = 2 + KEY_NAME_CAPACITY;

// This branch's own INF (the one the driver store keeps a copy of).
const PayloadDigest *FindKeyInfDigest(InstallBranch branch)
{
    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i)
        if (BRANCH_FILES[i].branch == branch && IsKeyInfName(BRANCH_FILES[i].name + 1))
            return FindPayloadDigest(BRANCH_FILES[i].type, BRANCH_FILES[i].name + 1);
    return NULL;
}

// The key, this build's driver version, and the Windows it runs on, named
// as people know it (the platform class and branch for the developer).
void ReportKeyAndWindows(Machine *machine, Wow64Branch wow64Branch)
{
    char windowsName[WINDOWS_NAME_CAPACITY];
    char driverText[DRIVER_VERSION_TEXT_CAPACITY];
    WindowsVersion version;

    machine->buildDriverKnown =
        machine->keyInf && ParseDriverVer(machine->keyInf->driverVer, "", &machine->buildDriver);
    FormatDriverVersion(&machine->buildDriver, driverText);
    ReportLine(machine->report, "key: hardware ID %s; this keycheck knows driver %s", DEVICE_HARDWARE_ID,
               machine->buildDriverKnown ? driverText : "none");
    memset(windowsName, 0, sizeof(windowsName));
    if (ReadWindowsVersion(&version))
        NameWindows(&version, wow64Branch, windowsName);
    else
        BoundedCopy(windowsName, sizeof(windowsName), "its version cannot be read");
    ReportLine(machine->report, "windows: %s [platform class %d, branch %s]", windowsName, machine->platform,
               BranchName(machine->branch));
}

// The sections of the setup log that name the key's hardware ID, its INF
// or a stored copy found to be the key's.
void ShowKeysSetupLog(const Report *report, const Machine *machine)
{
    const char *needles[LOG_NEEDLES];
    int count = 0;

    needles[count++] = DEVICE_HARDWARE_ID;
    if (machine->keyInf)
        needles[count++] = machine->keyInf->name;
    for (int i = 0; i < machine->keyNames->count; ++i)
        needles[count++] = machine->keyNames->names[i];
    ShowSetupLog(report, machine->platform, machine->windowsDir, needles, count);
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
    machine->presenceWord = machine->win9x ? "known to Windows" : "plugged in";
    ReportKeyAndWindows(machine, wow64Branch);
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

// Does this build carry the branch's files? One made with KEYSETUP_ARM64=OFF
// carries none of the Arm64 branch's.
bool BuildCarriesBranch(InstallBranch branch)
{
    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i)
        if (BRANCH_FILES[i].branch == branch && !FindPayloadDigest(BRANCH_FILES[i].type, BRANCH_FILES[i].name + 1))
            return false;
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

int RunKeyCheck(const Report *report, bool withLog)
{
    // Zero-filled, and never part of the program file.
    char *heldText = (char *)VirtualAlloc(NULL, HELD_REPORT_CAPACITY, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    KeyNames keyNames;
    ReportHold hold = {heldText, HELD_REPORT_CAPACITY, 0, 0};
    // Without memory for it, each line goes out as it comes.
    Report held = {report->out, report->quiet, heldText ? &hold : NULL};
    Machine machine;
    InstallFindings findings;
    HMODULE setupapi = NULL;
    int code = CHECK_CANNOT_CHECK;
    bool placesRead = false;

    memset(&machine, 0, sizeof(machine));
    memset(&findings, 0, sizeof(findings));
    memset(&keyNames, 0, sizeof(keyNames));
    machine.report = &held;
    machine.keyNames = &keyNames;
    placesRead = ReadPlaces(&machine);
    // Held for the whole check, so that each INF match finds it mapped.
    if (placesRead)
        setupapi = LoadSetupLibrary();
    if (placesRead && !setupapi)
        ReportLine(&held, "setupapi: missing, the INFs and devices cannot be read");
    if (setupapi && !BuildCarriesBranch(machine.branch)) {
        ReportLine(&held, "driver for this Windows: this build carries none (branch %s)", BranchName(machine.branch));
        code = CHECK_NO_ARM64_DRIVER;
    } else if (setupapi) {
        CheckBranchFiles(&machine, &findings);
        findings.entry = CheckEntry(&machine);
        findings.storeExpected = StoresInfCopies(machine.platform, machine.wow64);
        CheckOemInfs(&machine, &findings);
        CheckDevices(&machine, setupapi, &findings);
        code = JudgeInstallState(&findings);
        // Where Windows keeps a store, the uninstall never deletes a copy
        // that Windows refused while a device held it.
        findings.storeKeepsCopies = HasDriverStore();
        if (code == CHECK_LEFTOVERS && findings.oemInfsDeclaring > 0 && findings.storeKeepsCopies)
            ReportLine(&held, "driver packages stored by Windows: kept by Windows until the uninstall runs again "
                              "after a restart");
    }
    if (setupapi)
        FreeLibrary(setupapi);
    CheckCause cause = CauseOfVerdict(code, &findings);
    ReportLine(report, "%s", SummaryWords(code, cause));
    ReleaseHeldLines(&held);
    if (heldText)
        VirtualFree(heldText, 0, MEM_RELEASE);
    ReportLine(report, "next step: %s", NextStepWords(code, cause));
    ReportLine(report, "verdict: %d %s", code, VerdictWords(code));
    if (withLog && placesRead)
        ShowKeysSetupLog(report, &machine);
    return code;
}
