// The uninstaller's Add/Remove Programs entry.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "install_plan.h"
#include "keysetup_version.h"
#include "registration.h"
#include "wine_test.h"

namespace {

const char UNINSTALL_PARENT[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char ENTRY_NAME[] = "VORevizeRidarorar";
const char ENTRY_PATH[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VORevizeRidarorar";

void DeleteEntry(REGSAM view)
{
    HKEY parent = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_PARENT, 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    RegDeleteKeyA(parent, ENTRY_NAME);
    RegCloseKey(parent);
}

void ExpectStringValue(HKEY key, const char *name, const std::string &expected, int line)
{
    char data[1024] = {0};
    DWORD type = 0;
    DWORD size = sizeof(data);

    SCOPED_TRACE(testing::Message() << "value " << name << ", called from line " << line);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, NULL, &type, (BYTE *)data, &size));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(expected.size() + 1, size);
    EXPECT_EQ(expected, std::string(data));
}

void ExpectFlagValue(HKEY key, const char *name, int line)
{
    DWORD data = 0;
    DWORD type = 0;
    DWORD size = sizeof(data);

    SCOPED_TRACE(testing::Message() << "value " << name << ", called from line " << line);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, NULL, &type, (BYTE *)&data, &size));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(1u, data);
}

// The entry holds exactly the three values that start the uninstaller,
// with this data, and the version, publisher and flags for inventories.
void ExpectEntry(const std::string &icon, const std::string &command, int line, REGSAM view = 0)
{
    HKEY key = NULL;
    DWORD valueCount = 0;

    SCOPED_TRACE(testing::Message() << "called from line " << line);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, ENTRY_PATH, 0, KEY_READ | view, &key));
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, &valueCount, NULL, NULL, NULL, NULL));
    EXPECT_EQ(6u + KEYSETUP_HAS_PUBLISHER, valueCount);
    ExpectStringValue(key, "DisplayIcon", icon, line);
    ExpectStringValue(key, "DisplayName", "VORevizeRidarorar", line);
    ExpectStringValue(key, "UninstallString", command, line);
    ExpectStringValue(key, "DisplayVersion", "3.0.2.44", line);
    if (KEYSETUP_HAS_PUBLISHER)
        ExpectStringValue(key, "Publisher", KEYSETUP_PUBLISHER_TEXT, line);
    ExpectFlagValue(key, "NoModify", line);
    ExpectFlagValue(key, "NoRepair", line);
    RegCloseKey(key);
}

// A path of exactly length characters ending in the uninstaller's name.
std::string PathOfLength(size_t length, bool withBlank)
{
    std::string tail = "\\QV_DRVUNI.exe";
    std::string head = withBlank ? "C:\\Program Files\\" : "C:\\";
    return head + std::string(length - head.size() - tail.size(), 'd') + tail;
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteEntry(KEY_WOW64_32KEY);
        DeleteEntry(KEY_WOW64_64KEY);
    }
    void TearDown() override
    {
        DeleteEntry(KEY_WOW64_32KEY);
        DeleteEntry(KEY_WOW64_64KEY);
    }
};

typedef Registration RegistrationView;

TEST_F(Registration, WritesTheValuesAndRewritesThem)
{
    const std::string first = "C:\\WINDOWS\\system32\\QV_DRVUNI.exe";
    const std::string second = "C:\\windows\\syswow64\\QV_DRVUNI.exe";

    EXPECT_EQ(1, RegisterUninstallEntry(first.c_str()));
    ExpectEntry(first, first + " -u", __LINE__);
    EXPECT_EQ(1, RegisterUninstallEntry(second.c_str()));
    ExpectEntry(second, second + " -u", __LINE__);
}

TEST_F(Registration, QuotesAPathWithABlank)
{
    const std::string path = "C:\\Program Files\\x\\QV_DRVUNI.exe";

    EXPECT_EQ(1, RegisterUninstallEntry(path.c_str()));
    ExpectEntry(path, "\"" + path + "\" -u", __LINE__);
}

// The command must fit 259 characters; one that does not is not written
// and leaves the registry as it was.
TEST_F(Registration, CommandTooLongWritesNothing)
{
    const std::string longest = PathOfLength(256, false);
    const std::string longestQuoted = PathOfLength(254, true);

    EXPECT_EQ(0, RegisterUninstallEntry(PathOfLength(257, false).c_str()));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, ENTRY_PATH));
    EXPECT_EQ(0, RegisterUninstallEntry(PathOfLength(255, true).c_str()));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, ENTRY_PATH));

    EXPECT_EQ(1, RegisterUninstallEntry(longestQuoted.c_str()));
    ExpectEntry(longestQuoted, "\"" + longestQuoted + "\" -u", __LINE__);
    EXPECT_EQ(1, RegisterUninstallEntry(longest.c_str()));
    ExpectEntry(longest, longest + " -u", __LINE__);
    EXPECT_EQ(0, RegisterUninstallEntry(PathOfLength(257, false).c_str()));
    ExpectEntry(longest, longest + " -u", __LINE__);
}

// A build without this Windows' package (as one made without the ARM64
// package is on ARM64 Windows) installs nothing and registers no entry:
// this test program carries no payload at all.
TEST_F(Registration, BuildWithoutTheBranchInstallsNothing)
{
    EXPECT_EQ(0, RunInstall(GetModuleHandleA(NULL)));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, ENTRY_PATH));
}

// Run in a 64-bit prefix: a 32-bit installer's entry goes to the 32-bit
// view, where the 32-bit uninstaller deletes it.
TEST_F(RegistrationView, LandsInThe32BitView)
{
    const std::string path = "C:\\windows\\syswow64\\QV_DRVUNI.exe";
    BOOL wow64 = FALSE;

    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    ASSERT_TRUE(wow64) << "this test needs a 64-bit prefix";
    EXPECT_EQ(1, RegisterUninstallEntry(path.c_str()));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, ENTRY_PATH, KEY_WOW64_32KEY));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, ENTRY_PATH, KEY_WOW64_64KEY));
    ExpectEntry(path, path + " -u", __LINE__, KEY_WOW64_32KEY);
}

} // namespace
