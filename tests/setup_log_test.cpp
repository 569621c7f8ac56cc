// keycheck's "/log" in process, on setup logs planted in a Windows
// directory of the test's own: exactly the sections that name the key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup_log.h"
#include "wine_test.h"

namespace {

std::string Lines(const std::string &prefix, int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += prefix + std::to_string(i) + "\r\n";
    return text;
}

// Sections Windows writes for other devices, about 1 KiB each.
std::string OtherSections(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += ">>>  [Device Install - PCI\\VEN_8086&DEV_" + std::to_string(i) + "]\r\n" + Lines("     dvi: {Build Driver List} another device, line ", 18) +
                "<<<  Section end 2023/05/01 10:00:00.000\r\n<<<  [Exit status: SUCCESS]\r\n\r\n";
    return text;
}

// ShowSetupLog's output for the Windows directory dir.
std::string Shown(PlatformClass platform, const std::string &dir)
{
    const char *const needles[] = {"USB\\VID_FE17&PID_0101", "ZIVIRIZ.inf", "oem87.inf"};
    std::string out = dir + "\\shown.txt";
    HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    Report report = {file, false, NULL};
    ShowSetupLog(&report, platform, dir.c_str(), needles, 3);
    CloseHandle(file);
    return ReadBytes(out);
}

// expected: the sections ShowSetupLog must show, oldest first, all of log.
void ExpectShown(PlatformClass platform, const std::string &dir, const std::string &log,
                 const std::vector<std::string> &expected)
{
    std::string text = "setup log: the last " + std::to_string(expected.size()) + " sections that name the key\r\n";
    for (size_t i = 0; i < expected.size(); ++i)
        text += "setup log section " + std::to_string(i + 1) + " of " + std::to_string(expected.size()) +
                ", from " + log + ":\r\n" + expected[i];
    EXPECT_EQ(text, Shown(platform, dir));
}

// Names upper case in headers, lower case in bodies; a section ends at its
// Exit line, else at its Section end line; long ones are cut to 40 + 40.
TEST(KeycheckSetupLog, DevLogGivesExactlyTheKeysSections)
{
    std::string dir = MakeScratchDir("setuplog"), log = dir + "\\inf\\setupapi.dev.log";
    std::string first = ">>>  [Device Install - USB\\VID_FE17&PID_0101\\5&1A2B]\r\n     ndv: x\r\n"
                        "<<<  Section end 2023/05/01 10:00:01.000\r\n<<<  [Exit status: SUCCESS]\r\n";
    std::string head = ">>>  [SetupCopyOEMInf - C:\\k\\setup.inf]\r\n     inf: to oem87.INF\r\n" + Lines("     h", 38);
    std::string tail = Lines("     t", 39) + "<<<  [Exit status: SUCCESS]\r\n";
    std::string last = ">>>  [Device Install - ROOT\\SYSTEM\\0001]\r\n     sto: ziviriz.inf\r\n"
                       "<<<  Section end 2024/02/10 09:00:00.000\r\n";
    std::string content = "[Device Install Log]\r\n" + OtherSections(2) + first + OtherSections(2500) + head +
                          Lines("     cut ", 120) + tail + OtherSections(1) +
                          "     usb\\vid_fe17&pid_0101 after an Exit line: in no section\r\n" + OtherSections(2500) +
                          last + "     after its Section end\r\n" + OtherSections(1);
    CreateDirectoryA((dir + "\\inf").c_str(), NULL);
    ASSERT_TRUE(WriteBytes(log, content) && content.size() > 3000000);
    ExpectShown(PLATFORM_VISTA, dir, log, {first, head + "     [... 120 lines left out ...]\r\n" + tail, last});
    RemoveTree(dir);
}

// setupapi.log of 2000/XP/2003: sections from "[" date-and-time lines, the
// last 5 of 6; nothing before 2000.
TEST(KeycheckSetupLog, XpLogGivesTheLastFiveSections)
{
    std::string dir = MakeScratchDir("setuplogxp"), log = dir + "\\setupapi.log";
    std::string content = "[SetupAPI Log]\r\n";
    std::vector<std::string> sections;
    for (int i = 0; i < 6; ++i) {
        sections.push_back("[2009/03/2" + std::to_string(i) + " 10:00:00 12.5]\r\n#I022 Found \"usb\\vid_fe17&pid_"
                           "0101\" in C:\\WINDOWS\\inf\\oem87.inf\r\n");
        content += sections.back() + "[2009/03/2" + std::to_string(i) + " 10:00:01 99.1]\r\n#I063 other\r\n" +
                   "[SetupAPI Log]\r\nOS Version = 5.1.2600 Service Pack 3\r\n";
    }
    ASSERT_TRUE(WriteBytes(log, content));
    ExpectShown(PLATFORM_WINXP, dir, log, std::vector<std::string>(sections.begin() + 1, sections.end()));
    EXPECT_EQ("setup log: no setup log on this Windows\r\n", Shown(PLATFORM_WIN98, dir));
    RemoveTree(dir);
}

// An administrator's LogPath (with its trailing backslash) moves the log
// and its rotated copies; a log held without sharing is there, unreadable.
TEST(KeycheckSetupLog, ReadsTheFolderLogPathNames)
{
    std::string windows = MakeScratchDir("setuplogwin"), moved = MakeScratchDir("setuplogmoved");
    std::string log = moved + "\\setupapi.dev.log", rotated = moved + "\\setupapi.dev.20240101_090000.log";
    std::string older = ">>>  [Device Install - USB\\VID_FE17&PID_0101\\1]\r\n<<<  [Exit status: FAILURE(0xe0000219)]\r\n";
    std::string newer = ">>>  [Device Install - USB\\VID_FE17&PID_0101\\2]\r\n<<<  [Exit status: SUCCESS]\r\n";
    ASSERT_TRUE(WriteBytes(rotated, "[Device Install Log]\r\n" + older + OtherSections(1)));
    ASSERT_TRUE(WriteBytes(log, "[Device Install Log]\r\n" + OtherSections(1) + newer));
    ASSERT_TRUE(SetSetupLogPath(moved + "\\"));
    EXPECT_EQ("setup log: the last 2 sections that name the key\r\nsetup log section 1 of 2, from " + rotated +
                  ":\r\n" + older + "setup log section 2 of 2, from " + log + ":\r\n" + newer,
              Shown(PLATFORM_VISTA, windows));
    HANDLE held = CreateFileA(log.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ("setup log: " + log + " is there but cannot be opened (error 32)\r\n", Shown(PLATFORM_VISTA, windows));
    CloseHandle(held);
    EXPECT_TRUE(SetSetupLogPath(""));
    EXPECT_EQ("setup log: there is no " + windows + "\\inf\\setupapi.dev.log\r\n", Shown(PLATFORM_VISTA, windows));
    RemoveTree(windows);
    RemoveTree(moved);
}

} // namespace
