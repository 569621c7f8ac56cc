// keycheck's report parts, in process: Windows named from its numbers, the
// DriverVer of INFs, the setup log's sections, and the window rule.
#include <gtest/gtest.h>

#include <string>

#include "console_window.h"
#include "driver_version.h"
#include "inf_files.h"
#include "setup_log.h"
#include "wine_test.h"
#include "windows_name.h"

namespace {

std::string Named(DWORD platformId, DWORD major, DWORD minor, DWORD build, BYTE type, const char *pack,
                  Wow64Branch branch, DWORD product = 0, WORD suites = 0, bool serverR2 = false)
{
    WindowsVersion version = {platformId, major, minor, build, type, {0}, product, suites, serverR2};
    char name[WINDOWS_NAME_CAPACITY];
    lstrcpynA(version.servicePack, pack, SERVICE_PACK_CAPACITY);
    NameWindows(&version, branch, name);
    return name;
}

// The numbers each emulated Windows gives; servers by their own builds.
TEST(KeycheckReport, NamesWindowsAsPeopleKnowIt)
{
    const DWORD W9X = VER_PLATFORM_WIN32_WINDOWS, NT = VER_PLATFORM_WIN32_NT;
    EXPECT_EQ("Windows 95", Named(W9X, 4, 0, 0x40003B6, 0, "", BRANCH_NOT_WOW64));
    EXPECT_EQ("Windows 98 Second Edition", Named(W9X, 4, 10, 0x40A08AE, 0, " A", BRANCH_NOT_WOW64));
    EXPECT_EQ("Windows Me", Named(W9X, 4, 90, 0x45A0BB8, 0, " ", BRANCH_NOT_WOW64));
    EXPECT_EQ("Windows NT 4.0 Service Pack 6a, 32-bit", Named(NT, 4, 0, 1381, 0, "Service Pack 6a", BRANCH_NOT_WOW64));
    EXPECT_EQ("Windows 2000 Service Pack 4, 32-bit", Named(NT, 5, 0, 2195, 1, "Service Pack 4", BRANCH_NOT_WOW64));
    EXPECT_EQ("Windows XP Service Pack 3, 32-bit", Named(NT, 5, 1, 2600, 1, "Service Pack 3", BRANCH_NOT_WOW64));
    EXPECT_EQ("Windows Vista Service Pack 2, 32-bit", Named(NT, 6, 0, 6002, 1, "Service Pack 2", BRANCH_NOT_WOW64));
    EXPECT_EQ("Windows 7 Service Pack 1, 64-bit, x64", Named(NT, 6, 1, 7601, 1, "Service Pack 1", BRANCH_WOW64_X64));
    EXPECT_EQ("Windows 10 (build 19045), 64-bit, x64", Named(NT, 10, 0, 19045, 1, "", BRANCH_WOW64_X64));
    EXPECT_EQ("Windows 11 (build 22631), 64-bit, ARM64", Named(NT, 10, 0, 22631, 1, "", BRANCH_WOW64_ARM64));
    EXPECT_EQ("Windows Server 2025 (build 26100), 64-bit, x64", Named(NT, 10, 0, 26100, 3, "", BRANCH_WOW64_X64));
    EXPECT_EQ("Windows Server 2008 R2 Service Pack 1, 64-bit, x64",
              Named(NT, 6, 1, 7601, 3, "Service Pack 1", BRANCH_WOW64_X64));
    // Azure Virtual Desktop's Windows reports a server's product type.
    EXPECT_EQ("Windows 11 Enterprise multi-session (build 26100), 64-bit, x64",
              Named(NT, 10, 0, 26100, 3, "", BRANCH_WOW64_X64, PRODUCT_ENTERPRISE_MULTI_SESSION));
    EXPECT_EQ("Windows 10 Enterprise multi-session (build 19045), 64-bit, x64",
              Named(NT, 10, 0, 19045, 3, "", BRANCH_WOW64_X64, PRODUCT_ENTERPRISE_MULTI_SESSION));
    EXPECT_EQ("Windows Server 2003 R2 Service Pack 2, 32-bit",
              Named(NT, 5, 2, 3790, 3, "Service Pack 2", BRANCH_NOT_WOW64, 0, VER_SUITE_ENTERPRISE, true));
    EXPECT_EQ("Windows Home Server Service Pack 2, 32-bit",
              Named(NT, 5, 2, 3790, 3, "Service Pack 2", BRANCH_NOT_WOW64, 0, VER_SUITE_WH_SERVER));
    EXPECT_EQ("Windows NT 4.0 Server Service Pack 5, 32-bit",
              Named(NT, 4, 0, 1381, ProductTypeFromOptions("LanmanNT"), "Service Pack 5", BRANCH_NOT_WOW64));
}

// DriverVer as Windows reads it: ANSI or UTF-16, %strkey% from [Strings],
// one token for the whole value too.
TEST(KeycheckReport, ReadsDriverVer)
{
    std::string dir = MakeScratchDir("driverver");
    std::string ansi = dir + "\\ansi.inf", utf16 = dir + "\\utf16.inf", none = dir + "\\none.inf";
    const char *head = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
    ASSERT_TRUE(WriteInfAnsi(ansi, std::string(head) + "DriverVer=%Date%, %Ver% ; built\r\n[Strings]\r\n"
                                                        "Date=\"2/10/2024\"\r\nVer=\"3.1.0.7\"\r\n"));
    ASSERT_TRUE(WriteInfUtf16(utf16, std::string(head) + "DriverVer = %DriverVersion%\r\n[Strings]\r\n"
                                                         "DriverVersion=\"05/01/2023,1.2.3.4\"\r\n"));
    ASSERT_TRUE(WriteInfAnsi(none, head));
    DriverVersion version, other;
    char text[DRIVER_VERSION_TEXT_CAPACITY];
    ASSERT_TRUE(ReadDriverVersion(ansi.c_str(), &version));
    FormatDriverVersion(&version, text);
    EXPECT_STREQ("3.1.0.7 of 2024-02-10", text);
    ASSERT_TRUE(ReadDriverVersion(utf16.c_str(), &other));
    FormatDriverVersion(&other, text);
    EXPECT_STREQ("1.2.3.4 of 2023-05-01", text);
    EXPECT_FALSE(SameDriverVersion(&version, &other));
    EXPECT_FALSE(ReadDriverVersion(none.c_str(), &other));
    ASSERT_TRUE(ParseDriverVer("02/10/2024", "3.1.0.7", &other));
    EXPECT_TRUE(SameDriverVersion(&version, &other));

    // The key's DDInstall section (of its models decoration) before [Version].
    std::string twice = dir + "\\twice.inf";
    ASSERT_TRUE(WriteInfUtf16(twice, std::string(head) + "DriverVer=06/12/2015,3.0.2.44\r\n[Manufacturer]\r\n"
                              "M=Models,NTamd64.6.0\r\n[Models.NTamd64.6.0]\r\nK=Inst,USB\\VID_FE17&PID_0101\r\n"
                              "[Inst.NT]\r\nDriverVer=01/01/2030,9.0.0.0\r\n[Inst.NTamd64]\r\n"
                              "DriverVer=01/15/2024,3.1.0.5\r\n"));
    ASSERT_TRUE(ReadDriverVersion(twice.c_str(), &other));
    FormatDriverVersion(&other, text);
    EXPECT_STREQ("3.1.0.5 of 2024-01-15", text);
    RemoveTree(dir);
}

// Windows' ranking: the later date, then the higher version number.
TEST(KeycheckReport, RanksDriverVersions)
{
    const char *const cases[] = {"01/15/2024,3.1.0.5", "06/12/2015,3.0.2.100", "06/12/2015,3.0.2.44", "09/30/2013,4.0",
                                 "06/12/2015,3.0.1.99", "2015,3.0.2.44", "06/12/2015,3.0.x"};
    const DriverRank ranks[] = {RANK_NEWER, RANK_NEWER, RANK_SAME, RANK_OLDER, RANK_OLDER, RANK_NOT_COMPARABLE,
                                RANK_NOT_COMPARABLE};
    DriverVersion build, other;
    ASSERT_TRUE(ParseDriverVer("06/12/2015", "3.0.2.44", &build));
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        ASSERT_TRUE(ParseDriverVer(cases[i], "", &other));
        EXPECT_EQ(ranks[i], RankDriverVersion(&other, &build)) << cases[i];
    }
}

// The window rule: only a console made for keycheck alone, in a session a
// user sees, waits (from Explorer the classic console and a terminal's
// pseudoconsole answer alike); every other host's answer means no wait.
TEST(KeycheckReport, WaitsOnlyInItsOwnWindow)
{
    const ConsoleAnswers explorer = {true, 1, true, true, true, true, false, false, true, true};
    ConsoleAnswers xpUser = explorer, other[9];
    xpUser.sessionZero = true; // the console user's session before Vista
    xpUser.sessionZeroIsolated = false;
    EXPECT_TRUE(ShouldWaitForEnter(&explorer) && ShouldWaitForEnter(&xpUser));
    for (ConsoleAnswers &host : other)
        host = explorer;
    other[0].processCount = 2;          // a console, a script, a terminal's shell
    other[1].outputIsConsole = false;   // output redirected
    other[2].inputIsConsole = false;    // input redirected
    other[3].hasConsoleWindow = false;
    other[4].startedHidden = true;      // a tool asking for SW_HIDE
    other[5].sessionZero = true;        // a deployment tool as SYSTEM, Vista and later
    other[6].processListKnown = false;  // before XP
    other[7].interactiveStation = false; // a service's window station
    other[8].consoleWindowIsWindow = false; // 1809's handle for CREATE_NO_WINDOW
    for (int i = 0; i < 9; ++i)
        EXPECT_FALSE(ShouldWaitForEnter(&other[i])) << "host " << i;
}

} // namespace
