#include <gtest/gtest.h>

#include <windows.h>
#include <stdlib.h>

#include <string>

#include "inf_files.h"
#include "inf_purge.h"
#include "system_names.h"
#include "wine_test.h"

namespace {

const char WINDIR[] = "windir";

std::string InfFor(const std::string &manufacturerLines, const std::string &sections)
{
    return "[Version]\nSignature=\"$Windows NT$\"\nClass=USB\nProvider=%Mfg%\n\n[Manufacturer]\n" + manufacturerLines +
           "\n" + sections + "\n[Strings]\nMfg=\"Test maker\"\nDev=\"Test key\"\n";
}

const std::string MATCHING_INF =
    InfFor("%Mfg%=Models,NTx86", std::string("[Models.NTx86]\n%Dev%=Install,") + DEVICE_HARDWARE_ID + "\n");
const std::string COMPATIBLE_ONLY_INF =
    InfFor("%Mfg%=Models", std::string("[Models]\n%Dev%=Install,USB\\VID_0BAD&PID_0001,") + DEVICE_HARDWARE_ID + "\n");
const std::string SECOND_MANUFACTURER_INF =
    InfFor("%Mfg%=Models\nOther=Second", std::string("[Models]\n%Dev%=Install,USB\\VID_0BAD&PID_0001\n[Second]\n"
                                                     "%Dev%=Install,") + DEVICE_HARDWARE_ID + "\n");
const char PNF_BYTES[] = "precompiled";

class InfPurge : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *windir = getenv(WINDIR);
        hadWindir_ = windir != NULL;
        savedWindir_ = windir ? windir : "";
        scratch_ = MakeScratchDir("infpurge");
    }
    void TearDown() override
    {
        _putenv((std::string(WINDIR) + "=" + savedWindir_).c_str());
        ASSERT_EQ(hadWindir_, getenv(WINDIR) != NULL);
        RemoveTree(scratch_);
    }

    // windir names windowsDir, whose inf directory is created; returns it.
    static std::string PointWindirAt(int line, const std::string &windowsDir)
    {
        SCOPED_TRACE(testing::Message() << "windir set at line " << line);
        std::string infDir = windowsDir + "\\inf";
        CreateDirectoryA(windowsDir.c_str(), NULL);
        EXPECT_TRUE(CreateDirectoryA(infDir.c_str(), NULL)) << infDir;
        EXPECT_EQ(0, _putenv((std::string(WINDIR) + "=" + windowsDir).c_str()));
        return infDir;
    }

    static void Write(int line, const std::string &path, const std::string &text, bool utf16 = false,
                      bool readOnly = false)
    {
        SCOPED_TRACE(testing::Message() << "written at line " << line);
        ASSERT_TRUE(utf16 ? WriteInfUtf16(path, text) : WriteInfAnsi(path, text)) << path;
        if (readOnly) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY)) << path;
        }
    }

    // A windows directory of exactly length characters under the scratch one.
    std::string WindowsDirOfLength(size_t length)
    {
        size_t nameLength = length - scratch_.size() - 1;
        EXPECT_LT(scratch_.size() + 1, length);
        return scratch_ + "\\" + std::string(nameLength, 'w');
    }

    bool hadWindir_ = false;
    std::string savedWindir_;
    std::string scratch_;
};

TEST_F(InfPurge, DeletesMatchingOemInfsWithTheirTwinsOnly)
{
    std::string inf = PointWindirAt(__LINE__, scratch_ + "\\windows");
    Write(__LINE__, inf + "\\oem3.inf", MATCHING_INF, true, true);
    Write(__LINE__, inf + "\\oem3.pnf", PNF_BYTES, false, true);
    Write(__LINE__, inf + "\\OEM5.INF", MATCHING_INF);
    Write(__LINE__, inf + "\\oem8.inf", COMPATIBLE_ONLY_INF);
    Write(__LINE__, inf + "\\oem8.pnf", PNF_BYTES);
    Write(__LINE__, inf + "\\oem9.inf", SECOND_MANUFACTURER_INF, true);
    Write(__LINE__, inf + "\\oem9.pnf", PNF_BYTES);
    Write(__LINE__, inf + "\\ziviriz.inf", MATCHING_INF);
    Write(__LINE__, inf + "\\ziviriz.pnf", PNF_BYTES);
    Write(__LINE__, inf + "\\oem1.inf.bak", MATCHING_INF);
    Write(__LINE__, inf + "\\oem2.pnf", PNF_BYTES);

    EXPECT_EQ(0, PurgeOemInfs(DEVICE_HARDWARE_ID));

    EXPECT_FALSE(FileExists(inf + "\\oem3.inf"));
    EXPECT_FALSE(FileExists(inf + "\\oem3.pnf"));
    EXPECT_FALSE(FileExists(inf + "\\OEM5.INF"));
    EXPECT_EQ(COMPATIBLE_ONLY_INF, ReadBytes(inf + "\\oem8.inf"));
    EXPECT_EQ(PNF_BYTES, ReadBytes(inf + "\\oem8.pnf"));
    EXPECT_TRUE(FileExists(inf + "\\oem9.inf"));
    EXPECT_EQ(PNF_BYTES, ReadBytes(inf + "\\oem9.pnf"));
    EXPECT_EQ(MATCHING_INF, ReadBytes(inf + "\\ziviriz.inf"));
    EXPECT_EQ(PNF_BYTES, ReadBytes(inf + "\\ziviriz.pnf"));
    EXPECT_EQ(MATCHING_INF, ReadBytes(inf + "\\oem1.inf.bak"));
    EXPECT_EQ(PNF_BYTES, ReadBytes(inf + "\\oem2.pnf"));
}

TEST_F(InfPurge, WithoutOemInfsFailsAndTouchesNothing)
{
    std::string inf = PointWindirAt(__LINE__, scratch_ + "\\windows");
    Write(__LINE__, inf + "\\ziviriz.inf", MATCHING_INF);
    Write(__LINE__, inf + "\\oem4.pnf", PNF_BYTES);

    EXPECT_EQ(-1, PurgeOemInfs(DEVICE_HARDWARE_ID));
    EXPECT_EQ(MATCHING_INF, ReadBytes(inf + "\\ziviriz.inf"));
    EXPECT_EQ(PNF_BYTES, ReadBytes(inf + "\\oem4.pnf"));

    ASSERT_EQ(0, _putenv((std::string(WINDIR) + "=" + scratch_ + "\\nowhere").c_str()));
    EXPECT_EQ(-1, PurgeOemInfs(DEVICE_HARDWARE_ID));
}

// In the system's INF directory setupapi removes the package (Wine's
// function deletes the .inf and keeps the .pnf, and refuses a read-only
// copy): what it leaves goes by hand. A copy elsewhere of the same name as
// one of the system's is not passed to it, which would remove the system's.
TEST_F(InfPurge, SystemCopiesThroughSetupapiOthersOnlyByHand)
{
    std::string systemInf = WindowsDir() + "\\inf";
    ASSERT_EQ(0, _putenv((std::string(WINDIR) + "=" + WindowsDir()).c_str()));
    Write(__LINE__, systemInf + "\\oem4711.inf", MATCHING_INF, true);
    Write(__LINE__, systemInf + "\\oem4711.pnf", PNF_BYTES);
    Write(__LINE__, systemInf + "\\oem4712.inf", MATCHING_INF, false, true);
    Write(__LINE__, systemInf + "\\oem4712.pnf", PNF_BYTES, false, true);
    Write(__LINE__, systemInf + "\\oem4713.inf", COMPATIBLE_ONLY_INF);
    EXPECT_EQ(0, PurgeOemInfs(DEVICE_HARDWARE_ID));
    const char *gone[] = {"oem4711.inf", "oem4711.pnf", "oem4712.inf", "oem4712.pnf"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_FALSE(FileExists(systemInf + "\\" + gone[i])) << gone[i];

    std::string inf = PointWindirAt(__LINE__, scratch_ + "\\windows");
    Write(__LINE__, inf + "\\oem4713.inf", MATCHING_INF);
    EXPECT_EQ(0, PurgeOemInfs(DEVICE_HARDWARE_ID));
    EXPECT_FALSE(FileExists(inf + "\\oem4713.inf"));
    EXPECT_EQ(COMPATIBLE_ONLY_INF, ReadBytes(systemInf + "\\oem4713.inf"));
    DeleteFileA((systemInf + "\\oem4713.inf").c_str());
}

// Without windir the system's own Windows directory is not used instead.
TEST_F(InfPurge, UnsetWindirFailsAtOnce)
{
    std::string systemCopy = WindowsDir() + "\\inf\\oem4242.inf";
    Write(__LINE__, systemCopy, MATCHING_INF);

    ASSERT_EQ(0, _putenv((std::string(WINDIR) + "=").c_str()));
    ASSERT_TRUE(getenv(WINDIR) == NULL);
    EXPECT_EQ(-1, PurgeOemInfs(DEVICE_HARDWARE_ID));
    EXPECT_EQ(MATCHING_INF, ReadBytes(systemCopy));
    DeleteFileA(systemCopy.c_str());
}

// 242 characters leave room for "\inf\oem*.inf" (255 in all); 243 do not,
// though "\inf\" still fits. A file name that does not fit is passed over.
TEST_F(InfPurge, WindowsDirectoryMustLeaveRoomForThePattern)
{
    std::string inf = PointWindirAt(__LINE__, WindowsDirOfLength(242));
    ASSERT_EQ(246u, inf.size());
    Write(__LINE__, inf + "\\oem1.inf", MATCHING_INF);
    Write(__LINE__, inf + "\\oem12345.inf", MATCHING_INF);
    EXPECT_EQ(0, PurgeOemInfs(DEVICE_HARDWARE_ID));
    EXPECT_FALSE(FileExists(inf + "\\oem1.inf"));
    EXPECT_EQ(MATCHING_INF, ReadBytes(inf + "\\oem12345.inf"));

    std::string longInf = PointWindirAt(__LINE__, WindowsDirOfLength(243));
    Write(__LINE__, longInf + "\\oem1.inf", MATCHING_INF);
    EXPECT_EQ(-1, PurgeOemInfs(DEVICE_HARDWARE_ID));
    EXPECT_EQ(MATCHING_INF, ReadBytes(longInf + "\\oem1.inf"));

    ASSERT_EQ(0, _putenv((std::string(WINDIR) + "=" + std::string(256, 'w')).c_str()));
    EXPECT_EQ(-1, PurgeOemInfs(DEVICE_HARDWARE_ID));
}

} // namespace
