// keycheck.exe under Wine: each exit code from the state that gives it,
// the 32-bit view of the uninstall entry under WOW64, and bad input.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "inf_files.h"
#include "installed_state.h"
#include "payload_resources.h"
#include "resource_ids.h"
#include "system_names.h"
#include "test_devices.h"
#include "wine_test.h"

namespace {

const char DEVICE_NAME[] = "KSKEYCHECK";
const char STALE_INF[] = "\\inf\\oem87.inf";
const char OTHER_VERSION_INF[] = "\\inf\\oem88.inf";
// A driver key of the test device, as Windows would name one.
const char DRIVER_KEY[] = "{6d8a1f2c-4b3e-4c55-9a7d-4b534b455943}\\0000";
const char CLASS_KEY[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{6d8a1f2c-4b3e-4c55-9a7d-4b534b455943}";
const char STALE_INF_TEXT[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\nKey=Models\r\n"
                              "[Models]\r\nKey=Install,USB\\VID_FE17&PID_0101\r\n";

std::string WideText(const char *text)
{
    std::string wide;
    for (; *text; ++text)
        wide += std::string(1, *text) + '\0';
    return wide;
}

std::string ScratchDir()
{
    static std::string dir = MakeScratchDir("keycheck");
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

struct Check {
    DWORD code;
    std::string report;
};

// Runs keycheck with its output in a file and no console input. Each run
// writes a file of its own: Wine may not yet have closed the last run's.
Check RunKeycheck(const char *arguments = "")
{
    static int runs = 0;
    std::string out = ScratchDir() + "\\report" + std::to_string(++runs) + ".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOA startup = {};
    PROCESS_INFORMATION process = {};
    std::string line = "\"" + BinPath("keycheck.exe") + "\" " + arguments;
    Check check = {~0u, ""};

    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = file;
    if (CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, ScaledTimeout(60000)) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &check.code);
        else
            TerminateProcess(process.hProcess, ~0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(file);
    check.report = ReadBytes(out);
    return check;
}

// The report opens with its summary, then "key:", and ends with the next
// step and the verdict.
Check ExpectCheck(DWORD code, const std::string &reportLine, int line, const char *nextStep = "")
{
    Check check = RunKeycheck();
    std::string verdict = "verdict: " + std::to_string(code);
    size_t end = check.report.rfind("\r\nnext step: " + std::string(nextStep));
    EXPECT_EQ(code, check.code) << "line " << line << "\n" << check.report;
    EXPECT_NE(std::string::npos, check.report.find(reportLine)) << "line " << line << "\n" << check.report;
    EXPECT_NE(std::string::npos, check.report.find(".\r\nkey: hardware ID ")) << "line " << line;
    EXPECT_TRUE(end != std::string::npos && check.report.find("\r\n" + verdict + " ", end) ==
                                                check.report.find("\r\n", end + 2))
        << "line " << line << "\n" << check.report;
    return check;
}

// The key's INF of another version: its DriverVer and bytes changed, in
// the file's own UTF-16.
std::string OlderInf()
{
    std::string bytes = KeysetupPayloadBytes("DLL", IDR_NT32_INF);
    std::string from = WideText("06/12/2015,3.0.2.44"), to = WideText("09/30/2013,3.0.1.12");
    size_t at = bytes.find(from);
    return at == std::string::npos ? "" : bytes.replace(at, from.size(), to);
}

// Every state these tests make, removed before and after.
void Clean()
{
    DeleteNt32Install();
    DeleteWhenReleased(InstallSystemDir() + "\\DrvInst64.exe");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, KEY_WOW64_64KEY, 0);
    RemoveTestDevices(DEVICE_NAME);
    DeleteFileA((WindowsDir() + STALE_INF).c_str());
    DeleteFileA((WindowsDir() + OTHER_VERSION_INF).c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(CLASS_KEY) + "\\0000").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, CLASS_KEY);
}

// Windows keeps the key's INF as an oemN.inf once it stored the package;
// Wine keeps it under its own name, so the copy Windows would keep is made.
void PlantStoredCopy()
{
    ASSERT_TRUE(CopyFileA(InstalledPath("ZIVIRIZ.inf").c_str(), (WindowsDir() + STALE_INF).c_str(), FALSE));
}

// Gives the device the driver key Windows would, its InfPath naming infName.
void SetDeviceDriver(const std::string &instanceId, const char *driverKey, const char *infName)
{
    HKEY key = NULL;
    std::string enumKey = "SYSTEM\\CurrentControlSet\\Enum\\" + instanceId;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, enumKey.c_str(), 0, KEY_SET_VALUE, &key));
    RegSetValueExA(key, "Driver", 0, REG_SZ, (const BYTE *)driverKey, (DWORD)strlen(driverKey) + 1);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(CLASS_KEY) + "\\0000").c_str(), 0,
                                             NULL, 0, KEY_SET_VALUE, NULL, &key, NULL));
    RegSetValueExA(key, "InfPath", 0, REG_SZ, (const BYTE *)infName, (DWORD)strlen(infName) + 1);
    RegCloseKey(key);
}

class Keycheck : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override
    {
        Clean();
        RemoveTree(ScratchDir());
    }
};

TEST_F(Keycheck, EachStateGivesItsCode)
{
    ExpectCheck(1, "The key's driver is not installed.\r\n", __LINE__, "run the installer (keysetup.exe).\r\n");
    const char *badArguments[] = {"/x", "/log /q", "/q/log"};
    for (const char *arguments : badArguments) {
        Check bad = RunKeycheck(arguments);
        EXPECT_EQ(9u, bad.code);
        EXPECT_EQ(0u, bad.report.find("usage: keycheck [/q | /log]")) << bad.report;
        EXPECT_NE(std::string::npos, bad.report.find(" 7 driver installed, the key does not work\r\n")) << bad.report;
    }

    // Installed, but Windows keeps no copy of the package: not "installed".
    ASSERT_EQ(0u, RunProgram("\"" + BinPath("keysetup.exe") + "\""));
    ExpectCheck(2, "driver packages stored by Windows: 0 of this build, 0 of another version\r\n", __LINE__,
                "run the installer (keysetup.exe) again.\r\n");
    PlantStoredCopy();
    std::string stale = WindowsDir() + STALE_INF;
    ExpectCheck(0, "driver package stored by Windows: oem87.inf, this build's, driver 3.0.2.44 of 2015-06-12\r\n",
                __LINE__, "none; plug the key in to use it.\r\n");
    Check quiet = RunKeycheck("/Q");
    EXPECT_EQ(0u, quiet.code);
    EXPECT_EQ("", quiet.report);
    // The entry's version and flags are read as its other values are.
    ExpectCheck(0, "entry value: DisplayVersion ok: 3.0.2.44\r\n", __LINE__);
    HKEY entry = NULL;
    DWORD flag = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, KEY_SET_VALUE, &entry));
    RegSetValueExA(entry, "NoRepair", 0, REG_DWORD, (const BYTE *)&flag, sizeof(flag));
    ExpectCheck(2, "entry value: NoRepair other: 0\r\n", __LINE__);
    flag = 1;
    RegSetValueExA(entry, "NoRepair", 0, REG_DWORD, (const BYTE *)&flag, sizeof(flag));
    RegCloseKey(entry);

    std::string driver = InstalledPath("ZIVIRIZ.sys");
    ASSERT_TRUE(WriteBytes(driver, "other bytes of the same file"));
    ExpectCheck(2, "file: " + driver + " damaged\r\n", __LINE__);
    ASSERT_TRUE(WriteBytes(driver, KeysetupPayloadBytes("DLL", IDR_NT32_DRIVER)));
    // Another version's install: its INF names another DriverVer.
    std::string inf = InstalledPath("ZIVIRIZ.inf"), olderInf = OlderInf();
    ASSERT_FALSE(olderInf.empty());
    ASSERT_TRUE(WriteBytes(inf, olderInf) && WriteBytes(driver, "an older driver"));
    ExpectCheck(6, "file: " + driver + " an older version (driver 3.0.1.12 of 2013-09-30; this keycheck knows "
                "3.0.2.44 of 2015-06-12)\r\n", __LINE__, "run the new version's installer");
    ASSERT_TRUE(WriteBytes(inf, KeysetupPayloadBytes("DLL", IDR_NT32_INF)));
    ASSERT_TRUE(WriteBytes(driver, KeysetupPayloadBytes("DLL", IDR_NT32_DRIVER)));
    // /log: the setup log's section that names the key, after the verdict.
    std::string section = ">>>  [Device Install - USB\\VID_FE17&PID_0101\\1]\r\n<<<  [Exit status: SUCCESS]\r\n";
    std::string planted = ScratchDir() + "\\setupapi.dev.log";
    ASSERT_TRUE(WriteBytes(planted, ">>>  [Other]\r\n" + section + ">>>  [Other]\r\n"));
    ASSERT_TRUE(ReplaceSystemFile(InfDir() + "setupapi.dev.log", planted));
    Check logged = RunKeycheck("/log");
    EXPECT_TRUE(RestoreSystemFile(InfDir() + "setupapi.dev.log"));
    EXPECT_NE(std::string::npos, logged.report.find(" installed\r\nsetup log: the last 1 sections that name the key\r\n"
                                                    "setup log section 1 of 1, from " + InfDir() + "setupapi.dev.log:\r\n" +
                                                    section)) << logged.report;
    // Where Windows' LogPath moved the text logs, they are read there.
    ASSERT_TRUE(SetSetupLogPath(ScratchDir()));
    logged = RunKeycheck("/log");
    EXPECT_TRUE(SetSetupLogPath(""));
    EXPECT_NE(std::string::npos, logged.report.find("setup log section 1 of 1, from " + planted + ":\r\n" + section))
        << logged.report;

    std::string device = CreateTestDevice(DEVICE_NAME, MultiSz({"USB\\VID_FE17&PID_0101"}));
    ASSERT_FALSE(device.empty());
    ExpectCheck(3, "device: " + device + " plugged in, no driver installed\r\n", __LINE__,
                "plug the key into a USB port of the computer directly");

    // A stored copy of other bytes that declares the ID is another version.
    ASSERT_TRUE(WriteInfAnsi(WindowsDir() + OTHER_VERSION_INF, STALE_INF_TEXT));
    SetDeviceDriver(device, DRIVER_KEY, "oem88.inf");
    ExpectCheck(3, "device: " + device + " plugged in, uses another version of the key's driver (oem88.inf)\r\n",
                __LINE__, "unplug the key, run the installer");
    SetDeviceDriver(device, DRIVER_KEY, "OEM87.INF");
    ExpectCheck(0, "device: " + device + " plugged in, uses the key's driver (OEM87.INF)\r\n", __LINE__,
                "none, the key is ready to use.\r\n");
    // A driver key that cannot be opened is no answer.
    SetDeviceDriver(device, "{6d8a1f2c-4b3e-4c55-9a7d-4b534b455943}\\0001", "oem87.inf");
    ExpectCheck(9, "\\0001 cannot be opened (error 2)\r\n", __LINE__, "run keycheck as administrator");

    // The uninstall deletes the stored copies, then removes the device.
    ASSERT_EQ(0u, RunProgram(UninstallEntryValue("UninstallString")));
    ASSERT_FALSE(FileExists(stale));
    ExpectCheck(1, "verdict: 1 not installed", __LINE__);

    ASSERT_TRUE(WriteInfAnsi(stale, STALE_INF_TEXT));
    // Windows (from Vista on, Wine's default) keeps such a copy until the
    // uninstall runs again after a restart.
    ExpectCheck(4, "driver package stored by Windows: oem87.inf, another version, driver unknown\r\n", __LINE__,
                "restart Windows, then run the uninstall again");
    ExpectCheck(4, "kept by Windows until the uninstall runs again after a restart\r\n", __LINE__);
}

// The Windows line names each emulated Windows from its true numbers
// (this Wine calls its win7 a server: only its service pack is checked).
TEST_F(Keycheck, NamesTheEmulatedWindows)
{
    const char *const names[][2] = {{"win95", "Windows 95 [platform class 2"},
                                    {"win98", "Windows 98 Second Edition ["},
                                    {"winme", "Windows Me ["},
                                    {"nt40", "Windows NT 4.0 Service Pack 6a, 32-bit ["},
                                    {"win2k", "Windows 2000 Service Pack 4, 32-bit ["},
                                    {"winxp", "Windows XP Service Pack 3, 32-bit ["},
                                    {"vista", "Windows Vista Service Pack 2, 32-bit ["},
                                    {"win7", " Service Pack 1, 32-bit [platform class 9"},
                                    {"win10", "Windows 10 (build "}};
    for (const auto &name : names) {
        SetEmulatedVersion("keycheck.exe", name[0]);
        Check check = RunKeycheck();
        EXPECT_NE(std::string::npos, check.report.find(std::string(name[1]))) << name[0] << "\n" << check.report;
    }
    SetEmulatedVersion("keycheck.exe", "");
}

// The device record and driver key the Windows 98/Me case plants, with
// their parents, which a fresh prefix lacks: the install's Windows 98/Me
// reset would otherwise find the device's record left behind.
const char WIN98_INSTANCE_KEY[] = "Enum\\USB\\VID_FE17&PID_0101\\KSKEYCHECK";
const char WIN98_DEVICE_KEY[] = "Enum\\USB\\VID_FE17&PID_0101";
const char WIN98_DRIVER_KEY[] = "System\\CurrentControlSet\\Services\\Class\\KSKEYCHECK\\0000";
const char WIN98_CLASS_KEY[] = "System\\CurrentControlSet\\Services\\Class\\KSKEYCHECK";

void RemoveWin98Records()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, WIN98_INSTANCE_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, WIN98_DEVICE_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, WIN98_DRIVER_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, WIN98_CLASS_KEY);
}

// Windows 98/Me: a device recorded under HKLM\\Enum is judged by its
// driver key under Services\\Class.
TEST_F(Keycheck, Win98JudgesRecordedDevices)
{
    HKEY key = NULL;

    RemoveWin98Records();
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, WIN98_INSTANCE_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL));
    RegSetValueExA(key, "Driver", 0, REG_SZ, (const BYTE *)"KSKEYCHECK\\0000", 16);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, WIN98_DRIVER_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL));
    RegSetValueExA(key, "InfPath", 0, REG_SZ, (const BYTE *)"usb.inf", 8);
    RegCloseKey(key);
    SetEmulatedVersion("keycheck.exe", "win98");
    ExpectCheck(4, "device: USB\\VID_FE17&PID_0101\\KSKEYCHECK known to Windows, uses another driver (usb.inf)\r\n",
                __LINE__);
    SetEmulatedVersion("keycheck.exe", "");
    RemoveWin98Records();
}

// Under WOW64 the entry is read where the 32-bit installer wrote it; the
// same entry in the 64-bit view alone is no entry.
TEST_F(Keycheck, Wow64ReadsTheEntryInThe32BitView)
{
    ASSERT_EQ(0u, RunProgram("\"" + BinPath("keysetup.exe") + "\""));
    PlantStoredCopy();
    ExpectCheck(0, ", 64-bit, x64 [platform class 9, branch Wow64]\r\n", __LINE__);
    ExpectCheck(0, ("file: " + InstalledPath("DrvInst64.exe") + " ok").c_str(), __LINE__);

    std::string icon = UninstallEntryValue("DisplayIcon");
    std::string command = UninstallEntryValue("UninstallString");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, KEY_WOW64_32KEY, 0));
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, NULL, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL, &key, NULL));
    RegSetValueExA(key, "DisplayIcon", 0, REG_SZ, (const BYTE *)icon.c_str(), (DWORD)icon.size() + 1);
    RegSetValueExA(key, "DisplayName", 0, REG_SZ, (const BYTE *)UNINSTALL_DISPLAY_NAME,
                   (DWORD)strlen(UNINSTALL_DISPLAY_NAME) + 1);
    RegSetValueExA(key, "UninstallString", 0, REG_SZ, (const BYTE *)command.c_str(), (DWORD)command.size() + 1);
    RegCloseKey(key);
    ExpectCheck(2, "VORevizeRidarorar (32-bit view) missing\r\n", __LINE__);
}

} // namespace
