// End to end on one emulated Windows: the built keysetup.exe installs on a
// system where the key is plugged in and a stale copy of its INF lies in
// the INF directory; then the uninstall runs either as Windows starts it
// (the registered "UninstallString", as a command line) or as
// "keysetup.exe uninstall". The files under C:\ and HKEY_LOCAL_MACHINE are
// snapshotted before the install, after it and after the uninstall; each
// difference must be a row of the footprint table in docs/footprint.md and
// each row of the branch must have happened.
//
// Environment (set by tests/proof.cmake): PROOF_WINDOWS the Windows to
// emulate ("win95", ..., "win10"); FOOTPRINT_DOC the footprint document.
// Each run wants a fresh prefix: tests/wine/prefix.sh (run) gives it a copy.
#include <gtest/gtest.h>

#include <windows.h>
#include <newdev.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "footprint_table.h"
#include "inf_files.h"
#include "installed_state.h"
#include "newdev_double.h"
#include "payload_resources.h"
#include "system_names.h"
#include "system_snapshot.h"
#include "test_devices.h"
#include "wine_test.h"

namespace {

struct WindowsCase {
    const char *version; // Wine's name for it
    const char *branch;  // on 32-bit Windows; every one is Wow64 on 64-bit
    bool hasNewdev;      // Windows 95 and NT 4 have no newdev.dll
};

const WindowsCase WINDOWS_CASES[] = {
    {"win95", "Nt32", false}, {"win98", "Win9x", true},  {"winme", "Win9x", true},  {"nt40", "Nt32", false},
    {"win2k", "Nt32", true},  {"winxp", "Nt32", true},   {"win2003", "Nt32", true}, {"vista", "Nt32", true},
    {"win7", "Nt32", true},   {"win10", "Nt32", true},
};
const char WOW64_BRANCH[] = "Wow64";

// Left out of every snapshot, with all below it:
const char *const NOT_SNAPSHOTTED[] = {
    // The per-user profiles: where this test keeps its scratch directory
    // (the emulated installer's copy, the newdev double's log). Per-user
    // registry keys (HKCU, where Wine keeps its version emulation) are not
    // snapshotted at all: only HKLM is.
    "C:\\users",
};

const char KEY_DEVICE[] = "KSPROOFKEY";
const char OTHER_DEVICE[] = "KSPROOFOTHER";
const char ENUM_ROOT[] = "HKLM\\System\\CurrentControlSet\\Enum\\";
// The stale copy of the key's INF that an earlier install left, and another
// device's copy that names the key's ID only as a compatible ID.
const char STALE_COPY[] = "oem71";
const char FOREIGN_COPY[] = "oem72";
// The Windows 98/Me driver database and device record that the Win9x
// reset deletes; planted on every Windows, so that the others show they
// leave them. Wine, like NT, deletes no key with subkeys: none is planted.
const char *const DATABASE_FILES[] = {"\\inf\\DRVDATA.BIN", "\\inf\\DRVIDX.BIN"};
const char WIN9X_ENUM_KEY[] = "Enum\\USB\\VID_FE17&PID_0101";

const char UNINSTALLER_PROGRAM[] = "QV_DRVUNI.exe";
const DWORD LAUNCH_WAIT_MS = 30000;

enum UninstallWay { REGISTERED_COMMAND, KEYSETUP_UNINSTALL_MODE };

std::string Environment(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

const WindowsCase *FindWindowsCase(const std::string &version)
{
    for (size_t i = 0; i < sizeof(WINDOWS_CASES) / sizeof(WINDOWS_CASES[0]); ++i)
        if (version == WINDOWS_CASES[i].version)
            return &WINDOWS_CASES[i];
    return NULL;
}


std::string LowerCase(std::string text)
{
    if (!text.empty())
        CharLowerBuffA(&text[0], (DWORD)text.size());
    return text;
}

// What the test planted and what it resolves the document's names with.
struct ProofState {
    std::string branch;
    bool hasNewdev;
    std::string scratch, installerName, installerPath, log;
    std::vector<std::string> placeholderNames, placeholderValues;
    // Planted files the uninstall purge is to delete: the stale copy and its
    // twin.
    std::vector<std::string> staleFiles;
    std::vector<std::string> plantedFiles;
    std::string keyDevice, otherDevice;
};

std::string Expand(const ProofState &state, const std::string &text)
{
    return ExpandPlaceholders(text, state.placeholderNames, state.placeholderValues);
}

// The change at path (case-insensitive) of that kind, a link key counting
// as a key, or NULL.
const SnapshotChange *FindChange(const std::vector<SnapshotChange> &changes, const std::string &path,
                                 SnapshotKind kind, size_t *index)
{
    for (size_t i = 0; i < changes.size(); ++i) {
        SnapshotKind changed = ChangedKind(changes[i]);
        bool sameFamily = changed == kind || (kind == ENTRY_KEY && changed == ENTRY_LINK_KEY);
        if (sameFamily && SamePath(ChangedPath(changes[i]), path)) {
            *index = i;
            return &changes[i];
        }
    }
    return NULL;
}

// Marks the change at path as explained; fails when there is none, or when
// it is a removal where an addition or modification is due, or the reverse.
void Explain(const std::vector<SnapshotChange> &changes, std::vector<bool> *explained, const FootprintRow &row,
             const std::string &path, SnapshotKind kind, bool addedOrModified)
{
    size_t index = 0;
    const SnapshotChange *change = FindChange(changes, path, kind, &index);

    if (!change) {
        ADD_FAILURE() << "not done: " << DescribeRow(row) << ": no change at " << path;
        return;
    }
    (*explained)[index] = true;
    bool typeFits = addedOrModified ? change->type != CHANGE_REMOVED : change->type == CHANGE_REMOVED;
    EXPECT_TRUE(typeFits) << DescribeRow(row) << ": " << DescribeChange(*change);
}

// Every removal at or below path is part of the row's deletion.
void ExplainRemovalsBelow(const std::vector<SnapshotChange> &changes, std::vector<bool> *explained,
                          const std::string &path)
{
    for (size_t i = 0; i < changes.size(); ++i)
        if (changes[i].type == CHANGE_REMOVED && PathAtOrBelow(ChangedPath(changes[i]), path))
            (*explained)[i] = true;
}

void CheckWrittenFile(const FootprintRow &row, const std::string &path)
{
    char type[32] = {0};
    unsigned id = 0;

    ASSERT_EQ(2, sscanf(row.content.c_str(), "%31s %u", type, &id)) << DescribeRow(row);
    std::string expected = KeysetupPayloadBytes(type, (WORD)id);
    ASSERT_FALSE(expected.empty()) << DescribeRow(row) << ": keysetup.exe carries no " << row.content;
    EXPECT_TRUE(ReadBytes(path) == expected) << DescribeRow(row) << ": " << path << " does not hold " << row.content;
}

void CheckWrittenValue(const std::vector<SnapshotChange> &changes, const FootprintRow &row,
                       const ProofState &state, const std::string &path)
{
    const char SZ_PREFIX[] = "REG_SZ ";
    const char DWORD_PREFIX[] = "REG_DWORD ";
    size_t index = 0;
    const SnapshotChange *change = FindChange(changes, path, ENTRY_VALUE, &index);

    if (!change)
        return; // Explain has reported it
    if (row.content.find(DWORD_PREFIX) == 0) {
        DWORD number = strtoul(row.content.c_str() + sizeof(DWORD_PREFIX) - 1, NULL, 10);
        EXPECT_EQ((DWORD)REG_DWORD, change->after.type) << DescribeRow(row);
        EXPECT_TRUE(change->after.data == std::string((const char *)&number, sizeof(number)))
            << DescribeRow(row) << ": " << DescribeChange(*change);
        return;
    }
    ASSERT_EQ(0u, row.content.find(SZ_PREFIX)) << DescribeRow(row);
    std::string text = Expand(state, row.content.substr(sizeof(SZ_PREFIX) - 1));
    // The NUL is counted in the data; RegSetValueExA would add a forgotten
    // one itself, so this shows the text, not how the program sized it.
    EXPECT_EQ((DWORD)REG_SZ, change->after.type) << DescribeRow(row);
    EXPECT_TRUE(change->after.data == text + std::string(1, '\0'))
        << DescribeRow(row) << ": " << DescribeChange(*change);
}

// The planted files a pattern row ("oem*.inf", "oem*.pnf") is about.
std::vector<std::string> StaleFilesMatching(const ProofState &state, const std::string &pattern)
{
    std::vector<std::string> matching;
    size_t slash = pattern.rfind('\\');
    std::string directory = pattern.substr(0, slash);
    std::string namePattern = pattern.substr(slash + 1);

    for (size_t i = 0; i < state.staleFiles.size(); ++i) {
        size_t fileSlash = state.staleFiles[i].rfind('\\');
        if (SamePath(state.staleFiles[i].substr(0, fileSlash), directory) &&
            MatchesPattern(state.staleFiles[i].substr(fileSlash + 1), namePattern))
            matching.push_back(state.staleFiles[i]);
    }
    return matching;
}

void ExplainDeviceRemoval(const std::vector<SnapshotChange> &changes, std::vector<bool> *explained,
                          const FootprintRow &row, const ProofState &state)
{
    std::string instanceKey = ENUM_ROOT + state.keyDevice;
    // Wine also deletes the device name's key once its last instance goes.
    std::string nameKey = instanceKey.substr(0, instanceKey.rfind('\\'));
    size_t index = 0;

    EXPECT_FALSE(DeviceInstanceExists(state.keyDevice)) << DescribeRow(row);
    EXPECT_TRUE(DeviceInstanceExists(state.otherDevice)) << state.otherDevice << " lists the ID only as compatible";
    Explain(changes, explained, row, instanceKey, ENTRY_KEY, false);
    ExplainRemovalsBelow(changes, explained, instanceKey);
    const SnapshotChange *parent = FindChange(changes, nameKey, ENTRY_KEY, &index);
    if (parent && parent->type == CHANGE_REMOVED)
        (*explained)[index] = true;
}

// One row against the differences of its step.
void ExplainRow(const std::vector<SnapshotChange> &changes, std::vector<bool> *explained, const FootprintRow &row,
                const ProofState &state)
{
    std::string path = Expand(state, row.path);

    if (row.object == "file" && row.change == "written") {
        Explain(changes, explained, row, path, ENTRY_FILE, true);
        CheckWrittenFile(row, path);
    } else if (row.object == "file" && row.change == "deleted" && path.find('*') != std::string::npos) {
        std::vector<std::string> stale = StaleFilesMatching(state, path);
        EXPECT_FALSE(stale.empty()) << DescribeRow(row) << ": nothing planted that it is about";
        for (size_t i = 0; i < stale.size(); ++i)
            Explain(changes, explained, row, stale[i], ENTRY_FILE, false);
    } else if (row.object == "file" && row.change == "deleted") {
        Explain(changes, explained, row, path, ENTRY_FILE, false);
    } else if (row.object == "file" && row.change == "kept") {
        size_t index = 0;
        EXPECT_TRUE(FileExists(path)) << DescribeRow(row);
        const SnapshotChange *change = FindChange(changes, path, ENTRY_FILE, &index);
        EXPECT_TRUE(change == NULL) << DescribeRow(row) << ": " << (change ? DescribeChange(*change) : "");
    } else if (row.object == "key" && row.change == "created") {
        Explain(changes, explained, row, path, ENTRY_KEY, true);
    } else if (row.object == "key" && row.change == "deleted") {
        Explain(changes, explained, row, path, ENTRY_KEY, false);
        ExplainRemovalsBelow(changes, explained, path);
    } else if (row.object == "value" && row.change == "written") {
        Explain(changes, explained, row, path, ENTRY_VALUE, true);
        CheckWrittenValue(changes, row, state, path);
    } else if (row.object == "device" && row.change == "removed") {
        ExplainDeviceRemoval(changes, explained, row, state);
    } else if (row.object != "call" && row.object != "program") {
        ADD_FAILURE() << "the test does not know " << DescribeRow(row);
    }
}

// The differences of one step are exactly its rows.
void ExpectFootprint(const std::vector<FootprintRow> &rows, const Snapshot &before, const Snapshot &after,
                     const ProofState &state, int line)
{
    SCOPED_TRACE(line);
    std::vector<SnapshotChange> changes = DiffSnapshots(before, after);
    std::vector<bool> explained(changes.size(), false);

    ASSERT_FALSE(rows.empty());
    for (size_t i = 0; i < rows.size(); ++i)
        ExplainRow(changes, &explained, rows[i], state);
    for (size_t i = 0; i < changes.size(); ++i)
        EXPECT_TRUE(explained[i]) << "not in the footprint of " << state.branch << " " << rows[0].step << ": "
                                  << DescribeChange(changes[i]);
}

// "a, b, c" as its parts.
std::vector<std::string> SplitArguments(const std::string &text)
{
    std::vector<std::string> parts;
    size_t start = 0;

    for (size_t comma = text.find(", "); comma != std::string::npos; comma = text.find(", ", start)) {
        parts.push_back(text.substr(start, comma - start));
        start = comma + 2;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<FootprintRow> RowsWithObject(const std::vector<FootprintRow> &rows, const char *object)
{
    std::vector<FootprintRow> selected;

    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].object == object)
            selected.push_back(rows[i]);
    return selected;
}

// The newdev.dll calls of the step: none where the Windows has no newdev.dll.
std::vector<FootprintRow> CallRows(const std::vector<FootprintRow> &rows, const ProofState &state)
{
    return state.hasNewdev ? RowsWithObject(rows, "call") : std::vector<FootprintRow>();
}

// The install flags a call row names, "INSTALLFLAG_FORCE | ...", as their
// value; a name not known here fails the row.
unsigned long InstallFlagsNamed(const std::string &text)
{
    struct NamedFlag {
        const char *name;
        unsigned long value;
    };
    const NamedFlag flags[] = {{"INSTALLFLAG_FORCE", INSTALLFLAG_FORCE},
                               {"INSTALLFLAG_READONLY", INSTALLFLAG_READONLY},
                               {"INSTALLFLAG_NONINTERACTIVE", INSTALLFLAG_NONINTERACTIVE}};
    std::string rest = text;
    unsigned long value = 0;

    for (size_t i = 0; i < sizeof(flags) / sizeof(flags[0]); ++i) {
        size_t at = rest.find(flags[i].name);
        if (at != std::string::npos) {
            value |= flags[i].value;
            rest.erase(at, strlen(flags[i].name));
        }
    }
    EXPECT_EQ(std::string::npos, rest.find_first_not_of(" |")) << "unknown install flag in " << text;
    return value;
}

// The calls the double logged are the branch's call rows, in order, and
// the program row names the process that made the 64-bit one.
void ExpectCalls(const std::vector<FootprintRow> &rows, const std::vector<NewdevCall> &calls,
                 const ProofState &state, int line)
{
    SCOPED_TRACE(line);
    std::vector<FootprintRow> callRows = CallRows(rows, state);
    std::vector<FootprintRow> programRows = RowsWithObject(rows, "program");

    ASSERT_EQ(callRows.size(), calls.size()) << "calls of newdev.dll";
    for (size_t i = 0; i < callRows.size(); ++i) {
        std::vector<std::string> arguments = SplitArguments(Expand(state, callRows[i].content));
        int bits = callRows[i].path.find("64-bit") != std::string::npos ? 64 : 32;
        ASSERT_EQ(3u, arguments.size()) << DescribeRow(callRows[i]);
        EXPECT_EQ(arguments[0], calls[i].hardwareId) << DescribeRow(callRows[i]);
        EXPECT_TRUE(SamePath(arguments[1], calls[i].infPath)) << DescribeRow(callRows[i]) << ": " << calls[i].infPath;
        EXPECT_EQ(InstallFlagsNamed(arguments[2]), calls[i].flags) << DescribeRow(callRows[i]);
        EXPECT_EQ(bits, calls[i].bits) << DescribeRow(callRows[i]);
    }
    for (size_t i = 0; i < programRows.size(); ++i) {
        std::string command = LowerCase(Expand(state, programRows[i].path));
        std::string program = command.substr(0, command.rfind(' '));
        std::string arguments = command.substr(command.rfind(' '));
        bool found = false;
        for (size_t c = 0; c < calls.size(); ++c) {
            std::string caller = LowerCase(calls[c].commandLine);
            found = found || (caller.find(program) != std::string::npos && caller.size() >= arguments.size() &&
                              caller.compare(caller.size() - arguments.size(), arguments.size(), arguments) == 0);
        }
        EXPECT_TRUE(found) << DescribeRow(programRows[i]) << ": no call from that process";
    }
}

SnapshotScope ProofScope()
{
    SnapshotScope scope;

    scope.directories.push_back("C:");
    scope.registry = true;
    for (size_t i = 0; i < sizeof(NOT_SNAPSHOTTED) / sizeof(NOT_SNAPSHOTTED[0]); ++i)
        scope.excluded.push_back(NOT_SNAPSHOTTED[i]);
    return scope;
}

void Snap(const Snapshot *previous, Snapshot *snapshot, int line)
{
    std::string reason;
    ASSERT_TRUE(TakeSnapshot(ProofScope(), previous, snapshot, &reason)) << "line " << line << ": " << reason;
}

// Waits until the 64-bit calls' processes (DrvInst64.exe) have ended, so
// that nothing still runs when the system is snapshotted.
void WaitForLaunchedProcesses(const std::vector<NewdevCall> &calls)
{
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].bits != 64)
            continue;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, calls[i].processId);
        if (process) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, ScaledTimeout(LAUNCH_WAIT_MS))) << "DrvInst64.exe still runs";
            CloseHandle(process);
        }
    }
}

// The snapshot sees what the test planted, and under WOW64 the real
// system32, where the 64-bit double lies, rather than syswow64 under its
// name.
void ExpectPlantedSeen(const Snapshot &before, const ProofState &state, int line)
{
    SCOPED_TRACE(line);
    for (size_t i = 0; i < state.plantedFiles.size(); ++i)
        EXPECT_TRUE(FindSnapshotEntry(before, ENTRY_FILE, state.plantedFiles[i]) != NULL) << state.plantedFiles[i];
    EXPECT_TRUE(FindSnapshotEntry(before, ENTRY_KEY, ENUM_ROOT + state.keyDevice) != NULL) << state.keyDevice;
    EXPECT_TRUE(FindSnapshotEntry(before, ENTRY_KEY, std::string("HKLM\\") + WIN9X_ENUM_KEY) != NULL);
    if (UnderWow64()) {
        const SnapshotEntry *newdev64 = FindSnapshotEntry(before, ENTRY_FILE, WindowsDir() + "\\system32\\newdev.dll");
        ASSERT_TRUE(newdev64 != NULL);
        EXPECT_EQ(ReadBytes(NewdevDoublePath(NEWDEV_64)).size(), newdev64->size);
    }
}

// Each step's end, in the output: an entry's time varies by several seconds
// from run to run, and this says in which step.
void LogStep(const char *step, DWORD started)
{
    std::cout << "  " << step << " done after " << GetTickCount() - started << " ms\n";
}

// The first snapshot reuses what the first run from the same pristine
// prefix stored of its own (PROOF_FIRST_SNAPSHOT): every copy starts with
// the same files and keys, and whatever a run changed shows in its times.
void FirstSnap(Snapshot *before)
{
    std::string stored = Environment("PROOF_FIRST_SNAPSHOT");
    Snapshot previous;
    bool reuse = !stored.empty() && LoadSnapshot(WindowsPath(stored), &previous);

    Snap(reuse ? &previous : NULL, before, __LINE__);
    std::cout << "  first snapshot " << (reuse ? "reused a stored one" : "walked everything") << "\n";
    if (!reuse && !stored.empty()) {
        EXPECT_TRUE(SaveSnapshot(*before, WindowsPath(stored))) << stored;
    }
}

class EndToEnd : public ::testing::Test {
protected:
    ProofState state;
    std::vector<FootprintRow> rows;

    void SetUp() override
    {
        std::string version = Environment("PROOF_WINDOWS");
        const WindowsCase *windowsCase = FindWindowsCase(version);
        ASSERT_TRUE(windowsCase != NULL) << "PROOF_WINDOWS=" << version;
        ASSERT_TRUE(NativeNewdevOverrideSet());
        std::string reason;
        ASSERT_TRUE(ReadFootprintTable(WindowsPath(Environment("FOOTPRINT_DOC")), &rows, &reason)) << reason;

        state.branch = UnderWow64() ? WOW64_BRANCH : windowsCase->branch;
        state.hasNewdev = windowsCase->hasNewdev;
        state.scratch = MakeScratchDir("proof");
        state.installerName = std::string("ks_") + version + ".exe";
        state.installerPath = CopyProgram("keysetup.exe", state.scratch, state.installerName);
        SetEmulatedVersion(state.installerName, version.c_str());
        // Wine emulates a Windows per program name: the deployed uninstaller,
        // started by its own name, needs the setting too.
        SetEmulatedVersion(UNINSTALLER_PROGRAM, version.c_str());
        state.log = state.scratch + "\\newdev.log";
        const char *names[] = {"System", "Windows", "Software"};
        std::string software = UnderWow64() ? "HKLM\\SOFTWARE\\Wow6432Node" : "HKLM\\SOFTWARE";
        std::string values[] = {InstallSystemDir(), WindowsDir(), software};
        state.placeholderNames.assign(names, names + 3);
        state.placeholderValues.assign(values, values + 3);
        PlaceNewdev();
        PlantSystem();
        KeepOverwritten();
    }

    void TearDown() override
    {
        PutBackOverwritten();
        RemoveTestDevices(KEY_DEVICE);
        RemoveTestDevices(OTHER_DEVICE);
        for (size_t i = 0; i < state.plantedFiles.size(); ++i) {
            SetFileAttributesA(state.plantedFiles[i].c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(state.plantedFiles[i].c_str());
        }
        // The record, then its parents where the planting created them (a
        // key with subkeys is not deleted).
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, WIN9X_ENUM_KEY);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\USB");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);
        RestoreSystemNewdev(NEWDEV_32);
        if (UnderWow64())
            RestoreSystemNewdev(NEWDEV_64);
        ClearNewdevDoubleEnvironment();
        SetEmulatedVersion(state.installerName, "");
        SetEmulatedVersion(UNINSTALLER_PROGRAM, "");
        RemoveTree(state.scratch);
    }

    // The double where the Windows has newdev.dll, none where it has not.
    void PlaceNewdev()
    {
        SetNewdevDoubleLog(state.log);
        SetNewdevDoubleResult("ok"); // the key is plugged in
        if (state.hasNewdev) {
            ASSERT_TRUE(InstallNewdevDouble(NEWDEV_32));
        } else {
            ASSERT_TRUE(RemoveSystemNewdev(NEWDEV_32));
        }
        if (UnderWow64()) {
            ASSERT_TRUE(InstallNewdevDouble(NEWDEV_64));
        }
    }

    void PlantFile(const std::string &path, const std::string &bytes, bool stale)
    {
        ASSERT_FALSE(FileExists(path)) << path << " in a fresh prefix";
        ASSERT_TRUE(WriteBytes(path, bytes)) << path;
        state.plantedFiles.push_back(path);
        if (stale)
            state.staleFiles.push_back(path);
    }

    // An installed system with the key plugged in: the key's device, another
    // device, Windows' stale copy of the key's INF beside another one, and
    // the Windows 98/Me database files and device record.
    void PlantSystem()
    {
        std::string keyInf = KeysetupPayloadBytes(PAYLOAD_FILES[UnderWow64() ? WOW64_PAYLOAD : NT32_PAYLOAD]);
        ASSERT_FALSE(keyInf.empty());
        PlantFile(InfDir() + STALE_COPY + ".inf", keyInf, true);
        PlantFile(InfDir() + STALE_COPY + ".pnf", "precompiled", true);
        ASSERT_TRUE(WriteInfUtf16(InfDir() + FOREIGN_COPY + ".inf", FOREIGN_INF_TEXT));
        state.plantedFiles.push_back(InfDir() + FOREIGN_COPY + ".inf");
        PlantFile(InfDir() + FOREIGN_COPY + ".pnf", "precompiled", false);
        for (size_t i = 0; i < 2; ++i)
            PlantFile(WindowsDir() + DATABASE_FILES[i], "database", false);
        SetFileAttributesA((WindowsDir() + DATABASE_FILES[0]).c_str(), FILE_ATTRIBUTE_READONLY);

        HKEY key = NULL;
        const char record[] = "USB\\VID_FE17&PID_0101";
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, WIN9X_ENUM_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                                 &key, NULL));
        RegSetValueExA(key, "HardwareID", 0, REG_SZ, (const BYTE *)record, sizeof(record));
        RegCloseKey(key);

        state.keyDevice = CreateTestDevice(KEY_DEVICE, MultiSz({"ROOT\\KSPROOFKEY", DEVICE_HARDWARE_ID}));
        state.otherDevice = CreateTestDevice(OTHER_DEVICE, MultiSz({"USB\\VID_1234&PID_0001"}),
                                             MultiSz({DEVICE_HARDWARE_ID}));
        ASSERT_FALSE(state.keyDevice.empty());
        ASSERT_FALSE(state.otherDevice.empty());
    }

    // Files of this Windows that the install writes over (Windows 98/Me's
    // newdev.dll and WinSCard.dll), kept beside them.
    void KeepOverwritten()
    {
        std::vector<FootprintRow> install = RowsOf(rows, state.branch, "install");
        for (size_t i = 0; i < install.size(); ++i) {
            std::string path = Expand(state, install[i].path);
            if (install[i].object == "file" && install[i].change == "written" && FileExists(path)) {
                ASSERT_TRUE(KeepSystemFile(path)) << path;
            }
        }
    }

    // Deletes what the install added and puts back what it overwrote.
    void PutBackOverwritten()
    {
        std::vector<FootprintRow> install = RowsOf(rows, state.branch, "install");
        for (size_t i = 0; i < install.size(); ++i) {
            std::string path = Expand(state, install[i].path);
            if (install[i].object == "file" && install[i].change == "written") {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
                RestoreSystemFile(path);
            }
        }
    }

    void Run(UninstallWay way)
    {
        std::vector<FootprintRow> install = RowsOf(rows, state.branch, "install");
        std::vector<FootprintRow> uninstall = RowsOf(rows, state.branch, "uninstall");
        Snapshot before, installed, uninstalled;

        DWORD started = GetTickCount();
        FirstSnap(&before);
        LogStep("first snapshot", started);
        ExpectPlantedSeen(before, state, __LINE__);
        ASSERT_EQ(0u, RunProgram(Quoted(state.installerPath)));
        std::vector<NewdevCall> calls = WaitForNewdevCalls(state.log, CallRows(install, state).size(),
                                                           LAUNCH_WAIT_MS);
        WaitForLaunchedProcesses(calls);
        LogStep("install", started);
        Snap(&before, &installed, __LINE__);
        LogStep("second snapshot", started);
        ExpectFootprint(install, before, installed, state, __LINE__);
        ExpectCalls(install, ReadNewdevCalls(state.log), state, __LINE__);

        if (way == REGISTERED_COMMAND) {
            std::string command = UninstallEntryValue("UninstallString");
            ASSERT_FALSE(command.empty());
            EXPECT_EQ(0u, RunProgram(command)) << command;
        } else {
            EXPECT_EQ(0u, RunProgram("\"" + state.installerPath + "\" uninstall"));
        }
        LogStep("uninstall", started);
        Snap(&installed, &uninstalled, __LINE__);
        LogStep("third snapshot", started);
        ExpectFootprint(uninstall, installed, uninstalled, state, __LINE__);
        EXPECT_EQ(calls.size(), ReadNewdevCalls(state.log).size()) << "the uninstall called newdev.dll";
    }
};

TEST_F(EndToEnd, RegisteredUninstallCommand)
{
    Run(REGISTERED_COMMAND);
}

TEST_F(EndToEnd, KeysetupUninstallMode)
{
    Run(KEYSETUP_UNINSTALL_MODE);
}

// The table itself: every file an install writes is either deleted or kept
// by the uninstall of the same branch, so that "what stays" is complete.
TEST(FootprintTable, EveryWrittenFileIsDeletedOrKeptByTheUninstall)
{
    std::vector<FootprintRow> rows;
    std::string reason;
    ASSERT_TRUE(ReadFootprintTable(WindowsPath(Environment("FOOTPRINT_DOC")), &rows, &reason)) << reason;
    const char *branches[] = {"Nt32", "Win9x", "Wow64"};

    for (size_t b = 0; b < 3; ++b) {
        std::vector<FootprintRow> install = RowsOf(rows, branches[b], "install");
        std::vector<FootprintRow> uninstall = RowsOf(rows, branches[b], "uninstall");
        EXPECT_FALSE(install.empty()) << branches[b];
        for (size_t i = 0; i < install.size(); ++i) {
            if (install[i].object != "file" || install[i].change != "written")
                continue;
            int fates = 0;
            for (size_t u = 0; u < uninstall.size(); ++u)
                if (uninstall[u].object == "file" && uninstall[u].path == install[i].path &&
                    (uninstall[u].change == "deleted" || uninstall[u].change == "kept"))
                    ++fates;
            EXPECT_EQ(1, fates) << branches[b] << ": " << DescribeRow(install[i]);
        }
    }
}

} // namespace
