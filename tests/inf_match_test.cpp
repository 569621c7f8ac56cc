#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "inf_files.h"
#include "inf_match.h"
#include "system_names.h"
#include "wine_test.h"

namespace {

const char VERSION_SECTION[] =
    "[Version]\n"
    "Signature=\"$Windows NT$\"\n"
    "Class=USB\n"
    "ClassGuid={36FC9E60-C465-11CF-8056-444553540000}\n"
    "Provider=%Mfg%\n"
    "\n";
const char STRINGS_SECTION[] =
    "\n[Strings]\n"
    "Mfg=\"Test maker\"\n"
    "Dev=\"Test key\"\n";
const char ID[] = "USB\\VID_FE17&PID_0101";
const char OTHER[] = "USB\\VID_0BAD&PID_0001";

// A Windows 4 INF: the given [Manufacturer] lines, then the model sections.
std::string Inf(const std::string &manufacturerLines, const std::string &sections)
{
    return std::string(VERSION_SECTION) + "[Manufacturer]\n" + manufacturerLines + "\n" + sections + STRINGS_SECTION;
}

std::string ModelLine(const std::string &fields)
{
    return "%Dev%=Install," + fields + "\n";
}

class InfMatch : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeScratchDir("infmatch"); }
    void TearDown() override { RemoveTree(dir_); }

    // The answer for text written as ANSI and as UTF-16, which must agree.
    void ExpectAnswer(int line, int expected, const std::string &text, const char *hardwareId = DEVICE_HARDWARE_ID)
    {
        SCOPED_TRACE(testing::Message() << "case at line " << line);
        std::string ansi = dir_ + "\\ansi.inf";
        std::string utf16 = dir_ + "\\utf16.inf";
        ASSERT_TRUE(WriteInfAnsi(ansi, text));
        ASSERT_TRUE(WriteInfUtf16(utf16, text));
        EXPECT_EQ(expected, InfDeclaresHardwareId(ansi.c_str(), hardwareId)) << "ANSI:\n" << text;
        EXPECT_EQ(expected, InfDeclaresHardwareId(utf16.c_str(), hardwareId)) << "UTF-16:\n" << text;
        EXPECT_EQ(text, ReadBytes(ansi)) << "the INF was changed";
    }

    std::string dir_;
};

TEST_F(InfMatch, ExaminesTheModelsSectionAndEachDecoration)
{
    ExpectAnswer(__LINE__, 1, Inf("%Mfg%=Models", "[Models]\n" + ModelLine(ID)));
    ExpectAnswer(__LINE__, 1, Inf("%Mfg%=Models,NTx86", "[Models.NTx86]\n" + ModelLine(ID)));
    ExpectAnswer(__LINE__, 1,
                 Inf("%Mfg%=Models,NTx86", "[Models]\n" + ModelLine(OTHER) + "[Models.NTx86]\n" + ModelLine(ID)));
    // Every decoration is tried, whatever this Windows is.
    ExpectAnswer(__LINE__, 1,
                 Inf("%Mfg%=Models,NTamd64,NTia64,NTx86",
                     "[Models.NTamd64]\n" + ModelLine(OTHER) + "[Models.NTx86]\n" + ModelLine(std::string(ID) + ",X")));
    // A later model line of the section.
    ExpectAnswer(__LINE__, 1, Inf("%Mfg%=Models", "[Models]\n" + ModelLine(OTHER) + ModelLine(OTHER) + ModelLine(ID)));
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models,NTx86", "[Models]\n" + ModelLine(OTHER) + "[Models.NTx86]\n" + ModelLine(OTHER)));
    // A decoration is joined with a full stop, not read as a section name.
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models,NTx86", "[NTx86]\n" + ModelLine(ID) + "[ModelsNTx86]\n" + ModelLine(ID)));
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models,NTx86", ""));
}

TEST_F(InfMatch, OnlyTheFirstHardwareIdOfTheFirstManufacturerCounts)
{
    ExpectAnswer(__LINE__, 1, Inf("%Mfg%=Models", "[Models]\n" + ModelLine("usb\\vid_fe17&pid_0101")));
    ExpectAnswer(__LINE__, 1, Inf("%Mfg%=Models", "[Models]\n" + ModelLine(ID)), "usb\\Vid_Fe17&Pid_0101");
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models", "[Models]\n" + ModelLine(std::string(OTHER) + "," + ID)));
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models", "[Models]\n" + ModelLine(std::string(OTHER) + ",USB\\X," + ID)));
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models", "[Models]\n" + ModelLine(std::string(ID) + "1")));
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models", "[Models]\n%Dev%=" + std::string(ID) + "," + OTHER + "\n"));
    ExpectAnswer(__LINE__, 0,
                 Inf("%Mfg%=Models\nOther=Second", "[Models]\n" + ModelLine(OTHER) + "[Second]\n" + ModelLine(ID)));
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models", "[Models]\n" + ModelLine(OTHER) + "[Unnamed]\n" + ModelLine(ID)));
}

// A line that cannot be read ends its section; the next decoration is
// still tried.
TEST_F(InfMatch, UnreadableModelLineEndsItsSection)
{
    const std::string noField2 = "%Dev%=Install\n";
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models", "[Models]\n" + noField2 + ModelLine(ID)));
    ExpectAnswer(__LINE__, 1, Inf("%Mfg%=Models,NTx86", "[Models]\n" + noField2 + ModelLine(ID) + "[Models.NTx86]\n" + ModelLine(ID)));

    // Line text "Install,<ID>,<padding>": 255 characters fit, 256 do not.
    const size_t fixed = std::string("Install,").size() + std::string(ID).size() + 1;
    const std::string fits = ModelLine(std::string(ID) + "," + std::string(255 - fixed, 'p'));
    const std::string tooLong = ModelLine(std::string(OTHER) + "," + std::string(256 - fixed, 'p'));
    ExpectAnswer(__LINE__, 1, Inf("%Mfg%=Models", "[Models]\n" + fits));
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=Models", "[Models]\n" + tooLong + ModelLine(ID)));
    ExpectAnswer(__LINE__, 1,
                 Inf("%Mfg%=Models,NTx86", "[Models]\n" + tooLong + ModelLine(ID) + "[Models.NTx86]\n" + ModelLine(ID)));
}

// A vendor-style INF kept as a file of its own, which the vendor package
// check reads as declaring the ID too (tests/vendor_package_test.sh):
// comments holding "=" open its [Manufacturer] and models sections.
TEST_F(InfMatch, CommentsBeforeTheLinesThatCount)
{
    const std::string path = std::string(KEYSETUP_TEST_DATA_DIR) + "/commented_models.INF";

    ASSERT_NE(std::string::npos, ReadBytes(path).find(";; common =====")) << path;
    EXPECT_EQ(1, InfDeclaresHardwareId(path.c_str(), DEVICE_HARDWARE_ID));
}

TEST_F(InfMatch, UnreadableFilesDeclareNothing)
{
    std::string missing = dir_ + "\\missing.inf";
    std::string text = dir_ + "\\text.inf";
    std::string binary = dir_ + "\\binary.inf";

    EXPECT_EQ(0, InfDeclaresHardwareId(missing.c_str(), DEVICE_HARDWARE_ID));
    ASSERT_TRUE(WriteBytes(text, std::string("Just a note mentioning ") + ID + "\r\n"));
    EXPECT_EQ(0, InfDeclaresHardwareId(text.c_str(), DEVICE_HARDWARE_ID));
    ASSERT_TRUE(WriteBytes(binary, std::string("MZ\x90\0\x03\0\0\0", 8) + ID));
    EXPECT_EQ(0, InfDeclaresHardwareId(binary.c_str(), DEVICE_HARDWARE_ID));
    EXPECT_EQ(0, InfDeclaresHardwareId(dir_.c_str(), DEVICE_HARDWARE_ID));

    const std::string models = "[Manufacturer]\n%Mfg%=Models\n[Models]\n" + ModelLine(ID) + STRINGS_SECTION;
    // Old style: no [Version], or one without a Windows 4 signature.
    ExpectAnswer(__LINE__, 0, models);
    ExpectAnswer(__LINE__, 0, "[Version]\nSignature=\"$Windows 3.1$\"\n" + models);
    ExpectAnswer(__LINE__, 0, std::string(VERSION_SECTION) + "[Models]\n" + ModelLine(ID));
    ExpectAnswer(__LINE__, 0, Inf("%Mfg%=", "[Models]\n" + ModelLine(ID)));
}

} // namespace
