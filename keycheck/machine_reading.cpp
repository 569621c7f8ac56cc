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
const DWORD CR_NO_SUCH_DEVNODE_CODE = 0x0000000D;
#define CM_STATUS_FUNCTION "CM_Get_DevNode_Status"
const DWORD READ_CHUNK = 4096;
const DWORD VALUE_CAPACITY = MAX_PATH + 8;
const size_t LONG_PATH = 2 * MAX_PATH;

const char CLASS_KEY_PATH[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
// Windows 98/Me: device records and their driver keys.
const char WIN9X_ENUM_KEY_PATH[] = "Enum\\";
const char WIN9X_CLASS_KEY_PATH[] = "System\\CurrentControlSet\\Services\\Class\\";
const char DRIVER_VALUE[] = "Driver";
const char CFGMGR_FILE_NAME[] = "\\cfgmgr32.dll";
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
    PlatformClass platform;
    InstallBranch branch;
    const PayloadDigest *keyInf; // this branch's INF
    const char *presenceWord;    // "present", or "recorded" where presence is not read
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

// What a file in the INF directory is to the key, its bytes against this
// branch's INF; false, reported, when it declares the ID but cannot be read.
bool JudgeStoredInf(const Machine *machine, const char *path, InfKind *kind)
{
    BYTE digest[SHA256_DIGEST_SIZE];
    bool exists = false;
    DWORD size = 0;

    *kind = INF_UNRELATED;
    if (InfDeclaresHardwareId(path, DEVICE_HARDWARE_ID) != 1)
        return true;
    if (!DigestFile(path, &exists, &size, digest)) {
        ReportLine(machine->report, "oem inf: %s declares %s, cannot be read", path, DEVICE_HARDWARE_ID);
        return false;
    }
    *kind = JudgeInf(true, digest, machine->keyInf ? machine->keyInf->sha256 : NULL);
    return true;
}

void CountStoredInf(const Machine *machine, const char *path, InstallFindings *findings)
{
    InfKind kind = INF_UNRELATED;

    if (!JudgeStoredInf(machine, path, &kind)) {
        ++findings->oemInfsDeclaring;
        findings->cannotRead = true;
        return;
    }
    if (kind == INF_UNRELATED)
        return;
    ++findings->oemInfsDeclaring;
    if (kind == INF_THIS_BUILD)
        ++findings->oemInfsThisBuild;
    ReportLine(machine->report, "oem inf: %s declares %s, %s", path, DEVICE_HARDWARE_ID,
               kind == INF_THIS_BUILD ? "this build's" : "another version");
}

// Windows' stored copies of INFs: which declare the ID, and which of those
// hold this build's INF.
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
            if (JoinPath(path, machine->windowsDir, INF_DIR, found.cFileName))
                CountStoredInf(machine, path, findings);
        } while (FindNextFileA(search, &found));
        error = GetLastError();
        FindClose(search);
    }
    findings->infStoreRead = error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    if (!findings->infStoreRead) {
        findings->cannotRead = true;
        ReportLine(machine->report, "oem infs: cannot be read (error %lu)", (unsigned long)error);
    } else if (findings->storeExpected) {
        ReportLine(machine->report, "oem infs: %d of this build's INF, %d of another version",
                   findings->oemInfsThisBuild, findings->oemInfsDeclaring - findings->oemInfsThisBuild);
    }
}

struct DeviceFunctions {
    SetupDiGetClassDevsAProc getClassDevs;
    SetupDiEnumDeviceInfoProc enumDeviceInfo;
    SetupDiGetDeviceRegistryPropertyAProc readProperty;
    SetupDiDestroyDeviceInfoListProc destroyList;
    SetupDiGetDeviceInstanceIdAProc getInstanceId; // optional
    CmGetDevNodeStatusProc getStatus;              // setupapi's, else cfgmgr32's
};

bool FindDeviceFunctions(HMODULE setupapi, HMODULE cfgmgr, DeviceFunctions *f)
{
    f->getClassDevs = (SetupDiGetClassDevsAProc)FindSetupFunction(setupapi, "SetupDiGetClassDevsA");
    f->enumDeviceInfo = (SetupDiEnumDeviceInfoProc)FindSetupFunction(setupapi, "SetupDiEnumDeviceInfo");
    f->readProperty =
        (SetupDiGetDeviceRegistryPropertyAProc)FindSetupFunction(setupapi, "SetupDiGetDeviceRegistryPropertyA");
    f->destroyList = (SetupDiDestroyDeviceInfoListProc)FindSetupFunction(setupapi, "SetupDiDestroyDeviceInfoList");
    f->getInstanceId =
        (SetupDiGetDeviceInstanceIdAProc)FindSetupFunction(setupapi, "SetupDiGetDeviceInstanceIdA");
    f->getStatus = (CmGetDevNodeStatusProc)FindSetupFunction(setupapi, CM_STATUS_FUNCTION);
    if (!f->getStatus && cfgmgr)
        f->getStatus = (CmGetDevNodeStatusProc)(void *)GetProcAddress(cfgmgr, CM_STATUS_FUNCTION);
    return f->getClassDevs && f->enumDeviceInfo && f->readProperty && f->destroyList;
}

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
// opening that key (ERROR_SUCCESS when none was needed).
DriverState JudgeDeviceDriver(const Machine *machine, const char *driverKey, ULONG status, ULONG problem,
                              LONG *opened, InstallFindings *findings)
{
    char infName[MAX_PATH];
    char infPath[LONG_PATH];
    InfKind kind = INF_UNRELATED;

    memset(infName, 0, sizeof(infName));
    *opened = ERROR_SUCCESS;
    if (driverKey[0] && !AwaitsRestart(status, problem))
        *opened = ReadDriverInf(machine, driverKey, infName);
    if (infName[0] && JoinPath(infPath, machine->windowsDir, INF_DIR, infName) &&
        !JudgeStoredInf(machine, infPath, &kind))
        findings->cannotRead = true;
    return JudgeDriver(driverKey[0] != '\0', infName, kind, status, problem);
}

// Reports one device's verdict and counts it.
void CountDevice(const Machine *machine, const char *instanceId, const char *driverKey, ULONG status, ULONG problem,
                 InstallFindings *findings)
{
    const char *presence = machine->presenceWord;
    LONG opened = ERROR_SUCCESS;
    DriverState driver = JudgeDeviceDriver(machine, driverKey, status, problem, &opened, findings);

    switch (driver) {
    case DRIVER_KEYS:
        ReportLine(machine->report, "device: %s %s, driver %s, the key's", instanceId, presence, driverKey);
        return;
    case DRIVER_NONE: ReportLine(machine->report, "device: %s %s, driver none", instanceId, presence); break;
    case DRIVER_OTHER_INF:
        ReportLine(machine->report, "device: %s %s, driver %s, another INF", instanceId, presence, driverKey);
        break;
    case DRIVER_OTHER_VERSION:
        ReportLine(machine->report, "device: %s %s, driver %s, another version", instanceId, presence, driverKey);
        break;
    case DRIVER_PROBLEM:
        ReportLine(machine->report, "device: %s %s, problem %lu", instanceId, presence, (unsigned long)problem);
        break;
    case DRIVER_RESTART_PENDING:
        ++findings->devicesAwaitingRestart;
        ReportLine(machine->report, "device: %s %s, restart needed (status 0x%08lx, problem %lu)", instanceId, presence,
                   (unsigned long)status, (unsigned long)problem);
        return;
    default:
        // Its driver cannot be told: never taken for the key's.
        findings->cannotRead = true;
        if (opened != ERROR_SUCCESS)
            ReportLine(machine->report, "device: %s %s, driver key %s cannot be opened (error %ld)", instanceId,
                       presence, driverKey, (long)opened);
        else
            ReportLine(machine->report, "device: %s %s, driver %s, no InfPath recorded", instanceId, presence,
                       driverKey);
        return;
    }
    ++findings->devicesWithoutKeysDriver;
}

// One device with the ID, seen through setupapi: its presence, then its
// driver.
void CheckDevice(const Machine *machine, const DeviceFunctions *f, HDEVINFO devices, SP_DEVINFO_DATA *device,
                 InstallFindings *findings)
{
    char instanceId[MAX_PATH];
    char driverKey[MAX_PATH];
    ULONG status = 0, problem = 0;
    DWORD type = 0;
    DWORD result = CR_NO_SUCH_DEVNODE_CODE;

    memset(instanceId, 0, sizeof(instanceId));
    memset(driverKey, 0, sizeof(driverKey));
    if (!f->getInstanceId || !f->getInstanceId(devices, device, instanceId, sizeof(instanceId) - 1, NULL))
        BoundedCopy(instanceId, sizeof(instanceId), "(instance ID unreadable)");
    if (f->getStatus)
        result = f->getStatus(&status, &problem, device->DevInst, 0);
    if (!f->getStatus || (result != CR_SUCCESS_CODE && result != CR_NO_SUCH_DEVNODE_CODE)) {
        findings->cannotRead = true;
        ReportLine(machine->report, "device: %s presence cannot be read (%s %lu)", instanceId,
                   f->getStatus ? "error" : "no " CM_STATUS_FUNCTION, (unsigned long)result);
        return;
    }
    if (result == CR_NO_SUCH_DEVNODE_CODE) {
        ReportLine(machine->report, "device: %s not present", instanceId);
        return;
    }
    if (!f->readProperty(devices, device, SPDRP_DRIVER, &type, (BYTE *)driverKey, sizeof(driverKey) - 1, NULL))
        memset(driverKey, 0, sizeof(driverKey));
    CountDevice(machine, instanceId, driverKey, status, problem, findings);
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
            CheckDevice(machine, f, devices, &device, findings);
        }
        if (list)
            LocalFree(list);
    }
}

// Windows 2000 and later: every device of every class, through setupapi;
// presence from CM_Get_DevNode_Status (setupapi's or cfgmgr32's).
void CheckNtDevices(const Machine *machine, HMODULE setupapi, InstallFindings *findings)
{
    DeviceFunctions functions;
    HDEVINFO devices = INVALID_HANDLE_VALUE;
    HMODULE cfgmgr = LoadSystemLibrary(CFGMGR_FILE_NAME);

    memset(&functions, 0, sizeof(functions));
    if (!FindDeviceFunctions(setupapi, cfgmgr, &functions)) {
        findings->cannotRead = true;
        ReportLine(machine->report, "devices: cannot be read (setupapi lacks the device functions)");
    } else {
        devices = functions.getClassDevs(NULL, NULL, NULL, DIGCF_ALLCLASSES);
        if (devices == INVALID_HANDLE_VALUE) {
            findings->cannotRead = true;
            ReportLine(machine->report, "devices: cannot be read (error %lu)", (unsigned long)GetLastError());
        } else {
            WalkDevices(machine, &functions, devices, findings);
            functions.destroyList(devices);
        }
    }
    if (cfgmgr)
        FreeLibrary(cfgmgr);
}

// One recorded instance under HKLM\Enum\<hardware ID> on Windows 98/Me:
// its "Driver" value names its driver key under Services\Class.
void CheckWin9xDevice(const Machine *machine, HKEY devicesKey, const char *instance, InstallFindings *findings)
{
    char instanceId[LONG_PATH];
    char driverKey[MAX_PATH];
    HKEY key = NULL;
    DWORD size = sizeof(driverKey) - 1;
    DWORD type = 0;

    memset(driverKey, 0, sizeof(driverKey));
    ++findings->deviceInstances;
    JoinPath(instanceId, DEVICE_HARDWARE_ID, "\\", instance);
    if (RegOpenKeyExA(devicesKey, instance, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        findings->cannotRead = true;
        ReportLine(machine->report, "device: %s cannot be read", instanceId);
        return;
    }
    if (RegQueryValueExA(key, DRIVER_VALUE, NULL, &type, (BYTE *)driverKey, &size) != ERROR_SUCCESS || type != REG_SZ)
        memset(driverKey, 0, sizeof(driverKey));
    RegCloseKey(key);
    CountDevice(machine, instanceId, driverKey, 0, 0, findings);
}

// Windows 98/Me keep a record of every device ever seen under HKLM\Enum,
// plugged in or not (the install's reset clears the key's): each is judged
// by the driver it has or will get.
void CheckWin9xDevices(const Machine *machine, InstallFindings *findings)
{
    char keyPath[LONG_PATH];
    char instance[MAX_PATH];
    HKEY devicesKey = NULL;
    LONG status = ERROR_BAD_PATHNAME;

    if (JoinPath(keyPath, WIN9X_ENUM_KEY_PATH, DEVICE_HARDWARE_ID, ""))
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ENUMERATE_SUB_KEYS, &devicesKey);
    if (status == ERROR_FILE_NOT_FOUND)
        return;
    if (status != ERROR_SUCCESS) {
        findings->cannotRead = true;
        ReportLine(machine->report, "devices: HKLM\\%s cannot be read (error %ld)", keyPath, (long)status);
        return;
    }
    for (DWORD index = 0;; ++index) {
        memset(instance, 0, sizeof(instance));
        status = RegEnumKeyA(devicesKey, index, instance, sizeof(instance) - 1);
        if (status != ERROR_SUCCESS)
            break;
        CheckWin9xDevice(machine, devicesKey, instance, findings);
    }
    if (status != ERROR_NO_MORE_ITEMS) {
        findings->cannotRead = true;
        ReportLine(machine->report, "devices: HKLM\\%s cannot be read (error %ld)", keyPath, (long)status);
    }
    RegCloseKey(devicesKey);
}

void CheckDevices(const Machine *machine, HMODULE setupapi, InstallFindings *findings)
{
    if (machine->win9x)
        CheckWin9xDevices(machine, findings);
    else
        CheckNtDevices(machine, setupapi, findings);
    ReportLine(machine->report, "devices: %d with %s", findings->deviceInstances, DEVICE_HARDWARE_ID);
}

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
        // Where Windows keeps a store, the uninstall never deletes a copy
        // that Windows refused while a device held it.
        if (code == CHECK_LEFTOVERS && findings.oemInfsDeclaring > 0 && HasDriverStore())
            ReportLine(report, "oem infs: kept by Windows until the uninstall runs again after a restart");
        FreeLibrary(setupapi);
    }
    ReportLine(report, "verdict: %d %s", code, VerdictWords(code));
    return code;
}
