// The uninstall procedure as the programs run it: QV_DRVUNI.exe (and
// keysetup's uninstall mode) under Wine's emulation of each Windows,
// against a planted installed state.
#include <gtest/gtest.h>

#include "inf_files.h"
#include "installed_state.h"
#include "payload_resources.h"
#include "system_names.h"
#include "test_devices.h"
#include "wine_test.h"

namespace {

const char KEY_DEVICE[] = "KSUNINSTKEY";
const char OTHER_DEVICE[] = "KSUNINSTOTHER";
const char STALE_INF[] = "oem41";
const char FOREIGN_INF[] = "oem42";
const char UNINSTALLER_MARKER[] = "TALVERNUnClass";

const char MATCHING_INF[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=USB\r\nProvider=%Mfg%\r\n"
    "[Manufacturer]\r\n%Mfg%=Models\r\n"
    "[Models]\r\n%Dev%=Install,USB\\VID_FE17&PID_0101\r\n"
    "[Install]\r\n[Strings]\r\nMfg=\"VORevizeRidarorar\"\r\nDev=\"Key\"\r\n";

// What an installed system holds that the uninstall looks at.
struct Planted {
    std::string systemDir;
    std::string keyDevice, otherDevice;
};

std::string ManifestPath(const Planted &p) { return p.systemDir + UNINSTALLER_MANIFEST_NAME; }

void ClearState()
{
    RemoveTestDevices(KEY_DEVICE);
    RemoveTestDevices(OTHER_DEVICE);
    const char *names[] = {"oem41.inf", "oem41.pnf", "oem42.inf", "oem42.pnf"};
    for (size_t i = 0; i < 4; ++i) {
        std::string path = InfDir() + names[i];
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    std::string manifest = InstallSystemDir() + UNINSTALLER_MANIFEST_NAME;
    SetFileAttributesA(manifest.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(manifest.c_str());
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, KEY_WOW64_32KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, KEY_WOW64_64KEY, 0);
}

Planted Plant(bool withStaleInf = true)
{
    Planted p;
    ClearState();
    p.systemDir = InstallSystemDir();
    if (withStaleInf) {
        EXPECT_TRUE(WriteInfAnsi(InfDir() + STALE_INF + ".inf", MATCHING_INF));
        EXPECT_TRUE(WriteBytes(InfDir() + STALE_INF + ".pnf", "precompiled"));
        EXPECT_TRUE(WriteInfUtf16(InfDir() + FOREIGN_INF + ".inf", FOREIGN_INF_TEXT));
        EXPECT_TRUE(WriteBytes(InfDir() + FOREIGN_INF + ".pnf", "precompiled"));
    }
    p.keyDevice = CreateTestDevice(KEY_DEVICE, std::string("ROOT\\KSUNINSTKEY\0USB\\VID_FE17&PID_0101\0", 40));
    p.otherDevice = CreateTestDevice(OTHER_DEVICE, std::string("USB\\VID_1234&PID_0001\0", 23),
                                     std::string("USB\\VID_FE17&PID_0101\0", 23));
    EXPECT_FALSE(p.keyDevice.empty());
    EXPECT_FALSE(p.otherDevice.empty());
    EXPECT_TRUE(WriteBytes(ManifestPath(p), "<assembly/>"));
    EXPECT_TRUE(WriteUninstallEntry());
    return p;
}

bool StaleInfPresent() { return FileExists(InfDir() + STALE_INF + ".inf"); }
bool StalePnfPresent() { return FileExists(InfDir() + STALE_INF + ".pnf"); }
bool ForeignInfIntact()
{
    return FileExists(InfDir() + FOREIGN_INF + ".inf") && FileExists(InfDir() + FOREIGN_INF + ".pnf");
}
bool EntryPresent() { return RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH); }

void ExpectPurged(const Planted &p, int line)
{
    SCOPED_TRACE(line);
    EXPECT_FALSE(StaleInfPresent());
    EXPECT_FALSE(StalePnfPresent());
    EXPECT_TRUE(ForeignInfIntact());
    EXPECT_FALSE(DeviceInstanceExists(p.keyDevice));
    EXPECT_TRUE(DeviceInstanceExists(p.otherDevice));
}

void ExpectNotPurged(const Planted &p, int line)
{
    SCOPED_TRACE(line);
    EXPECT_TRUE(StaleInfPresent());
    EXPECT_TRUE(StalePnfPresent());
    EXPECT_TRUE(ForeignInfIntact());
    EXPECT_TRUE(DeviceInstanceExists(p.keyDevice));
    EXPECT_TRUE(DeviceInstanceExists(p.otherDevice));
}

void ExpectEntryAndManifestGone(const Planted &p, int line)
{
    SCOPED_TRACE(line);
    EXPECT_FALSE(FileExists(ManifestPath(p)));
    EXPECT_FALSE(EntryPresent());
}

struct Branch {
    const char *version;
    bool purges;
};

TEST(UninstallProcedure, EachWindowsOfTheWin32Prefix)
{
    const Branch branches[] = {
        {"winxp", true}, {"win98", false}, {"winme", false}, {"win95", true},
        {"nt40", true}, {"win2k", true}, {"vista", true}, {"win10", true},
    };
    for (size_t i = 0; i < sizeof(branches) / sizeof(branches[0]); ++i) {
        SCOPED_TRACE(branches[i].version);
        Planted p = Plant();
        EXPECT_EQ(0u, RunAs("QV_DRVUNI.exe", branches[i].version, " -u"));
        if (branches[i].purges)
            ExpectPurged(p, __LINE__);
        else
            ExpectNotPurged(p, __LINE__);
        ExpectEntryAndManifestGone(p, __LINE__);
    }
    ClearState();
}

TEST(UninstallProcedure, KeysetupUninstallModeDoesTheSame)
{
    Planted p = Plant();
    EXPECT_EQ(0u, RunAs("keysetup.exe", "winxp", " /Uninstall"));
    ExpectPurged(p, __LINE__);
    ExpectEntryAndManifestGone(p, __LINE__);
    ClearState();
}

// The word right after the closing quote of the program's name, with no
// blank between them, is the whole tail: uninstall mode.
TEST(UninstallProcedure, KeysetupQuotedNameThenUninstallWithoutBlank)
{
    Planted p = Plant();
    EXPECT_EQ(0u, RunProgram("\"" + BinPath("keysetup.exe") + "\"uninstall"));
    ExpectPurged(p, __LINE__);
    ExpectEntryAndManifestGone(p, __LINE__);
    ClearState();
}

TEST(UninstallProcedure, SecondRunFindsNothingAndStillEndsWithZero)
{
    Planted p = Plant();
    ASSERT_EQ(0u, RunAs("QV_DRVUNI.exe", "winxp", " -u"));
    std::string other = p.otherDevice;
    EXPECT_EQ(0u, RunAs("QV_DRVUNI.exe", "winxp", " -u"));
    ExpectPurged(p, __LINE__);
    ExpectEntryAndManifestGone(p, __LINE__);
    EXPECT_TRUE(DeviceInstanceExists(other));
    ClearState();
}

TEST(UninstallProcedure, ReadOnlyManifestStaysWhileTheEntryGoes)
{
    Planted p = Plant();
    SetFileAttributesA(ManifestPath(p).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(0u, RunAs("QV_DRVUNI.exe", "winxp", ""));
    EXPECT_TRUE(FileExists(ManifestPath(p)));
    EXPECT_FALSE(EntryPresent());
    ClearState();
}

TEST(UninstallProcedure, WithoutAnyOemInfTheDevicesStay)
{
    Planted p = Plant(false);
    EXPECT_EQ(0u, RunAs("QV_DRVUNI.exe", "winxp", ""));
    EXPECT_TRUE(DeviceInstanceExists(p.keyDevice));
    ExpectEntryAndManifestGone(p, __LINE__);
    ClearState();
}

// The older generation's stored INF, which the uninstall keeps.
const char OLDER_GENERATION_INF[] = "oem43";

std::string NativeHelperPath() { return InstallSystemDir() + NATIVE_HELPER_FILE_NAME; }

// In the win64 prefix the 64-bit helper the install deployed purges and
// removes (both programs' uninstall start it); the manifest goes from
// syswow64 and the 32-bit view's entry goes while the 64-bit view's
// same-named key stays.
TEST(UninstallProcedureWow64, TheNativeHelperPurgesAndRemoves)
{
    const char *runs[][2] = {{"QV_DRVUNI.exe", " -u"}, {"keysetup.exe", " uninstall"}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(runs[i][0]);
        Planted p = Plant();
        std::string olderGeneration = InfDir() + OLDER_GENERATION_INF + ".inf";
        ASSERT_TRUE(WriteBytes(olderGeneration, KeysetupPayloadBytes("OLDVID", 200)));
        ASSERT_TRUE(CopyFileA(BinPath("DrvInst64.exe").c_str(), NativeHelperPath().c_str(), FALSE));
        ASSERT_TRUE(WriteUninstallEntry(KEY_WOW64_64KEY));
        ASSERT_NE(std::string::npos, p.systemDir.find("syswow64"));
        EXPECT_EQ(0u, RunAs(runs[i][0], "win7", runs[i][1]));
        ExpectPurged(p, __LINE__);
        EXPECT_TRUE(FileExists(olderGeneration));
        EXPECT_FALSE(FileExists(ManifestPath(p)));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, KEY_WOW64_32KEY));
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, KEY_WOW64_64KEY));
        DeleteFileA(olderGeneration.c_str());
        EXPECT_TRUE(DeleteWhenReleased(NativeHelperPath()));
    }
    ClearState();
}

// Without the helper nothing is purged or removed (Wine would let this
// 32-bit process do it; Windows refuses it with ERROR_IN_WOW64), and the
// rest of the uninstall still runs.
TEST(UninstallProcedureWow64, WithoutTheHelperOnlyManifestAndEntryGo)
{
    Planted p = Plant();
    ASSERT_TRUE(DeleteWhenReleased(NativeHelperPath()));
    ASSERT_NE(std::string::npos, p.systemDir.find("syswow64"));
    EXPECT_EQ(0u, RunAs("QV_DRVUNI.exe", "win7", " -u"));
    ExpectNotPurged(p, __LINE__);
    ExpectEntryAndManifestGone(p, __LINE__);
    ClearState();
}

TEST(UninstallerProgram, CommandLineChangesNothing)
{
    const char *tails[] = {" -u", "", " /quiet install", " -u -u extra words"};
    for (size_t i = 0; i < sizeof(tails) / sizeof(tails[0]); ++i) {
        SCOPED_TRACE(tails[i]);
        Planted p = Plant();
        EXPECT_EQ(0u, RunProgram("\"" + BinPath("QV_DRVUNI.exe") + "\"" + tails[i]));
        ExpectPurged(p, __LINE__);
        ExpectEntryAndManifestGone(p, __LINE__);
    }
    ClearState();
}

TEST(UninstallerProgram, SecondInstanceEndsAtOnceTouchingNothing)
{
    Planted p = Plant();
    HANDLE held = CreateMutexA(NULL, TRUE, UNINSTALLER_MARKER);
    ASSERT_TRUE(held != NULL);
    EXPECT_EQ(0u, RunProgram("\"" + BinPath("QV_DRVUNI.exe") + "\" -u", 20000));
    ExpectNotPurged(p, __LINE__);
    EXPECT_TRUE(FileExists(ManifestPath(p)));
    EXPECT_TRUE(EntryPresent());
    CloseHandle(held);
    ClearState();
}

TEST(UninstallerProgram, NeverDeletesItself)
{
    Planted p = Plant();
    std::string deployed = p.systemDir + UNINSTALLER_FILE_NAME;
    ASSERT_TRUE(CopyFileA(BinPath("QV_DRVUNI.exe").c_str(), deployed.c_str(), FALSE));
    EXPECT_EQ(0u, RunProgram("\"" + deployed + "\" -u"));
    EXPECT_TRUE(FileExists(deployed));
    ExpectEntryAndManifestGone(p, __LINE__);
    DeleteFileA(deployed.c_str());
    ClearState();
}

} // namespace
