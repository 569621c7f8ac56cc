#include "machine_reading.h"

#include <string.h>

#include "bounded_string.h"
#include "branch_files.h"
#include "device_removal.h"
#include "inf_match.h"
#include "install_check.h"
#include "payload_digests.h"
#include "platform.h"
#include "setup_library.h"
#include "sha256.h"
#include "system_names.h"

namespace {

typedef DWORD(WINAPI *CmGetDevNodeStatusProc)(PULONG, PULONG, DWORD, ULONG);
typedef BOOL(WINAPI *SetupDiGetDeviceInstanceIdAProc)(HDEVINFO, PSP_DEVINFO_DATA, PSTR, DWORD, PDWORD);

const DWORD CR_SUCCESS_CODE = 0;
const ULONG DN_HAS_PROBLEM_FLAG = 0x00000400;
const DWORD READ_CHUNK = 4096;
const DWORD VALUE_CAPACITY = MAX_PATH + 8;
const size_t LONG_PATH = 2 * MAX_PATH;

const char CLASS_KEY_PATH[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
const char INF_PATH_VALUE[] = "InfPath";
const char INF_DIR[] = "\\inf\\";
const char OEM_INF_PATTERN[] = "\\inf\\oem*.inf";

// What every branch deploys after its own files: the uninstaller, then its
// manifest.
const char *const UNINSTALLER_FILES[] = {UNINSTALLER_FILE_NAME, UNINSTALLER_MANIFEST_NAME};

const char *const FILE_WORDS[] = {"ok", "missing", "other bytes", "not compared"};

struct Machine {
    const Report *report;
    bool wow64;
    bool win9x;
    InstallBranch branch;
    char systemDir[MAX_PATH];
    char windowsDir[MAX_PATH];
    char uninstallerPath[MAX_PATH];
};

// A path of at most LONG_PATH characters from up to three pieces.
bool JoinPath(char *path, const char *first, const char *second, const char *third)
{
    memset(path, 0, LONG_PATH);
    return !BoundedFailed(BoundedCopy(path, LONG_PATH, first)) &&
           !BoundedFailed(BoundedAppend(path, LONG_PATH, second)) &&
           !BoundedFailed(BoundedAppend(path, LONG_PATH, third));
}

// The file's size and digest; false when it cannot be opened or read
// (*exists then tells whether it is there at all).
bool DigestFile(const char *path, bool *exists, DWORD *size, BYTE *digest)
{
    BYTE chunk[READ_CHUNK];
    Sha256State state;
    DWORD got = 0;
    bool read = false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);

    *exists = file != INVALID_HANDLE_VALUE || GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    *size = 0;
    if (file == INVALID_HANDLE_VALUE)
        return false;
    *size = GetFileSize(file, NULL);
    Sha256Begin(&state);
    while (ReadFile(file, chunk, sizeof(chunk), &got, NULL)) {
        if (got == 0) {
            read = true;
            break;
        }
        Sha256Add(&state, chunk, got);
    }
    if (read)
        Sha256End(&state, digest);
    CloseHandle(file);
    return read;
}

const char *TargetDirPath(const Machine *machine, TargetDir dir)
{
    return dir == IN_SYSTEM ? machine->systemDir : machine->windowsDir;
}

const char *TargetSubdir(TargetDir dir)
{
    switch (dir) {
    case IN_DRIVERS: return "\\system32\\drivers";
    case IN_INF: return "\\inf";
    default: return "";
    }
}

// One file (name: backslash first) against this build's digest of it.
void CheckFile(const Machine *machine, TargetDir dir, const char *type, const char *name, InstallFindings *findings)
{
    char path[LONG_PATH];
    BYTE digest[SHA256_DIGEST_SIZE];
    const PayloadDigest *expected = FindPayloadDigest(type, name + 1);
    bool exists = false;
    DWORD size = 0;
    FileState state = FILE_NOT_COMPARED;

    if (JoinPath(path, TargetDirPath(machine, dir), TargetSubdir(dir), name)) {
        bool read = DigestFile(path, &exists, &size, digest);
        state = JudgeFile(exists, read, size, read ? digest : NULL, expected ? expected->size : 0,
                          expected ? expected->sha256 : NULL);
    }
    switch (state) {
    case FILE_OK: ++findings->filesOk; break;
    case FILE_MISSING: ++findings->filesMissing; break;
    case FILE_OTHER_BYTES: ++findings->filesOtherBytes; break;
    default: ++findings->filesNotCompared; break;
    }
    if (name == UNINSTALLER_MANIFEST_NAME)
        findings->manifestPresent = state != FILE_MISSING;
    ReportLine(machine->report, "file: %s %s", path, FILE_WORDS[state]);
}

// The branch's files as the install writes them, the uninstaller's last.
void CheckBranchFiles(const Machine *machine, InstallFindings *findings)
{
    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i)
        if (BRANCH_FILES[i].branch == machine->branch)
            CheckFile(machine, BRANCH_FILES[i].dir, BRANCH_FILES[i].type, BRANCH_FILES[i].name, findings);
    for (size_t i = 0; i < sizeof(UNINSTALLER_FILES) / sizeof(UNINSTALLER_FILES[0]); ++i)
        CheckFile(machine, IN_SYSTEM, TYPE_UNINSTALL, UNINSTALLER_FILES[i], findings);
}

// The uninstall command as the registration writes it.
bool BuildExpectedCommand(char *command, const char *uninstallerPath)
{
    bool quoted = strchr(uninstallerPath, ' ') != NULL;

    memset(command, 0, VALUE_CAPACITY);
    return !BoundedFailed(BoundedCopy(command, VALUE_CAPACITY, quoted ? "\"" : "")) &&
           !BoundedFailed(BoundedAppend(command, VALUE_CAPACITY, uninstallerPath)) &&
           !BoundedFailed(BoundedAppend(command, VALUE_CAPACITY, quoted ? "\" -u" : " -u"));
}

// One value against what it must hold; false unless it holds exactly that.
bool CheckEntryValue(const Machine *machine, HKEY key, const char *name, const char *expected)
{
    char value[VALUE_CAPACITY];
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    LONG status;

    memset(value, 0, sizeof(value));
    status = RegQueryValueExA(key, name, NULL, &type, (BYTE *)value, &size);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        ReportLine(machine->report, "entry value: %s missing", name);
        return false;
    }
    bool same = lstrcmpiA(value, expected) == 0;
    ReportLine(machine->report, "entry value: %s %s: %s", name, same ? "ok" : "other", value);
    return same;
}

// The entry lies where a 32-bit installer wrote it: the 32-bit view.
EntryState CheckEntry(const Machine *machine)
{
    char command[VALUE_CAPACITY];
    HKEY key = NULL;
    REGSAM view = machine->wow64 ? KEY_WOW64_32KEY : 0;
    const char *viewWords = machine->wow64 ? " (32-bit view)" : "";
    EntryState state = ENTRY_OTHER_VALUES;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, KEY_QUERY_VALUE | view, &key);

    if (status == ERROR_FILE_NOT_FOUND) {
        ReportLine(machine->report, "entry: HKLM\\%s%s missing", UNINSTALL_KEY_PATH, viewWords);
        return ENTRY_ABSENT;
    }
    if (status != ERROR_SUCCESS) {
        ReportLine(machine->report, "entry: HKLM\\%s%s cannot be read (error %lu)", UNINSTALL_KEY_PATH, viewWords,
                   (unsigned long)status);
        return ENTRY_UNREADABLE;
    }
    ReportLine(machine->report, "entry: HKLM\\%s%s present", UNINSTALL_KEY_PATH, viewWords);
    bool commandBuilt = BuildExpectedCommand(command, machine->uninstallerPath);
    bool iconOk = CheckEntryValue(machine, key, "DisplayIcon", machine->uninstallerPath);
    bool nameOk = CheckEntryValue(machine, key, "DisplayName", UNINSTALL_DISPLAY_NAME);
    bool commandOk = CheckEntryValue(machine, key, "UninstallString", command);
    if (iconOk && nameOk && commandOk && commandBuilt)
        state = ENTRY_OK;
    RegCloseKey(key);
    return state;
}

void CheckOemInfs(const Machine *machine, InstallFindings *findings)
{
    char pattern[LONG_PATH];
    char path[LONG_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_NOT_FOUND;

    memset(&found, 0, sizeof(found));
    if (JoinPath(pattern, machine->windowsDir, OEM_INF_PATTERN, ""))
        search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        error = GetLastError();
    } else {
        do {
            if (JoinPath(path, machine->windowsDir, INF_DIR, found.cFileName) &&
                InfDeclaresHardwareId(path, DEVICE_HARDWARE_ID) == 1) {
                ++findings->oemInfsDeclaring;
                ReportLine(machine->report, "oem inf: %s declares %s", path, DEVICE_HARDWARE_ID);
            }
        } while (FindNextFileA(search, &found));
        error = GetLastError();
        FindClose(search);
    }
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) {
        findings->cannotRead = true;
        ReportLine(machine->report, "oem infs: cannot be read (error %lu)", (unsigned long)error);
    }
}

struct DeviceFunctions {
    SetupDiGetClassDevsAProc getClassDevs;
    SetupDiEnumDeviceInfoProc enumDeviceInfo;
    SetupDiGetDeviceRegistryPropertyAProc readProperty;
    SetupDiDestroyDeviceInfoListProc destroyList;
    SetupDiGetDeviceInstanceIdAProc getInstanceId; // optional
    CmGetDevNodeStatusProc getStatus;              // optional
};

bool FindDeviceFunctions(HMODULE setupapi, DeviceFunctions *f)
{
    f->getClassDevs = (SetupDiGetClassDevsAProc)FindSetupFunction(setupapi, "SetupDiGetClassDevsA");
    f->enumDeviceInfo = (SetupDiEnumDeviceInfoProc)FindSetupFunction(setupapi, "SetupDiEnumDeviceInfo");
    f->readProperty =
        (SetupDiGetDeviceRegistryPropertyAProc)FindSetupFunction(setupapi, "SetupDiGetDeviceRegistryPropertyA");
    f->destroyList = (SetupDiDestroyDeviceInfoListProc)FindSetupFunction(setupapi, "SetupDiDestroyDeviceInfoList");
    f->getInstanceId =
        (SetupDiGetDeviceInstanceIdAProc)FindSetupFunction(setupapi, "SetupDiGetDeviceInstanceIdA");
    f->getStatus = (CmGetDevNodeStatusProc)FindSetupFunction(setupapi, "CM_Get_DevNode_Status");
    return f->getClassDevs && f->enumDeviceInfo && f->readProperty && f->destroyList;
}

// The INF named by the driver's Class key (the 64-bit view under WOW64,
// where the native device installer wrote it); empty when none is recorded.
void ReadDriverInf(const Machine *machine, const char *driverKey, char *infName)
{
    char keyPath[LONG_PATH];
    HKEY key = NULL;
    DWORD size = MAX_PATH - 1;
    DWORD type = 0;
    REGSAM view = machine->wow64 ? KEY_WOW64_64KEY : 0;

    memset(infName, 0, MAX_PATH);
    if (!JoinPath(keyPath, CLASS_KEY_PATH, driverKey, "") ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return;
    if (RegQueryValueExA(key, INF_PATH_VALUE, NULL, &type, (BYTE *)infName, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        memset(infName, 0, MAX_PATH);
    RegCloseKey(key);
}

// Reports one device with the ID; true when it is present and does not
// use the key's driver.
bool CheckDevice(const Machine *machine, const DeviceFunctions *f, HDEVINFO devices, SP_DEVINFO_DATA *device)
{
    char instanceId[MAX_PATH];
    char driverKey[MAX_PATH];
    char infName[MAX_PATH];
    char infPath[LONG_PATH];
    ULONG status = 0, problem = 0;
    DWORD type = 0;

    memset(instanceId, 0, sizeof(instanceId));
    memset(driverKey, 0, sizeof(driverKey));
    if (!f->getInstanceId || !f->getInstanceId(devices, device, instanceId, sizeof(instanceId) - 1, NULL))
        BoundedCopy(instanceId, sizeof(instanceId), "(instance ID unreadable)");
    if (!f->getStatus) {
        ReportLine(machine->report, "device: %s presence unknown", instanceId);
        return false;
    }
    if (f->getStatus(&status, &problem, device->DevInst, 0) != CR_SUCCESS_CODE) {
        ReportLine(machine->report, "device: %s not present", instanceId);
        return false;
    }
    if (!(status & DN_HAS_PROBLEM_FLAG))
        problem = 0;
    bool hasDriver = f->readProperty(devices, device, SPDRP_DRIVER, &type, (BYTE *)driverKey,
                                     sizeof(driverKey) - 1, NULL) && driverKey[0];
    memset(infName, 0, sizeof(infName));
    if (hasDriver)
        ReadDriverInf(machine, driverKey, infName);
    bool declares = infName[0] && JoinPath(infPath, machine->windowsDir, INF_DIR, infName) &&
                    InfDeclaresHardwareId(infPath, DEVICE_HARDWARE_ID) == 1;
    DriverState driver = JudgeDriver(hasDriver, infName, declares, problem);
    switch (driver) {
    case DRIVER_KEYS: ReportLine(machine->report, "device: %s present, driver %s, the key's", instanceId, infName); break;
    case DRIVER_NONE: ReportLine(machine->report, "device: %s present, driver none", instanceId); break;
    case DRIVER_OTHER_INF:
        ReportLine(machine->report, "device: %s present, driver %s, another INF", instanceId, infName);
        break;
    case DRIVER_PROBLEM:
        ReportLine(machine->report, "device: %s present, problem %lu", instanceId, (unsigned long)problem);
        break;
    default:
        ReportLine(machine->report, "device: %s present, driver %s, no InfPath recorded", instanceId, driverKey);
        break;
    }
    return driver != DRIVER_KEYS && driver != DRIVER_NOT_RECORDED;
}

void WalkDevices(const Machine *machine, const DeviceFunctions *f, HDEVINFO devices, InstallFindings *findings)
{
    SP_DEVINFO_DATA device;

    memset(&device, 0, sizeof(device));
    device.cbSize = sizeof(device);
    for (DWORD index = 0; f->enumDeviceInfo(devices, index, &device); ++index) {
        char *list = NULL;
        DWORD size = 0;
        int read = ReadHardwareIdList(devices, &device, f->readProperty, &list, &size);
        if (read < 0)
            findings->cannotRead = true;
        if (read == 1 && HardwareIdListContains(list, size, DEVICE_HARDWARE_ID)) {
            ++findings->deviceInstances;
            if (CheckDevice(machine, f, devices, &device))
                ++findings->devicesWithoutKeysDriver;
        }
        if (list)
            LocalFree(list);
    }
}

// Windows 98/Me may lack the device functions: the devices are then not
// judged. Elsewhere an unreadable device tree is no answer.
void CheckDevices(const Machine *machine, HMODULE setupapi, InstallFindings *findings)
{
    DeviceFunctions functions;
    HDEVINFO devices = INVALID_HANDLE_VALUE;

    memset(&functions, 0, sizeof(functions));
    if (!FindDeviceFunctions(setupapi, &functions)) {
        if (!machine->win9x)
            findings->cannotRead = true;
        ReportLine(machine->report, "devices: cannot be read (setupapi lacks the device functions)");
        return;
    }
    devices = functions.getClassDevs(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    if (devices == INVALID_HANDLE_VALUE) {
        findings->cannotRead = true;
        ReportLine(machine->report, "devices: cannot be read (error %lu)", (unsigned long)GetLastError());
        return;
    }
    WalkDevices(machine, &functions, devices, findings);
    functions.destroyList(devices);
    ReportLine(machine->report, "devices: %d with %s", findings->deviceInstances, DEVICE_HARDWARE_ID);
}

// The places the check needs; false, reported, when one cannot be read.
bool ReadPlaces(Machine *machine)
{
    PlatformClass platform = GetPlatformClass();

    machine->wow64 = IsRunningUnderWow64();
    machine->win9x = IsWin9xClass(platform);
    machine->branch = ChooseInstallBranch(machine->wow64, machine->win9x);
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
        CheckOemInfs(&machine, &findings);
        CheckDevices(&machine, setupapi, &findings);
        code = JudgeInstallState(&findings);
        FreeLibrary(setupapi);
    }
    ReportLine(report, "verdict: %d %s", code, VerdictWords(code));
    return code;
}
