#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "activation.h"
#include "installed_state.h"
#include "newdev_double.h"
#include "platform.h"
#include "system_names.h"
#include "system_snapshot.h"
#include "wine_test.h"

namespace {

const DWORD LAUNCH_TIMEOUT_MS = 60000;

std::string InfText(const std::string &catalogueName)
{
    return "[Version]\r\n"
           "Signature=\"$Windows NT$\"\r\n"
           "Class=USB\r\n"
           "ClassGuid={36FC9E60-C465-11CF-8056-444553540000}\r\n"
           "Provider=%MAKER%\r\n"
           "CatalogFile=" + catalogueName + "\r\n"
           "DriverVer=01/01/2020,1.0.0.0\r\n\r\n"
           "[Manufacturer]\r\n%MAKER%=Models\r\n\r\n"
           "[Models]\r\n%KEY%=KeyInstall,USB\\VID_FE17&PID_0101\r\n\r\n"
           "[KeyInstall]\r\n\r\n"
           "[Strings]\r\nMAKER=\"Test maker\"\r\nKEY=\"Test key\"\r\n";
}

// Writes infName into dir, with catalogueName beside it when asked.
std::string WritePackage(const std::string &dir, const std::string &infName, const std::string &catalogueName,
                         bool withCatalogue)
{
    std::string inf = dir + "\\" + infName;
    WriteBytes(inf, InfText(catalogueName));
    if (withCatalogue)
        WriteBytes(dir + "\\" + catalogueName, "catalogue of the test package");
    return inf;
}

void ExpectKeyCall(const NewdevCall &call, const std::string &infPath, bool rebootFlagPassed, int bits, int line)
{
    SCOPED_TRACE(testing::Message() << "call checked at line " << line);
    EXPECT_TRUE(SamePath(DEVICE_HARDWARE_ID, call.hardwareId)) << call.hardwareId;
    EXPECT_TRUE(SamePath(infPath, call.infPath)) << call.infPath;
    // keysetup updates from its 32-bit process; only the native helpers make 64-bit calls.
    EXPECT_EQ(bits == 32 ? ATTENDED_INSTALL_FLAGS : UNATTENDED_INSTALL_FLAGS, call.flags);
    EXPECT_EQ(1, call.nonInteractive); // SetupAPI's dialogs off around it
    EXPECT_EQ(rebootFlagPassed, call.rebootFlagPassed);
    EXPECT_EQ(bits, call.bits);
    EXPECT_TRUE(SamePath(LoadedNewdevPath(), call.modulePath)) << call.modulePath;
}

// The 32-bit double in the system directory of this process.
class NewdevFixture : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(NativeNewdevOverrideSet()) << "needs WINEDLLOVERRIDES=newdev=n";
        dir = MakeScratchDir("activation");
        log = dir + "\\newdev.log";
        SetNewdevDoubleLog(log);
        SetNewdevDoubleResult(NULL);
        RemoveStoredCopies(InfText(CATALOGUE), CATALOGUE);
        ASSERT_TRUE(InstallNewdevDouble(NEWDEV_32));
        inf = WritePackage(dir, "kstest_activation.inf", CATALOGUE, true);
    }

    void TearDown() override
    {
        EXPECT_TRUE(RestoreSystemNewdev(NEWDEV_32));
        RemoveStoredCopies(InfText(CATALOGUE), CATALOGUE);
        ClearNewdevDoubleEnvironment();
        RemoveTree(dir);
    }

    bool Stored() { return !StoredInfHolding(InfText(CATALOGUE)).empty(); }
    bool CatalogueStored() { return FileExists(StoredCataloguePath(CATALOGUE)); }

    static const char CATALOGUE[];
    std::string dir;
    std::string log;
    std::string inf;
};

const char NewdevFixture::CATALOGUE[] = "kstest_activation.cat";

typedef NewdevFixture InstallDriverPackageTest;
typedef NewdevFixture PlantedNewdevTest;

TEST_F(InstallDriverPackageTest, UpdatedDriverStoresNothing)
{
    BOOL rebootRequired = TRUE;

    SetNewdevDoubleResult("ok");
    EXPECT_EQ(0, InstallDriverPackage(DEVICE_HARDWARE_ID, inf.c_str(), &rebootRequired));
    EXPECT_EQ(0, InstallDriverPackage(DEVICE_HARDWARE_ID, inf.c_str(), NULL));
    ActivateDriverPackage(inf.c_str(), false);

    std::vector<NewdevCall> calls = ReadNewdevCalls(log);
    ASSERT_EQ(3u, calls.size());
    ExpectKeyCall(calls[0], inf, true, 32, __LINE__);
    EXPECT_FALSE(rebootRequired) << "the flag the library set is passed back";
    ExpectKeyCall(calls[1], inf, false, 32, __LINE__);
    // The installer's own path hands the library a flag, so that it never
    // asks for a restart itself.
    ExpectKeyCall(calls[2], inf, true, 32, __LINE__);
    EXPECT_FALSE(Stored());
    EXPECT_FALSE(CatalogueStored());
}

TEST_F(InstallDriverPackageTest, NoDevicePresentStoresThePackage)
{
    SetNewdevDoubleResult("nodev");
    EXPECT_EQ(0, InstallDriverPackage(DEVICE_HARDWARE_ID, inf.c_str(), NULL));

    ASSERT_EQ(1u, ReadNewdevCalls(log).size());
    EXPECT_EQ("kstest_activation.inf", StoredInfHolding(InfText(CATALOGUE)));
    EXPECT_TRUE(CatalogueStored());
}

TEST_F(InstallDriverPackageTest, OtherFailureStoresNothing)
{
    const char *failures[] = {"5", "0xE0000203", "0"};

    for (size_t i = 0; i < sizeof(failures) / sizeof(failures[0]); ++i) {
        SetNewdevDoubleResult(failures[i]);
        EXPECT_EQ(-1, InstallDriverPackage(DEVICE_HARDWARE_ID, inf.c_str(), NULL)) << failures[i];
        EXPECT_FALSE(Stored()) << failures[i];
    }
    EXPECT_EQ(3u, ReadNewdevCalls(log).size());
    EXPECT_FALSE(CatalogueStored());
}

TEST_F(InstallDriverPackageTest, FailingStoreGivesFailure)
{
    std::string bare = MakeScratchDir("activation_nocat");
    std::string uncatalogued = WritePackage(bare, "kstest_activation.inf", CATALOGUE, false);

    SetNewdevDoubleResult("nodev");
    EXPECT_EQ(-1, InstallDriverPackage(DEVICE_HARDWARE_ID, uncatalogued.c_str(), NULL));
    EXPECT_EQ(1u, ReadNewdevCalls(log).size());
    EXPECT_FALSE(Stored());
    RemoveTree(bare);
}

TEST_F(InstallDriverPackageTest, NoLibraryChangesNothing)
{
    ASSERT_TRUE(RemoveSystemNewdev(NEWDEV_32));
    SetNewdevDoubleResult("nodev");

    EXPECT_EQ(-1, InstallDriverPackage(DEVICE_HARDWARE_ID, inf.c_str(), NULL));
    ActivateDriverPackage(inf.c_str(), false);
    EXPECT_TRUE(ReadNewdevCalls(log).empty());
    EXPECT_FALSE(Stored());
    EXPECT_FALSE(CatalogueStored());
}

TEST_F(InstallDriverPackageTest, Win9xActivationResetsInsteadOfInstalling)
{
    std::string database = WindowsDir() + "\\inf\\DRVDATA.BIN";

    ASSERT_TRUE(WriteBytes(database, "database"));
    SetNewdevDoubleResult("nodev");
    ActivateDriverPackage(inf.c_str(), true);

    EXPECT_FALSE(FileExists(database));
    EXPECT_TRUE(ReadNewdevCalls(log).empty());
    EXPECT_FALSE(Stored());
    DeleteFileA(database.c_str());
}

// A newdev.dll beside the program must not be what it loads.
TEST_F(PlantedNewdevTest, CopyBesideTheProgramIsNotLoaded)
{
    std::string appDir = dir + "\\app";
    std::string planted = appDir + "\\newdev.dll";
    std::string probe;

    ASSERT_TRUE(CreateDirectoryA(appDir.c_str(), NULL));
    probe = Quoted(CopyProgram("activation_probe.exe", appDir, "kprobe.exe"));
    ASSERT_TRUE(CopyFileA(NewdevDoublePath(NEWDEV_32).c_str(), planted.c_str(), FALSE));

    // The bare name finds the planted copy: the check below can tell.
    EXPECT_EQ(0u, RunProgram(probe + " bare"));
    std::vector<NewdevCall> calls = ReadNewdevCalls(log);
    ASSERT_EQ(1u, calls.size());
    EXPECT_TRUE(SamePath(planted, calls[0].modulePath)) << calls[0].modulePath;

    EXPECT_EQ(0u, RunProgram(probe + " install " + inf));
    calls = ReadNewdevCalls(log);
    ASSERT_EQ(2u, calls.size());
    ExpectKeyCall(calls[1], inf, true, 32, __LINE__);

    // Without a system newdev.dll the planted one is not taken either.
    ASSERT_TRUE(RemoveSystemNewdev(NEWDEV_32));
    EXPECT_EQ(1u, RunProgram(probe + " install " + inf));
    EXPECT_EQ(2u, ReadNewdevCalls(log).size());
}

const char DEVICE_ENUM_KEY[] = "Enum\\USB\\VID_FE17&PID_0101";
const char DEVICE_ENUM_SUBKEY[] = "Enum\\USB\\VID_FE17&PID_0101\\5&1A2B3C4D&0&1";
const char SIBLING_ENUM_KEY[] = "Enum\\USB\\VID_FE17&PID_0102";

bool CreateKeyWithValues(const char *path)
{
    HKEY key = NULL;
    const char driver[] = "USB\\0000";
    DWORD configFlags = 0;

    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    RegSetValueExA(key, "Driver", 0, REG_SZ, (const BYTE *)driver, sizeof(driver));
    RegSetValueExA(key, "ConfigFlags", 0, REG_DWORD, (const BYTE *)&configFlags, sizeof(configFlags));
    RegCloseKey(key);
    return true;
}

bool WriteReadOnly(const std::string &path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return WriteBytes(path, "driver database") && SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

void DeleteFileAnyway(const std::string &path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

class Win9xResetTest : public testing::Test {
protected:
    void SetUp() override
    {
        enumExisted = RegKeyExists(HKEY_LOCAL_MACHINE, "Enum");
        usbExisted = RegKeyExists(HKEY_LOCAL_MACHINE, "Enum\\USB");
        dataFile = WindowsDir() + "\\inf\\DRVDATA.BIN";
        indexFile = WindowsDir() + "\\inf\\DRVIDX.BIN";
        otherFile = WindowsDir() + "\\inf\\DRVDATA.OLD";
        DeleteLeftovers();
        ASSERT_TRUE(WriteReadOnly(dataFile));
        ASSERT_TRUE(WriteReadOnly(indexFile));
        ASSERT_TRUE(WriteReadOnly(otherFile));
        ASSERT_TRUE(CreateKeyWithValues(DEVICE_ENUM_KEY));
        ASSERT_TRUE(CreateKeyWithValues(SIBLING_ENUM_KEY));
    }

    void TearDown() override
    {
        DeleteLeftovers();
        if (!usbExisted)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\USB");
        if (!enumExisted)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum");
    }

    void DeleteLeftovers()
    {
        DeleteFileAnyway(dataFile);
        DeleteFileAnyway(indexFile);
        DeleteFileAnyway(otherFile);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, DEVICE_ENUM_SUBKEY);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, DEVICE_ENUM_KEY);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, SIBLING_ENUM_KEY);
    }

    void ExpectResetDone(int line)
    {
        SCOPED_TRACE(testing::Message() << "reset checked at line " << line);
        EXPECT_FALSE(FileExists(dataFile));
        EXPECT_FALSE(FileExists(indexFile));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, DEVICE_ENUM_KEY));
        // Nothing else goes.
        EXPECT_TRUE(FileExists(otherFile));
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, SIBLING_ENUM_KEY));
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "Enum\\USB"));
    }

    bool enumExisted;
    bool usbExisted;
    std::string dataFile;
    std::string indexFile;
    std::string otherFile;
};

// In this process Wine behaves as NT, whose RegDeleteKeyA keeps a key
// that has subkeys: the device key here has none.
TEST_F(Win9xResetTest, DeletesDatabaseFilesAndDeviceKey)
{
    EXPECT_EQ(0, ResetWin9xDriverDatabase(DEVICE_HARDWARE_ID));
    ExpectResetDone(__LINE__);

    // The second package's reset finds nothing left.
    EXPECT_EQ(0, ResetWin9xDriverDatabase(DEVICE_HARDWARE_ID));
    ExpectResetDone(__LINE__);
}

// Under Windows 98 emulation RegDeleteKeyA deletes the whole tree, as
// Windows 98/Me does.
TEST_F(Win9xResetTest, UnderWindows98TheDeviceTreeGoes)
{
    std::string scratch = MakeScratchDir("reset98");
    std::string probe = Quoted(CopyProgram("activation_probe.exe", scratch, "kreset98.exe"));

    ASSERT_TRUE(CreateKeyWithValues(DEVICE_ENUM_SUBKEY));
    SetEmulatedVersion("kreset98.exe", "win98");

    EXPECT_EQ(0u, RunProgram(probe + " reset"));
    ExpectResetDone(__LINE__);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, DEVICE_ENUM_SUBKEY));
    EXPECT_EQ(0u, RunProgram(probe + " reset"));
    ExpectResetDone(__LINE__);

    SetEmulatedVersion("kreset98.exe", "");
    RemoveTree(scratch);
}

// DrvInst64.exe beside a 64-bit package, with the 64-bit double in the
// real system32 of a win64 prefix.
class Launch64BitInstallerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(NativeNewdevOverrideSet()) << "needs WINEDLLOVERRIDES=newdev=n";
        ASSERT_TRUE(IsRunningUnderWow64()) << "needs the win64 prefix";
        dir = MakeScratchDir("drvinst64");
        log = dir + "\\newdev.log";
        SetNewdevDoubleLog(log);
        SetNewdevDoubleResult(NULL);
        RemoveStoredCopies(InfText(CATALOGUE), CATALOGUE);
        ASSERT_TRUE(InstallNewdevDouble(NEWDEV_64));
        program = CopyProgram("DrvInst64.exe", dir, "DrvInst64.exe");
        inf = WritePackage(dir, "ZIVIRIZ.inf", CATALOGUE, true);
    }

    void TearDown() override
    {
        EXPECT_TRUE(RestoreSystemNewdev(NEWDEV_64));
        RemoveStoredCopies(InfText(CATALOGUE), CATALOGUE);
        ClearNewdevDoubleEnvironment();
        RemoveTree(dir);
    }

    // Launches, waits for the program's call and for the program to end.
    std::vector<NewdevCall> LaunchAndWait(int line)
    {
        SCOPED_TRACE(testing::Message() << "launched at line " << line);
        std::vector<NewdevCall> calls;
        HANDLE process;

        EXPECT_EQ(0, Launch64BitInstaller(program.c_str()));
        calls = WaitForNewdevCalls(log, 1, LAUNCH_TIMEOUT_MS);
        if (calls.empty())
            return calls;
        process = OpenProcess(SYNCHRONIZE, FALSE, calls[0].processId);
        if (process) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, ScaledTimeout(LAUNCH_TIMEOUT_MS)));
            CloseHandle(process);
        }
        return ReadNewdevCalls(log);
    }

    static const char CATALOGUE[];
    std::string dir;
    std::string log;
    std::string program;
    std::string inf;
};

const char Launch64BitInstallerTest::CATALOGUE[] = "ziviriz.cat";

TEST_F(Launch64BitInstallerTest, StartsTheProgramOnceAs64Bit)
{
    std::vector<NewdevCall> calls = LaunchAndWait(__LINE__);

    ASSERT_EQ(1u, calls.size());
    ExpectKeyCall(calls[0], inf, true, 64, __LINE__);
    const std::string &commandLine = calls[0].commandLine;
    EXPECT_NE(std::string::npos, commandLine.find("DrvInst64.exe")) << commandLine;
    EXPECT_EQ(" -install", commandLine.substr(commandLine.size() - 9)) << commandLine;
    EXPECT_TRUE(StoredInfHolding(InfText(CATALOGUE)).empty());
}

TEST_F(Launch64BitInstallerTest, NoDevicePresentStoresThe64BitPackage)
{
    SetNewdevDoubleResult("nodev");

    ASSERT_EQ(1u, LaunchAndWait(__LINE__).size());
    EXPECT_EQ("ZIVIRIZ.inf", StoredInfHolding(InfText(CATALOGUE)));
}

TEST_F(Launch64BitInstallerTest, OtherCommandLinesDoNothing)
{
    const char *tails[] = {"", " -uninstall", " install", " /install", " -install now", " -installer"};
    std::string quoted = Quoted(program);

    for (size_t i = 0; i < sizeof(tails) / sizeof(tails[0]); ++i)
        EXPECT_EQ(0u, RunProgram(quoted + tails[i])) << tails[i];
    EXPECT_TRUE(ReadNewdevCalls(log).empty());
    EXPECT_TRUE(StoredInfHolding(InfText(CATALOGUE)).empty());
}

int windowsCreated = 0;

LRESULT CALLBACK CountWindowCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND)
        ++windowsCreated;
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// A program that cannot be started must not bring up Windows' error box
// (Wine creates the box's windows even without a display).
TEST(Launch64BitInstallerSilence, MissingProgramShowsNothing)
{
    std::string dir = MakeScratchDir("launch_missing");
    std::string missing = dir + "\\DrvInst64.exe";
    HHOOK hook = SetWindowsHookExA(WH_CBT, CountWindowCreation, NULL, GetCurrentThreadId());

    ASSERT_TRUE(hook != NULL);
    windowsCreated = 0;
    EXPECT_EQ(0, Launch64BitInstaller(missing.c_str()));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(0, windowsCreated);
    RemoveTree(dir);
}

} // namespace
