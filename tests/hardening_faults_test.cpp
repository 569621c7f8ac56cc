// Both programs through the failures they must absorb, under Wine: each
// run ends with exit code 0 and changes nothing but the files, keys and
// devices its branch is there to change.
#include <gtest/gtest.h>

#include <windows.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "inf_files.h"
#include "installed_state.h"
#include "payload_resources.h"
#include "newdev_double.h"
#include "process_env.h"
#include "resource_ids.h"
#include "system_names.h"
#include "system_snapshot.h"
#include "test_devices.h"
#include "wine_test.h"

namespace {

const DWORD OVERWRITE_PAUSE_MS = 500;
// Last write times are kept at the file system's granularity (a few ms).
const DWORD PAUSE_SEEN_MS = 480;
const char UNINSTALL_ROOT[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char DEVICE_KEYS[] = "System\\CurrentControlSet\\Enum\\ROOT";
const char ENUM_ROOT[] = "HKLM\\System\\CurrentControlSet\\Enum\\";
const char CATALOGUE_NAME[] = "ziviriz.cat";

// The uninstall entry: its key and every value in it.
std::vector<std::string> EntryItems()
{
    std::string key = std::string("HKLM\\") + UNINSTALL_KEY_PATH;
    std::vector<std::string> items;
    items.push_back(key);
    items.push_back(key + "\\*");
    return items;
}

// A test device's registry keys: Wine deletes its name's key too once its
// last instance goes.
void AllowDevice(std::vector<std::string> *allowed, const std::string &instanceId)
{
    std::string nameKey = ENUM_ROOT + instanceId.substr(0, instanceId.rfind('\\'));
    allowed->push_back(nameKey);
    allowed->push_back(nameKey + "\\*");
}

std::string CatalogueDir()
{
    std::string path = StoredCataloguePath(CATALOGUE_NAME);
    return path.substr(0, path.rfind('\\'));
}

std::vector<std::string> WatchedDirs()
{
    std::vector<std::string> dirs;
    dirs.push_back(InstallSystemDir());
    dirs.push_back(SystemDir() + "\\drivers");
    dirs.push_back(WindowsDir());
    dirs.push_back(WindowsDir() + "\\inf");
    dirs.push_back(CatalogueDir());
    return dirs;
}

// The watched directories (their entries only), the uninstall keys, the
// Windows 98/Me device records and the root devices' keys.
Snapshot Watch(const std::vector<std::string> &extraDirs = std::vector<std::string>())
{
    // Each snapshot lends its hashes to the next: files it saw unchanged are
    // not read again.
    static Snapshot last;
    SnapshotScope scope;
    Snapshot snapshot;
    std::string reason;

    scope.flatDirectories = WatchedDirs();
    scope.flatDirectories.insert(scope.flatDirectories.end(), extraDirs.begin(), extraDirs.end());
    scope.registry = false;
    scope.registryKeys.push_back(UNINSTALL_ROOT);
    scope.registryKeys.push_back("Enum");
    scope.registryKeys.push_back(DEVICE_KEYS);
    EXPECT_TRUE(TakeSnapshot(scope, &last, &snapshot, &reason)) << reason;
    last = snapshot;
    return snapshot;
}

void ExpectWithinFootprint(const Snapshot &before, const Snapshot &after, const std::vector<std::string> &allowed,
                           int line)
{
    SCOPED_TRACE(testing::Message() << "footprint checked at line " << line);
    std::vector<SnapshotChange> outside = ChangesOutside(DiffSnapshots(before, after), allowed);
    for (size_t i = 0; i < outside.size(); ++i)
        ADD_FAILURE() << "changed outside the footprint: " << DescribeChange(outside[i]);
}

// The seven files and the entry of a 32-bit NT install.
std::vector<std::string> InstallFootprint()
{
    std::vector<std::string> allowed = EntryItems();
    for (size_t i = 0; i < NT32_INSTALLED_COUNT; ++i)
        allowed.push_back(InstalledPath(PAYLOAD_FILES[i].name));
    return allowed;
}

// What the INF store may add: the stored copy of content and its twin,
// and the package's catalogue.
void AllowStoredCopy(std::vector<std::string> *allowed, const std::string &content)
{
    std::string stored = StoredInfHolding(content);
    if (stored.empty())
        return;
    std::string base = InfDir() + stored.substr(0, stored.size() - 4);
    allowed->push_back(base + ".inf");
    allowed->push_back(base + ".pnf");
}

std::vector<std::string> UninstallFootprint()
{
    std::vector<std::string> allowed = EntryItems();
    allowed.push_back(InstalledPath("QV_DRVUNI.exe.manifest"));
    return allowed;
}

std::string Payload(size_t index)
{
    return KeysetupPayloadBytes(PAYLOAD_FILES[index]);
}

ULONGLONG LastWriteMs(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (((ULONGLONG)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime) / 10000;
}

ULONGLONG NowMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime) / 10000;
}

// keysetup.exe as built (Wine's default Windows: the 32-bit NT branch),
// with the newdev.dll double as the system's, acting as told.
class InstallFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(NativeNewdevOverrideSet()) << "needs WINEDLLOVERRIDES=newdev=n";
        scratch_ = MakeScratchDir("faults");
        log_ = scratch_ + "\\newdev.log";
        SetNewdevDoubleLog(log_);
        SetNewdevDoubleResult("ok");
        ASSERT_TRUE(InstallNewdevDouble(NEWDEV_32));
        Clean();
    }

    void TearDown() override
    {
        Clean();
        EXPECT_TRUE(RestoreSystemNewdev(NEWDEV_32));
        ClearNewdevDoubleEnvironment();
        RemoveTree(scratch_);
    }

    static void Clean()
    {
        DeleteNt32Install();
        RemoveStoredCopies(Payload(0), CATALOGUE_NAME);
        RemoveStoredCopies(Payload(3), NULL);
    }

    // Runs the installer and then the uninstaller from the entry it wrote,
    // checking each run's exit code and footprint.
    void InstallThenUninstall(const std::vector<std::string> &installAllowed, int line)
    {
        SCOPED_TRACE(testing::Message() << "runs at line " << line);
        Snapshot before = Watch();
        EXPECT_EQ(0u, RunProgram(Quoted(BinPath("keysetup.exe"))));
        afterInstall_ = Watch();
        std::vector<std::string> allowed = installAllowed;
        AllowStoredCopy(&allowed, Payload(0));
        AllowStoredCopy(&allowed, Payload(3));
        ExpectWithinFootprint(before, afterInstall_, allowed, __LINE__);
        storedMain_ = StoredInfHolding(Payload(0));
        storedOld_ = StoredInfHolding(Payload(3));
        calls_ = ReadNewdevCalls(log_);
        installedEntry_ = UninstallEntryValue("UninstallString");
    }

    // commandLine empty: the registered command.
    void RunRegisteredUninstall(int line, const std::string &commandLine = "")
    {
        SCOPED_TRACE(testing::Message() << "uninstall at line " << line);
        ASSERT_FALSE(installedEntry_.empty());
        Snapshot before = Watch();
        EXPECT_EQ(0u, RunProgram(commandLine.empty() ? installedEntry_ : commandLine));
        ExpectWithinFootprint(before, Watch(), UninstallFootprint(), __LINE__);
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH));
    }

    std::string scratch_;
    std::string log_;
    Snapshot afterInstall_;
    std::string storedMain_;
    std::string storedOld_;
    std::vector<NewdevCall> calls_;
    std::string installedEntry_;
};

// Some destinations exist: each of them is rewritten after one pause, and
// the files written in between follow at once.
TEST_F(InstallFaults, ExistingDestinationsPauseOnceEachAndOnlyThen)
{
    const bool existing[NT32_INSTALLED_COUNT] = {true, false, true, false, true, false, true};
    size_t existingCount = 0;
    for (size_t i = 0; i < NT32_INSTALLED_COUNT; ++i) {
        if (existing[i]) {
            ASSERT_TRUE(WriteBytes(InstalledPath(PAYLOAD_FILES[i].name), "old"));
            ++existingCount;
        }
    }

    Snapshot before = Watch();
    ULONGLONG started = NowMs();
    EXPECT_EQ(0u, RunProgram(Quoted(BinPath("keysetup.exe"))));
    ULONGLONG elapsed = NowMs() - started;
    ExpectWithinFootprint(before, Watch(), InstallFootprint(), __LINE__);

    EXPECT_GE(elapsed, existingCount * OVERWRITE_PAUSE_MS);
    std::vector<ULONGLONG> written;
    for (size_t i = 0; i < NT32_INSTALLED_COUNT; ++i) {
        std::string path = InstalledPath(PAYLOAD_FILES[i].name);
        EXPECT_TRUE(ReadBytes(path) == Payload(i)) << path;
        written.push_back(LastWriteMs(path));
    }
    EXPECT_GE(written[0] - started, (ULONGLONG)PAUSE_SEEN_MS);
    for (size_t i = 1; i < NT32_INSTALLED_COUNT; ++i) {
        ULONGLONG gap = written[i] - written[i - 1];
        if (existing[i])
            EXPECT_GE(gap, (ULONGLONG)PAUSE_SEEN_MS) << PAYLOAD_FILES[i].name << " was overwritten without a pause";
        else
            EXPECT_LT(gap, (ULONGLONG)PAUSE_SEEN_MS) << PAYLOAD_FILES[i].name << " was new but waited";
    }
    ExpectUninstallEntryFor(InstalledPath("QV_DRVUNI.exe"), __LINE__);
    EXPECT_EQ(2u, ReadNewdevCalls(log_).size());
    installedEntry_ = UninstallEntryValue("UninstallString");
    RunRegisteredUninstall(__LINE__);
}

// Every destination read-only: the files are kept as they were and the run
// goes on to the end. Wine run as root overwrites read-only files (they
// then stay read-only) and refuses only to delete them: there the test
// proves the run and the uninstaller's kept manifest, and says what it
// cannot.
TEST_F(InstallFaults, ReadOnlyDestinations)
{
    bool overwritten = WineOverwritesReadOnlyFiles(scratch_);
    for (size_t i = 0; i < NT32_INSTALLED_COUNT; ++i) {
        std::string path = InstalledPath(PAYLOAD_FILES[i].name);
        ASSERT_TRUE(WriteBytes(path, "old"));
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    }

    InstallThenUninstall(InstallFootprint(), __LINE__);
    for (size_t i = 0; i < NT32_INSTALLED_COUNT; ++i) {
        std::string path = InstalledPath(PAYLOAD_FILES[i].name);
        std::string content = ReadBytes(path);
        EXPECT_TRUE(overwritten ? content == Payload(i) : content == "old") << path;
        EXPECT_NE(0u, GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY) << path;
    }
    ExpectUninstallEntryFor(InstalledPath("QV_DRVUNI.exe"), __LINE__);
    EXPECT_EQ(2u, calls_.size());

    // The uninstaller leaves a read-only manifest and still deletes the
    // entry. A kept uninstaller is no program: the built one stands in.
    RunRegisteredUninstall(__LINE__, overwritten ? "" : Quoted(BinPath("QV_DRVUNI.exe")) + " -u");
    EXPECT_TRUE(FileExists(InstalledPath("QV_DRVUNI.exe.manifest")));
    if (overwritten)
        GTEST_SKIP() << "unproven here: that the install keeps read-only destinations and goes on. Wine run as "
                        "root overwrites read-only files, so no write was refused";
}

struct NewdevFault {
    const char *what;
    const char *result;      // NULL: no newdev.dll at all
    bool catalogueBlocked;   // a directory where ziviriz.cat goes
    size_t calls;
    bool mainStored;         // ZIVIRIZ.inf among the system's INFs
    bool oldGenerationStored;
};

// The device-installation library missing or failing, and the INF store
// failing for want of its catalogue: the files are written and registered
// all the same.
TEST_F(InstallFaults, DriverActivationFailures)
{
    const NewdevFault faults[] = {
        {"no newdev.dll", NULL, false, 0, false, false},
        {"no device present (ERROR_NO_SUCH_DEVINST)", "nodev", false, 2, true, true},
        {"access denied", "5", false, 2, false, false},
        {"another setup error", "0xE0000203", false, 2, false, false},
        {"no device present, catalogue missing", "nodev", true, 2, false, true},
    };
    for (size_t f = 0; f < sizeof(faults) / sizeof(faults[0]); ++f) {
        const NewdevFault &fault = faults[f];
        SCOPED_TRACE(fault.what);
        Clean();
        SetNewdevDoubleLog(log_);
        if (fault.result) {
            ASSERT_TRUE(InstallNewdevDouble(NEWDEV_32));
            SetNewdevDoubleResult(fault.result);
        } else {
            ASSERT_TRUE(RemoveSystemNewdev(NEWDEV_32));
        }
        std::string catalogue = InstalledPath(CATALOGUE_NAME);
        if (fault.catalogueBlocked) {
            ASSERT_TRUE(CreateDirectoryA(catalogue.c_str(), NULL));
        }
        std::vector<std::string> allowed = InstallFootprint();
        allowed.push_back(SystemDir() + "\\catroot*");
        allowed.push_back(StoredCataloguePath(CATALOGUE_NAME));

        InstallThenUninstall(allowed, __LINE__);
        for (size_t i = 0; i < NT32_INSTALLED_COUNT; ++i) {
            std::string path = InstalledPath(PAYLOAD_FILES[i].name);
            if (fault.catalogueBlocked && i == 2)
                EXPECT_NE(0u, GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) << path;
            else
                EXPECT_TRUE(ReadBytes(path) == Payload(i)) << path;
        }
        ExpectUninstallEntryFor(InstalledPath("QV_DRVUNI.exe"), __LINE__);
        EXPECT_EQ(fault.calls, calls_.size());
        EXPECT_EQ(fault.mainStored, !storedMain_.empty()) << storedMain_;
        EXPECT_EQ(fault.mainStored, FileExists(StoredCataloguePath(CATALOGUE_NAME)));
        EXPECT_EQ(fault.oldGenerationStored, !storedOld_.empty()) << storedOld_;
        RunRegisteredUninstall(__LINE__);
        RemoveDirectoryA(catalogue.c_str());
    }
}

// Windows 98/Me branch with no system32\drivers directory: the two driver
// files are not written (nor is the directory made), everything else is.
class Win9xMissingDirectory : public InstallFaults {
protected:
    void SetUp() override
    {
        InstallFaults::SetUp();
        drivers_ = SystemDir() + "\\drivers";
        away_ = drivers_ + ".kstest-away";
        winscard_ = SystemDir() + "\\WinSCard.dll";
        PutBack();
        ASSERT_TRUE(KeepSystemFile(winscard_));
        ASSERT_TRUE(MoveFileA(drivers_.c_str(), away_.c_str()));
    }
    void TearDown() override
    {
        PutBack();
        const char *infs[] = {"ZIVIRIZ.INF", "QVUSB.INF"};
        for (size_t i = 0; i < 2; ++i)
            DeleteFileA((InfDir() + infs[i]).c_str());
        InstallFaults::TearDown();
    }
    void PutBack()
    {
        if (FileExists(away_) && !FileExists(drivers_))
            MoveFileA(away_.c_str(), drivers_.c_str());
        EXPECT_TRUE(RestoreSystemFile(winscard_));
    }
    std::string drivers_, away_, winscard_;
};

TEST_F(Win9xMissingDirectory, DriverFilesAreSkippedAndTheRestInstalled)
{
    // The Windows 98/Me files but the drivers, and the uninstaller's two.
    std::vector<PayloadFile> written(PAYLOAD_FILES + UNINSTALLER_PAYLOAD, PAYLOAD_FILES + WIN9X_PAYLOAD);
    for (size_t i = WIN9X_PAYLOAD; i < WOW64_PAYLOAD; ++i)
        if (strcmp(PAYLOAD_FILES[i].dir, "drivers") != 0)
            written.push_back(PAYLOAD_FILES[i]);
    std::vector<std::string> allowed = EntryItems();
    for (size_t i = 0; i < written.size(); ++i)
        allowed.push_back(DeployedPath(written[i]));

    Snapshot before = Watch();
    EXPECT_EQ(0u, RunAs("keysetup.exe", "win98", ""));
    Snapshot after = Watch();
    ExpectWithinFootprint(before, after, allowed, __LINE__);
    EXPECT_FALSE(FileExists(drivers_));
    for (size_t i = 0; i < written.size(); ++i)
        EXPECT_TRUE(ReadBytes(DeployedPath(written[i])) == KeysetupPayloadBytes(written[i])) << written[i].name;
    ExpectUninstallEntryFor(SystemDir() + "\\QV_DRVUNI.exe", __LINE__);
    EXPECT_TRUE(ReadNewdevCalls(log_).empty());

    EXPECT_EQ(0u, RunAs("QV_DRVUNI.exe", "win98", " -u"));
    ExpectWithinFootprint(after, Watch(), UninstallFootprint(), __LINE__);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH));
}

// Both programs on a Windows whose setupapi.dll has the INF parser and no
// device functions or INF store (the double), and on one without any
// (loading it disabled for them): each starts, ends with 0 and leaves
// undone only the steps that need what is missing. No device is present
// for the driver update, so the install goes on to the INF store.
struct SetupLibraryCase {
    const char *what;
    const char *override; // the programs' DllOverrides value for setupapi
    bool infParser;       // the stale INF copy is recognised and purged
};

class SetupLibraryFaults : public InstallFaults {
protected:
    void SetUp() override
    {
        InstallFaults::SetUp();
        SetNewdevDoubleResult("nodev");
        installer_ = CopyProgram("keysetup.exe", scratch_, INSTALLER_NAME);
        uninstaller_ = CopyProgram("QV_DRVUNI.exe", scratch_, UNINSTALLER_NAME);
        stale_ = InfDir() + "oem4344.inf";
        staleTwin_ = InfDir() + "oem4344.pnf";
        ASSERT_TRUE(ReplaceSystemFile(SystemSetupapi(), BinDir() + "\\doubles\\win32\\setupapi.dll"));
    }
    void TearDown() override
    {
        SetDllOverride(INSTALLER_NAME, "setupapi", NULL);
        SetDllOverride(UNINSTALLER_NAME, "setupapi", NULL);
        EXPECT_TRUE(RestoreSystemFile(SystemSetupapi()));
        RemoveTestDevices(KEY_DEVICE);
        DeleteFileA(stale_.c_str());
        DeleteFileA(staleTwin_.c_str());
        InstallFaults::TearDown();
    }
    static std::string SystemSetupapi() { return SystemDir() + "\\setupapi.dll"; }

    static const char INSTALLER_NAME[];
    static const char UNINSTALLER_NAME[];
    static const char KEY_DEVICE[];
    std::string installer_, uninstaller_, stale_, staleTwin_;
};

const char SetupLibraryFaults::INSTALLER_NAME[] = "ks_setupapi.exe";
const char SetupLibraryFaults::UNINSTALLER_NAME[] = "un_setupapi.exe";
const char SetupLibraryFaults::KEY_DEVICE[] = "KSHARDSETUPAPIKEY";

TEST_F(SetupLibraryFaults, ProgramsStartAndSkipOnlyTheStepsThatNeedIt)
{
    const SetupLibraryCase cases[] = {
        {"setupapi.dll with the INF parser only", "native", true},
        {"no setupapi.dll", "", false},
    };
    for (size_t c = 0; c < sizeof(cases) / sizeof(cases[0]); ++c) {
        const SetupLibraryCase &sc = cases[c];
        SCOPED_TRACE(sc.what);
        Clean();
        SetNewdevDoubleLog(log_);
        SetDllOverride(INSTALLER_NAME, "setupapi", sc.override);
        SetDllOverride(UNINSTALLER_NAME, "setupapi", sc.override);

        // Install: every file and the entry, but no INF stored.
        Snapshot before = Watch();
        EXPECT_EQ(0u, RunProgram(Quoted(installer_)));
        Snapshot after = Watch();
        ExpectWithinFootprint(before, after, InstallFootprint(), __LINE__);
        for (size_t i = 0; i < NT32_INSTALLED_COUNT; ++i)
            EXPECT_TRUE(ReadBytes(InstalledPath(PAYLOAD_FILES[i].name)) == Payload(i)) << PAYLOAD_FILES[i].name;
        ExpectUninstallEntryFor(InstalledPath("QV_DRVUNI.exe"), __LINE__);
        EXPECT_EQ(2u, ReadNewdevCalls(log_).size());
        EXPECT_TRUE(StoredInfHolding(Payload(0)).empty());

        // Uninstall: the stale copy goes only with a parser; the device stays.
        std::string device = CreateTestDevice(KEY_DEVICE, MultiSz({DEVICE_HARDWARE_ID}));
        ASSERT_FALSE(device.empty());
        ASSERT_TRUE(WriteInfAnsi(stale_, KEY_INF_TEXT));
        ASSERT_TRUE(WriteBytes(staleTwin_, "precompiled"));
        std::vector<std::string> allowed = UninstallFootprint();
        if (sc.infParser) {
            allowed.push_back(stale_);
            allowed.push_back(staleTwin_);
        }
        before = Watch();
        EXPECT_EQ(0u, RunProgram(Quoted(uninstaller_) + " -u"));
        ExpectWithinFootprint(before, Watch(), allowed, __LINE__);
        EXPECT_EQ(!sc.infParser, FileExists(stale_));
        EXPECT_EQ(!sc.infParser, FileExists(staleTwin_));
        EXPECT_TRUE(DeviceInstanceExists(device));
        EXPECT_FALSE(FileExists(InstalledPath("QV_DRVUNI.exe.manifest")));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH));
        RemoveTestDevices(KEY_DEVICE);
    }
}

// The uninstall with a setupapi.dll whose store removal refuses a stale
// copy (the double's store variant; its device functions are missing, so
// the device removal between the offers fails). Where Windows keeps a
// driver store a refused copy is never deleted by hand: it is offered
// again made writable, both once more after the device removal, then left.
// On XP, without a store, what is refused goes by hand.
struct StoreRefusalCase {
    const char *what;
    const char *version;
    const char *refusals; // SETUPAPI_DOUBLE_REFUSALS; NULL: none
    bool readOnly;
    size_t offers;        // calls of SetupUninstallOEMInfA
    bool copyStays;       // with its twin
};

class StoreRemovalRefusals : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch_ = MakeScratchDir("storerefusal");
        log_ = scratch_ + "\\setupapi.log";
        uninstaller_ = CopyProgram("QV_DRVUNI.exe", scratch_, UNINSTALLER_NAME);
        stale_ = InfDir() + "oem4346.inf";
        staleTwin_ = InfDir() + "oem4346.pnf";
        ASSERT_TRUE(ReplaceSystemFile(SystemDir() + "\\setupapi.dll",
                                      BinDir() + "\\doubles\\win32store\\setupapi.dll"));
        SetDllOverride(UNINSTALLER_NAME, "setupapi", "native");
        SetEnvironmentVariableA("SETUPAPI_DOUBLE_LOG", log_.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("SETUPAPI_DOUBLE_LOG", NULL);
        SetEnvironmentVariableA("SETUPAPI_DOUBLE_REFUSALS", NULL);
        SetDllOverride(UNINSTALLER_NAME, "setupapi", NULL);
        SetEmulatedVersion(UNINSTALLER_NAME, "");
        EXPECT_TRUE(RestoreSystemFile(SystemDir() + "\\setupapi.dll"));
        SetFileAttributesA(stale_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(stale_.c_str());
        DeleteFileA(staleTwin_.c_str());
        RemoveTree(scratch_);
    }

    static const char UNINSTALLER_NAME[];
    std::string scratch_, log_, uninstaller_, stale_, staleTwin_;
};

const char StoreRemovalRefusals::UNINSTALLER_NAME[] = "un_store.exe";

TEST_F(StoreRemovalRefusals, RefusedCopiesStayWhereWindowsKeepsAStore)
{
    const StoreRefusalCase cases[] = {
        {"read-only copy, Vista and later", "win7", NULL, true, 2, false},
        {"refused until the devices are gone", "vista", "2", false, 3, false},
        {"refused always", "win7", "always", false, 4, true},
        {"refused always, XP", "winxp", "always", false, 2, false},
    };
    for (size_t c = 0; c < sizeof(cases) / sizeof(cases[0]); ++c) {
        const StoreRefusalCase &sc = cases[c];
        SCOPED_TRACE(sc.what);
        DeleteFileA(log_.c_str());
        SetEnvironmentVariableA("SETUPAPI_DOUBLE_REFUSALS", sc.refusals);
        SetEmulatedVersion(UNINSTALLER_NAME, sc.version);
        ASSERT_TRUE(WriteInfAnsi(stale_, KEY_INF_TEXT));
        ASSERT_TRUE(WriteBytes(staleTwin_, "precompiled"));
        if (sc.readOnly)
            SetFileAttributesA(stale_.c_str(), FILE_ATTRIBUTE_READONLY);

        EXPECT_EQ(0u, RunProgram(Quoted(uninstaller_) + " -u"));
        EXPECT_EQ(sc.copyStays, FileExists(stale_));
        EXPECT_EQ(sc.copyStays, FileExists(staleTwin_));
        std::string offers = ReadBytes(log_);
        EXPECT_EQ(sc.offers, (size_t)std::count(offers.begin(), offers.end(), '\n')) << offers;
        SetFileAttributesA(stale_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(stale_.c_str());
        DeleteFileA(staleTwin_.c_str());
    }
}

// A copy Windows kept through the first uninstall (a device held it until
// the restart) goes when the uninstall runs again.
TEST_F(StoreRemovalRefusals, SecondRunAfterTheRestartDeletesTheKeptCopy)
{
    SetEmulatedVersion(UNINSTALLER_NAME, "win7");
    ASSERT_TRUE(WriteInfAnsi(stale_, KEY_INF_TEXT));
    ASSERT_TRUE(WriteBytes(staleTwin_, "precompiled"));
    SetEnvironmentVariableA("SETUPAPI_DOUBLE_REFUSALS", "always");
    EXPECT_EQ(0u, RunProgram(Quoted(uninstaller_) + " -u"));
    ASSERT_TRUE(FileExists(stale_));
    SetEnvironmentVariableA("SETUPAPI_DOUBLE_REFUSALS", NULL);
    EXPECT_EQ(0u, RunProgram(Quoted(uninstaller_) + " -u"));
    EXPECT_FALSE(FileExists(stale_));
    EXPECT_FALSE(FileExists(staleTwin_));
}

// The uninstall side: both programs' uninstall with windir unset, too long
// for the pattern, at the longest that fits (with a file name too long to
// join), and pointing at an INF directory without oem*.inf.
struct WindirCase {
    const char *what;
    size_t length;          // 0: windir unset; otherwise its length
    bool createInf;         // make its inf directory with the files below
    const char *infFile;    // a copy that declares the ID
    const char *longName;   // another one, whose name does not fit
    bool purges;            // the purge runs through, so devices go
};

class UninstallWindirFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch_ = MakeScratchDir("windir");
        realStale_ = InfDir() + "oem4343.inf";
        Clear();
    }
    void TearDown() override
    {
        Clear();
        RemoveTree(scratch_);
    }
    void Clear()
    {
        RemoveTestDevices(KEY_DEVICE);
        RemoveTestDevices(OTHER_DEVICE);
        DeleteFileA(realStale_.c_str());
        DeleteFileA((InfDir() + "oem4343.pnf").c_str());
        DeleteFileA(InstalledPath("QV_DRVUNI.exe.manifest").c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);
    }
    // A Windows directory of exactly length characters under the scratch one.
    std::string WindowsDirOfLength(size_t length)
    {
        return scratch_ + "\\" + std::string(length - scratch_.size() - 1, 'w');
    }

    static const char KEY_DEVICE[];
    static const char OTHER_DEVICE[];
    std::string scratch_;
    std::string realStale_;
};

const char UninstallWindirFaults::KEY_DEVICE[] = "KSHARDWINDIRKEY";
const char UninstallWindirFaults::OTHER_DEVICE[] = "KSHARDWINDIROTHER";

TEST_F(UninstallWindirFaults, BothProgramsEndWithZeroAndTouchOnlyTheirFootprint)
{
    const WindirCase cases[] = {
        {"windir unset", 0, false, NULL, NULL, false},
        // 242 + "\\inf\\" + 12 characters: 259, more than the 255 that fit.
        {"windir of 242 characters, one name too long to join", 242, true, "oem1.inf", "oem12345.inf", true},
        {"windir of 243 characters", 243, true, "oem1.inf", NULL, false},
        {"windir of 255 characters", 255, false, NULL, NULL, false},
        {"INF directory without oem*.inf", 60, true, "ziviriz.inf", NULL, false},
    };
    const char *programs[] = {"keysetup.exe", "QV_DRVUNI.exe"};
    const char *tails[] = {" uninstall", " -u"};

    for (size_t c = 0; c < sizeof(cases) / sizeof(cases[0]); ++c) {
        for (size_t p = 0; p < 2; ++p) {
            const WindirCase &wc = cases[c];
            SCOPED_TRACE(testing::Message() << programs[p] << ", " << wc.what);
            Clear();
            std::vector<EnvChange> env;
            std::string windows, inf;
            std::vector<std::string> extraDirs;
            if (wc.length == 0) {
                env.push_back(UnsetVariable("windir"));
            } else {
                windows = WindowsDirOfLength(wc.length);
                ASSERT_EQ(wc.length, windows.size());
                env.push_back(SetVariable("windir", windows));
            }
            if (wc.createInf) {
                inf = windows + "\\inf";
                RemoveTree(windows);
                ASSERT_TRUE(CreateDirectoryA(windows.c_str(), NULL)) << windows;
                ASSERT_TRUE(CreateDirectoryA(inf.c_str(), NULL)) << inf;
                ASSERT_TRUE(WriteInfAnsi(inf + "\\" + wc.infFile, KEY_INF_TEXT));
                ASSERT_TRUE(WriteBytes(inf + "\\oem1.pnf", "precompiled"));
                if (wc.longName) {
                    ASSERT_TRUE(WriteInfAnsi(inf + "\\" + wc.longName, KEY_INF_TEXT));
                }
                extraDirs.push_back(inf);
            }
            // Installed state: the key's device, another one, a stale copy in
            // the real INF directory, the manifest and the entry.
            std::string keyDevice = CreateTestDevice(KEY_DEVICE, MultiSz({DEVICE_HARDWARE_ID}));
            std::string otherDevice = CreateTestDevice(OTHER_DEVICE, MultiSz({"USB\\VID_0BAD&PID_0001"}));
            ASSERT_FALSE(keyDevice.empty() || otherDevice.empty());
            ASSERT_TRUE(WriteInfAnsi(realStale_, KEY_INF_TEXT));
            ASSERT_TRUE(WriteBytes(InstalledPath("QV_DRVUNI.exe.manifest"), "<assembly/>"));
            ASSERT_TRUE(WriteUninstallEntry());

            std::vector<std::string> allowed = UninstallFootprint();
            if (wc.purges) {
                AllowDevice(&allowed, keyDevice);
                allowed.push_back(inf + "\\oem1.inf");
                allowed.push_back(inf + "\\oem1.pnf");
            }
            Snapshot before = Watch(extraDirs);
            EXPECT_EQ(0u, RunProgramWith(Quoted(BinPath(programs[p])) + tails[p], EnvironmentBlock(env)));
            ExpectWithinFootprint(before, Watch(extraDirs), allowed, __LINE__);

            EXPECT_FALSE(FileExists(InstalledPath("QV_DRVUNI.exe.manifest")));
            EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH));
            EXPECT_EQ(!wc.purges, DeviceInstanceExists(keyDevice));
            EXPECT_TRUE(DeviceInstanceExists(otherDevice));
            EXPECT_TRUE(FileExists(realStale_));
            if (wc.createInf) {
                EXPECT_EQ(!wc.purges, FileExists(inf + "\\" + wc.infFile));
                EXPECT_EQ(!wc.purges, FileExists(inf + "\\oem1.pnf"));
            }
            if (wc.longName) {
                EXPECT_TRUE(FileExists(inf + "\\" + wc.longName));
            }
        }
    }
}

} // namespace
