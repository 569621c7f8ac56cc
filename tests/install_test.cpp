// The whole install as keysetup.exe does it on each branch, under Wine's
// emulation of each Windows, with the newdev.dll double in place; then the
// registered uninstall command, run as Windows runs it.
#include <gtest/gtest.h>

#include <vector>

#include "driver_update.h"
#include "installed_state.h"
#include "newdev_double.h"
#include "payload_resources.h"
#include "resource_ids.h"
#include "system_names.h"
#include "wine_test.h"

namespace {

const DWORD EXISTING_FILE_PAUSE_MS = 500;

typedef PayloadFile Deployed;
const Deployed *const NT32_FILES = PAYLOAD_FILES + NT32_PAYLOAD;
const Deployed *const UNINSTALLER_FILES = PAYLOAD_FILES + UNINSTALLER_PAYLOAD;
const Deployed *const WIN9X_FILES = PAYLOAD_FILES + WIN9X_PAYLOAD;
const Deployed *const WOW64_FILES = PAYLOAD_FILES + WOW64_PAYLOAD;

std::string PathOf(const Deployed &file) { return DeployedPath(file); }

void ExpectDeployed(const Deployed *files, size_t count, int line)
{
    SCOPED_TRACE(line);
    for (size_t i = 0; i < count; ++i) {
        std::string expected = KeysetupPayloadBytes(files[i]);
        ASSERT_FALSE(expected.empty()) << files[i].type << " " << files[i].id;
        EXPECT_TRUE(ReadBytes(PathOf(files[i])) == expected) << PathOf(files[i]);
    }
}

void DeleteDeployed(const Deployed *files, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        SetFileAttributesA(PathOf(files[i]).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(PathOf(files[i]).c_str());
    }
}

// Runs the registered "UninstallString" as Windows does.
DWORD RunRegisteredUninstall()
{
    std::string command = UninstallEntryValue("UninstallString");
    if (command.empty())
        return ~0u;
    return RunProgram(command);
}

class InstallTest : public ::testing::Test {
protected:
    std::string log;

    void SetUp() override
    {
        ASSERT_TRUE(NativeNewdevOverrideSet());
        log = MakeScratchDir("installlog") + "\\newdev.log";
        SetNewdevDoubleLog(log);
        SetNewdevDoubleResult("ok");
        ASSERT_TRUE(InstallNewdevDouble(NEWDEV_32));
        Clean();
    }

    void TearDown() override
    {
        Clean();
        RestoreSystemNewdev(NEWDEV_32);
        ClearNewdevDoubleEnvironment();
    }

    void Clean()
    {
        DeleteDeployed(NT32_FILES, 5);
        DeleteDeployed(WOW64_FILES, 4);
        DeleteDeployed(UNINSTALLER_FILES, 2);
        DeleteDeployed(WIN9X_FILES, 2);
        DeleteDeployed(WIN9X_FILES + 4, 2);
        DeleteDeployed(WIN9X_FILES + 1, 1);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);
    }
};

void ExpectRegistered(int line)
{
    ExpectUninstallEntryFor(InstallSystemDir() + UNINSTALLER_FILE_NAME, line);
}

// The registered command removes the manifest and the entry and leaves the
// uninstaller and the driver files.
void ExpectUninstallLeavesFiles(const Deployed *files, size_t count, int line)
{
    SCOPED_TRACE(line);
    EXPECT_EQ(0u, RunRegisteredUninstall());
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH));
    EXPECT_FALSE(FileExists(PathOf(UNINSTALLER_FILES[1])));
    EXPECT_TRUE(FileExists(PathOf(UNINSTALLER_FILES[0])));
    for (size_t i = 0; i < count; ++i)
        EXPECT_TRUE(FileExists(PathOf(files[i]))) << PathOf(files[i]);
}

TEST_F(InstallTest, Nt32OnXpWritesActivatesDeploysAndRegisters)
{
    EXPECT_EQ(0u, RunAs("keysetup.exe", "winxp", ""));

    ExpectDeployed(NT32_FILES, 5, __LINE__);
    ExpectDeployed(UNINSTALLER_FILES, 2, __LINE__);
    ExpectRegistered(__LINE__);
    std::vector<NewdevCall> calls = ReadNewdevCalls(log);
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(PathOf(NT32_FILES[0]), calls[0].infPath);
    EXPECT_EQ(PathOf(NT32_FILES[3]), calls[1].infPath);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(std::string(DEVICE_HARDWARE_ID), calls[i].hardwareId);
        EXPECT_EQ(ATTENDED_INSTALL_FLAGS, calls[i].flags);
        EXPECT_TRUE(calls[i].rebootFlagPassed);
        EXPECT_EQ(32, calls[i].bits);
    }
    EXPECT_FALSE(FileExists(PathOf(WOW64_FILES[3])));

    ExpectUninstallLeavesFiles(NT32_FILES, 5, __LINE__);
}

// A second run rewrites every file, each after the pause for an existing
// file, and rewrites the entry.
TEST_F(InstallTest, ReinstallRewritesEveryFileAfterItsPause)
{
    ASSERT_EQ(0u, RunAs("keysetup.exe", "winxp", ""));
    ASSERT_TRUE(WriteBytes(PathOf(NT32_FILES[1]), "damaged"));
    ASSERT_TRUE(WriteBytes(PathOf(UNINSTALLER_FILES[1]), "x"));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);

    DWORD started = GetTickCount();
    EXPECT_EQ(0u, RunAs("keysetup.exe", "winxp", ""));
    DWORD elapsed = GetTickCount() - started;
    // Seven existing files: the five of the branch and the uninstaller's two.
    EXPECT_GE(elapsed, 7 * EXISTING_FILE_PAUSE_MS);
    ExpectDeployed(NT32_FILES, 5, __LINE__);
    ExpectDeployed(UNINSTALLER_FILES, 2, __LINE__);
    ExpectRegistered(__LINE__);
    EXPECT_EQ(4u, ReadNewdevCalls(log).size());
}

// Windows 95 takes the NT branch; without newdev.dll nothing is activated.
TEST_F(InstallTest, Win95WritesTheNtFilesAndActivatesNothing)
{
    std::string storedInf = WindowsDir() + "\\inf\\ZIVIRIZ.inf";
    ASSERT_FALSE(FileExists(storedInf));
    ASSERT_TRUE(RemoveSystemNewdev(NEWDEV_32));
    EXPECT_EQ(0u, RunAs("keysetup.exe", "win95", ""));

    ExpectDeployed(NT32_FILES, 5, __LINE__);
    ExpectDeployed(UNINSTALLER_FILES, 2, __LINE__);
    ExpectRegistered(__LINE__);
    EXPECT_TRUE(ReadNewdevCalls(log).empty());
    EXPECT_FALSE(FileExists(storedInf));
}

TEST_F(InstallTest, Win98WritesDriversInfsAndLibrariesAndResetsTheDatabase)
{
    const char *databaseFiles[] = {"\\inf\\DRVDATA.BIN", "\\inf\\DRVIDX.BIN"};
    std::string enumKey = std::string("Enum\\") + DEVICE_HARDWARE_ID;
    std::string winscard = SystemDir() + "\\WinSCard.dll";
    ASSERT_TRUE(KeepSystemFile(winscard));
    ASSERT_TRUE(RemoveSystemNewdev(NEWDEV_32));
    for (size_t i = 0; i < 2; ++i) {
        ASSERT_TRUE(WriteBytes(WindowsDir() + databaseFiles[i], "database"));
        SetFileAttributesA((WindowsDir() + databaseFiles[i]).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, enumKey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &key, NULL));
    RegCloseKey(key);

    EXPECT_EQ(0u, RunAs("keysetup.exe", "win98", ""));

    ExpectDeployed(WIN9X_FILES, 6, __LINE__);
    ExpectDeployed(UNINSTALLER_FILES, 2, __LINE__);
    ExpectRegistered(__LINE__);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_FALSE(FileExists(WindowsDir() + databaseFiles[i])) << databaseFiles[i];
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, enumKey.c_str()));
    EXPECT_TRUE(ReadNewdevCalls(log).empty());
    EXPECT_FALSE(FileExists(PathOf(NT32_FILES[2])));

    ExpectUninstallLeavesFiles(WIN9X_FILES, 6, __LINE__);
    DeleteDeployed(WIN9X_FILES, 6);
    EXPECT_TRUE(RestoreSystemFile(winscard));
}

// Under WOW64 the installer writes the 64-bit package into syswow64 and
// leaves the driver work to DrvInst64.exe, started once with "-install".
TEST_F(InstallTest, Wow64WritesThe64BitPackageAndStartsItsInstaller)
{
    ASSERT_TRUE(UnderWow64());
    ASSERT_TRUE(InstallNewdevDouble(NEWDEV_64));
    EXPECT_EQ(0u, RunAs("keysetup.exe", "win7", ""));

    ExpectDeployed(WOW64_FILES, 4, __LINE__);
    ExpectDeployed(UNINSTALLER_FILES, 2, __LINE__);
    ExpectRegistered(__LINE__);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, KEY_WOW64_32KEY));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, KEY_WOW64_64KEY));
    EXPECT_FALSE(FileExists(PathOf(NT32_FILES[3])));
    EXPECT_FALSE(FileExists(PathOf(NT32_FILES[4])));

    std::vector<NewdevCall> calls = WaitForNewdevCalls(log, 1, 30000);
    Sleep(1000); // a second start would have logged by now
    calls = ReadNewdevCalls(log);
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(64, calls[0].bits);
    EXPECT_EQ(std::string(DEVICE_HARDWARE_ID), calls[0].hardwareId);
    EXPECT_EQ(0, lstrcmpiA(PathOf(WOW64_FILES[0]).c_str(), calls[0].infPath.c_str())) << calls[0].infPath;
    EXPECT_NE(std::string::npos, calls[0].commandLine.find("-install")) << calls[0].commandLine;

    ExpectUninstallLeavesFiles(WOW64_FILES, 4, __LINE__);
    RestoreSystemNewdev(NEWDEV_64);
}

} // namespace
