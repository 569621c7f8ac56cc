// keycheck's "/log" in process: Windows' setup log of several megabytes,
// planted in a Windows directory of the test's own, gives exactly the
// sections that name the key, each cut to its first and last 40 lines.
#include <gtest/gtest.h>

#include <string>

#include "setup_log.h"
#include "wine_test.h"

namespace {

const char *const NEEDLES[] = {"USB\\VID_FE17&PID_0101", "ZIVIRIZ.inf", "oem87.inf"};

std::string Lines(const std::string &prefix, int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += prefix + std::to_string(i) + "\r\n";
    return text;
}

// A section Windows writes for another device, about 1 KiB.
std::string OtherDevSection(int n)
{
    return ">>>  [Device Install (Hardware initiated) - PCI\\VEN_8086&DEV_" + std::to_string(n) + "]\r\n" +
           Lines("     dvi: other device line ", 18) + "<<<  Section end 2023/05/01 10:00:00.000\r\n"
           "<<<  [Exit status: SUCCESS]\r\n\r\n";
}

std::string OtherDevSections(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += OtherDevSection(i);
    return text;
}

// The report of ShowSetupLog for a Windows directory of the test's own.
std::string ShowLog(PlatformClass platform, const std::string &windowsDir)
{
    std::string out = windowsDir + "\\shown.txt";
    HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    Report report = {file, false, NULL};
    ShowSetupLog(&report, platform, windowsDir.c_str(), NEEDLES, 3);
    CloseHandle(file);
    return ReadBytes(out);
}

std::string Shown(int index, int count, const std::string &path, const std::string &section)
{
    return "setup log section " + std::to_string(index) + " of " + std::to_string(count) + ", from " + path +
           ":\r\n" + section;
}

TEST(KeycheckSetupLog, DevLogGivesExactlyTheKeysSections)
{
    std::string dir = MakeScratchDir("setuplog");
    CreateDirectoryA((dir + "\\inf").c_str(), NULL);
    std::string log = dir + "\\inf\\setupapi.dev.log";
    // Names in headers upper case, in bodies lower case.
    std::string first = ">>>  [Device Install (Hardware initiated) - USB\\VID_FE17&PID_0101\\5&1A2B]\r\n" +
                        Lines("     ndv: line ", 3) + "<<<  Section end 2023/05/01 10:00:01.000\r\n"
                        "<<<  [Exit status: SUCCESS]\r\n";
    std::string head = ">>>  [SetupCopyOEMInf - C:\\key\\package\\setup.inf]\r\n     inf: copied to oem87.INF\r\n" +
                       Lines("     inf: head ", 38);
    std::string tail = Lines("     inf: tail ", 39) + "<<<  [Exit status: SUCCESS]\r\n";
    std::string middle = head + Lines("     inf: left out ", 120) + tail;
    // Matching text after an Exit line belongs to no section.
    std::string between = OtherDevSection(7777) + "     usb\\vid_fe17&pid_0101 after the exit\r\n\r\n";
    std::string last = ">>>  [Device Install - ROOT\\SYSTEM\\0001]\r\n     sto: ziviriz.inf\r\n"
                       "<<<  Section end 2024/02/10 09:00:00.000\r\n";
    std::string content = "[Device Install Log]\r\n     OS Version = 10.0.19045\r\n" + OtherDevSections(2) + first +
                          OtherDevSections(2500) + middle + between + OtherDevSections(2500) + last +
                          "     after its Section end\r\n" + OtherDevSection(9999);
    ASSERT_TRUE(WriteBytes(log, content));
    ASSERT_GT(content.size(), 3000000u);

    std::string cut = head + "     [... 120 lines left out ...]\r\n" + tail;
    EXPECT_EQ("setup log: the last 3 sections that name the key\r\n" + Shown(1, 3, log, first) +
                  Shown(2, 3, log, cut) + Shown(3, 3, log, last),
              ShowLog(PLATFORM_VISTA, dir));
    RemoveTree(dir);
}

// setupapi.log of Windows 2000/XP/2003: sections from "[" date-and-time
// lines; the last 5 of 6 that match, oldest first; none before 2000.
TEST(KeycheckSetupLog, XpLogGivesTheLastFiveSections)
{
    std::string dir = MakeScratchDir("setuplogxp");
    std::string log = dir + "\\setupapi.log";
    std::string content = "[SetupAPI Log]\r\nOS Version = 5.1.2600 Service Pack 3\r\n";
    std::string sections[6];
    for (int i = 0; i < 6; ++i) {
        sections[i] = "[2009/03/2" + std::to_string(i) + " 10:00:00 1234.5]\r\n#-198 Command line processed\r\n"
                      "#I022 Found \"usb\\vid_fe17&pid_0101\" in C:\\WINDOWS\\inf\\oem87.inf\r\n";
        content += sections[i] + "[2009/03/2" + std::to_string(i) + " 10:00:01 99.1]\r\n#I063 other device\r\n" +
                   "[SetupAPI Log]\r\nOS Version = 5.1.2600 Service Pack 3\r\n";
    }
    ASSERT_TRUE(WriteBytes(log, content));
    std::string expected = "setup log: the last 5 sections that name the key\r\n";
    for (int i = 1; i < 6; ++i)
        expected += Shown(i, 5, log, sections[i]);
    EXPECT_EQ(expected, ShowLog(PLATFORM_WINXP, dir));
    EXPECT_EQ("setup log: no setup log on this Windows\r\n", ShowLog(PLATFORM_WIN98, dir));
    RemoveTree(dir);
}

} // namespace
