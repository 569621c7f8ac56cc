#include <gtest/gtest.h>

#include "platform.h"
#include "wine_test.h"

namespace {

OSVERSIONINFOA Version(DWORD platformId, DWORD major, DWORD minor)
{
    OSVERSIONINFOA v;
    ZeroMemory(&v, sizeof(v));
    v.dwOSVersionInfoSize = sizeof(v);
    v.dwPlatformId = platformId;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    return v;
}

PlatformClass Classify(DWORD platformId, DWORD major, DWORD minor)
{
    OSVERSIONINFOA v = Version(platformId, major, minor);
    return ClassifyPlatform(TRUE, &v);
}

const DWORD NINE_X = VER_PLATFORM_WIN32_WINDOWS;
const DWORD NT = VER_PLATFORM_WIN32_NT;

TEST(ClassifyPlatform, EveryRowOfTheTable)
{
    EXPECT_EQ(PLATFORM_NT3, Classify(NT, 3, 51));
    EXPECT_EQ(PLATFORM_WIN95, Classify(NINE_X, 4, 0));
    EXPECT_EQ(PLATFORM_WIN98, Classify(NINE_X, 4, 10));
    EXPECT_EQ(PLATFORM_WINME, Classify(NINE_X, 4, 90));
    EXPECT_EQ(PLATFORM_NT4, Classify(NT, 4, 0));
    EXPECT_EQ(PLATFORM_WIN2000, Classify(NT, 5, 0));
    EXPECT_EQ(PLATFORM_WINXP, Classify(NT, 5, 1));
    EXPECT_EQ(PLATFORM_WIN2003, Classify(NT, 5, 2));
    EXPECT_EQ(PLATFORM_VISTA, Classify(NT, 6, 0));
    EXPECT_EQ(PLATFORM_VISTA, Classify(NT, 6, 1));
    EXPECT_EQ(PLATFORM_VISTA, Classify(NT, 6, 2));
    EXPECT_EQ(PLATFORM_VISTA, Classify(NT, 6, 3));
}

TEST(ClassifyPlatform, OutsideTheTableIsOther)
{
    OSVERSIONINFOA xp = Version(NT, 5, 1);

    EXPECT_EQ(PLATFORM_OTHER, ClassifyPlatform(FALSE, &xp));
    EXPECT_EQ(PLATFORM_OTHER, Classify(NT, 5, 3));
    EXPECT_EQ(PLATFORM_OTHER, Classify(NT, 10, 0));
    EXPECT_EQ(PLATFORM_OTHER, Classify(NT, 7, 0));
    EXPECT_EQ(PLATFORM_OTHER, Classify(NINE_X, 4, 11));
    EXPECT_EQ(PLATFORM_OTHER, Classify(VER_PLATFORM_WIN32s, 3, 10));
    EXPECT_EQ(PLATFORM_OTHER, Classify(3, 5, 1));
    // For the 9x platform only the minor version decides.
    EXPECT_EQ(PLATFORM_WIN98, Classify(NINE_X, 9, 10));
}

TEST(ClassifyPlatform, Win9xFlagIsExactly98AndMe)
{
    for (PlatformClass c = PLATFORM_OTHER; c <= PLATFORM_VISTA; ++c)
        EXPECT_EQ(c == PLATFORM_WIN98 || c == PLATFORM_WINME, IsWin9xClass(c)) << c;
}

TEST(ChooseWow64Branch, OnlyAnArm64MachineLeavesTheX64Branch)
{
    EXPECT_EQ(BRANCH_WOW64_ARM64, ChooseWow64Branch(true, true, IMAGE_FILE_MACHINE_ARM64));
    EXPECT_EQ(BRANCH_WOW64_X64, ChooseWow64Branch(true, true, IMAGE_FILE_MACHINE_AMD64));
    EXPECT_EQ(BRANCH_WOW64_X64, ChooseWow64Branch(true, true, IMAGE_FILE_MACHINE_IA64));
    EXPECT_EQ(BRANCH_WOW64_X64, ChooseWow64Branch(true, true, IMAGE_FILE_MACHINE_UNKNOWN));
    // IsWow64Process2 missing or failed: whatever its output holds is ignored.
    EXPECT_EQ(BRANCH_WOW64_X64, ChooseWow64Branch(true, false, IMAGE_FILE_MACHINE_ARM64));
    EXPECT_EQ(BRANCH_NOT_WOW64, ChooseWow64Branch(false, true, IMAGE_FILE_MACHINE_ARM64));
    EXPECT_EQ(BRANCH_NOT_WOW64, ChooseWow64Branch(false, false, IMAGE_FILE_MACHINE_UNKNOWN));
}

struct Emulated {
    const char *version;
    PlatformClass expected;
};

// Runs the probe under Wine's emulation of each Windows; the probe reports
// class * 10 + WOW64.
TEST(PlatformDetection, RealQueryUnderVersionEmulation)
{
    const Emulated cases[] = {
        {"win95", PLATFORM_WIN95}, {"win98", PLATFORM_WIN98}, {"winme", PLATFORM_WINME},
        {"nt40", PLATFORM_NT4}, {"win2k", PLATFORM_WIN2000}, {"winxp", PLATFORM_WINXP},
        {"win2003", PLATFORM_WIN2003}, {"vista", PLATFORM_VISTA}, {"win7", PLATFORM_VISTA},
        {"win10", PLATFORM_VISTA},
    };
    std::string dir = MakeScratchDir("platform");
    DWORD wow64 = IsRunningUnderWow64() ? 1 : 0;

    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        std::string name = std::string("probe_") + cases[i].version + ".exe";
        std::string probe = CopyProgram("platform_probe.exe", dir, name);
        SetEmulatedVersion(name, cases[i].version);
        EXPECT_EQ((DWORD)cases[i].expected * 10 + wow64, RunProgram(Quoted(probe)))
            << cases[i].version;
        SetEmulatedVersion(name, "");
    }
    RemoveTree(dir);
}

// Which prefix this runs in is the test's setting: EXPECT_WOW64 says.
TEST(PlatformDetection, Wow64MatchesThePrefix)
{
    const char *expected = getenv("EXPECT_WOW64");
    ASSERT_TRUE(expected != NULL);
    EXPECT_EQ(expected[0] == '1', IsRunningUnderWow64());
    // The real IsWow64Process2 on x86-64: today's branch.
    EXPECT_EQ(expected[0] == '1' ? BRANCH_WOW64_X64 : BRANCH_NOT_WOW64, GetWow64Branch());

    char dir[MAX_PATH];
    ASSERT_TRUE(GetInstallSystemDir(dir, IsRunningUnderWow64()));
    std::string tail = std::string(dir).substr(strlen(dir) - 8);
    EXPECT_EQ(0, lstrcmpiA(tail.c_str(), expected[0] == '1' ? "syswow64" : "system32")) << dir;
}

} // namespace
