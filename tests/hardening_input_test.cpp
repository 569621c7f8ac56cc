// What the uninstall reads that anyone may have written: a corpus of
// malformed INF files among the oem*.inf copies, and devices whose
// hardware-ID property holds malformed lists.
#include <gtest/gtest.h>

#include <windows.h>
#include <setupapi.h>

#include <sstream>
#include <string>
#include <vector>

#include "inf_corpus.h"
#include "inf_files.h"
#include "inf_match.h"
#include "process_env.h"
#include "system_names.h"
#include "test_devices.h"
#include "wine_test.h"

namespace {

const uint32_t CORPUS_SEED = 20240611;
const size_t CORPUS_MINIMUM = 200;
const unsigned FIRST_CORPUS_NUMBER = 1000;

bool OpensAsWindows4Inf(const std::string &path)
{
    HINF inf = SetupOpenInfFileA(path.c_str(), NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE || inf == NULL)
        return false;
    SetupCloseInfFile(inf);
    return true;
}

std::string Numbered(const std::string &dir, unsigned number, const char *extension)
{
    std::ostringstream path;
    path << dir << "\\oem" << number << "." << extension;
    return path.str();
}

// An uninstall by QV_DRVUNI.exe that takes windowsDir for the Windows
// directory.
DWORD RunUninstallerWithWindir(const std::string &windowsDir)
{
    std::vector<EnvChange> changes(1, SetVariable("windir", windowsDir));
    return RunProgramWith("\"" + BinPath("QV_DRVUNI.exe") + "\" -u", EnvironmentBlock(changes));
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveTestDevices(DEVICE_NAME);
        scratch_ = MakeScratchDir("hostile");
        windowsDir_ = scratch_ + "\\windows";
        infDir_ = windowsDir_ + "\\inf";
        ASSERT_TRUE(CreateDirectoryA(windowsDir_.c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA(infDir_.c_str(), NULL));
    }
    void TearDown() override
    {
        RemoveTestDevices(DEVICE_NAME);
        RemoveTree(scratch_);
    }

    static const char DEVICE_NAME[];
    std::string scratch_;
    std::string windowsDir_;
    std::string infDir_;
};

const char HostileInput::DEVICE_NAME[] = "KSHARDINPUT";

// Each file is asked directly and then the whole corpus goes through an
// uninstall: exactly the declaring files and their twins go, and the
// purge still runs through, so the key's device is removed as well.
TEST_F(HostileInput, MalformedInfCorpusOnlyDeclaringFilesGo)
{
    std::vector<CorpusInf> corpus = MalformedInfCorpus(CORPUS_SEED, CORPUS_MINIMUM);
    std::vector<bool> expected(corpus.size());
    size_t declaring = 0;

    ASSERT_GE(corpus.size(), CORPUS_MINIMUM);
    for (size_t i = 0; i < corpus.size(); ++i) {
        unsigned number = FIRST_CORPUS_NUMBER + (unsigned)i;
        ASSERT_TRUE(WriteBytes(Numbered(infDir_, number, "inf"), corpus[i].bytes));
        ASSERT_TRUE(WriteBytes(Numbered(infDir_, number, "pnf"), "precompiled " + corpus[i].kind));
    }
    for (size_t i = 0; i < corpus.size(); ++i) {
        std::string path = Numbered(infDir_, FIRST_CORPUS_NUMBER + (unsigned)i, "inf");
        SCOPED_TRACE(testing::Message() << path << ": " << corpus[i].kind);
        expected[i] = corpus[i].declares && (!corpus[i].parserDecides || OpensAsWindows4Inf(path));
        declaring += expected[i] ? 1 : 0;
        int answer = InfDeclaresHardwareId(path.c_str(), DEVICE_HARDWARE_ID);
        EXPECT_TRUE(answer == 0 || answer == 1) << answer;
        EXPECT_EQ(expected[i] ? 1 : 0, answer);
    }
    std::cout << "  " << corpus.size() << " files, " << declaring << " declaring the ID\n";
    // The corpus holds both kinds in number.
    EXPECT_GE(declaring, 50u);
    EXPECT_GE(corpus.size() - declaring, 100u);

    std::string device = CreateTestDevice(DEVICE_NAME, MultiSz({DEVICE_HARDWARE_ID}));
    ASSERT_FALSE(device.empty());
    EXPECT_EQ(0u, RunUninstallerWithWindir(windowsDir_));
    for (size_t i = 0; i < corpus.size(); ++i) {
        unsigned number = FIRST_CORPUS_NUMBER + (unsigned)i;
        SCOPED_TRACE(testing::Message() << "oem" << number << ".inf: " << corpus[i].kind);
        if (expected[i]) {
            EXPECT_FALSE(FileExists(Numbered(infDir_, number, "inf")));
            EXPECT_FALSE(FileExists(Numbered(infDir_, number, "pnf")));
        } else {
            EXPECT_TRUE(ReadBytes(Numbered(infDir_, number, "inf")) == corpus[i].bytes);
            EXPECT_EQ("precompiled " + corpus[i].kind, ReadBytes(Numbered(infDir_, number, "pnf")));
        }
    }
    EXPECT_FALSE(DeviceInstanceExists(device));
}

// The corpus is the same on every run.
TEST(MalformedInfCorpusGenerator, SameSeedSameFiles)
{
    std::vector<CorpusInf> first = MalformedInfCorpus(CORPUS_SEED, CORPUS_MINIMUM);
    std::vector<CorpusInf> second = MalformedInfCorpus(CORPUS_SEED, CORPUS_MINIMUM);
    std::vector<CorpusInf> other = MalformedInfCorpus(CORPUS_SEED + 1, CORPUS_MINIMUM);
    size_t differing = 0;

    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_TRUE(first[i].bytes == second[i].bytes) << i;
        EXPECT_EQ(first[i].declares, second[i].declares) << i;
        differing += i < other.size() && other[i].bytes != first[i].bytes ? 1 : 0;
    }
    EXPECT_GT(differing, first.size() / 2);
}

struct HardwareIdBytes {
    const char *what;
    std::string bytes;
    bool removed;
};

std::string Repeated(const std::string &entry, size_t count)
{
    std::string list;
    for (size_t i = 0; i < count; ++i)
        list += entry + '\0';
    return list;
}

// The property bytes as the system hands them back.
std::string ReadBack(const std::string &instanceId)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(NULL, NULL);
    SP_DEVINFO_DATA device;
    DWORD size = 0;
    DWORD type = 0;
    std::string bytes;

    if (set == INVALID_HANDLE_VALUE)
        return bytes;
    ZeroMemory(&device, sizeof(device));
    device.cbSize = sizeof(device);
    if (SetupDiOpenDeviceInfoA(set, instanceId.c_str(), NULL, 0, &device)) {
        SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, NULL, 0, &size);
        bytes.assign(size, '\0');
        if (size && !SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, (BYTE *)&bytes[0],
                                                       size, &size))
            bytes = "(unreadable)";
    }
    SetupDiDestroyDeviceInfoList(set);
    return bytes;
}

// Real devices whose SPDRP_HARDWAREID holds malformed lists, walked by the
// uninstaller program: none of them ends the walk, and only those whose
// entries include the ID go. Wine stores a list that does not end in a NUL
// with one added (the bytes read back differ from those set), so lists
// without a terminator and odd lengths never reach the program as such:
// the reader's own tests (HardwareIdList.*) take those, from a buffer.
TEST_F(HostileInput, MalformedHardwareIdListsOnRealDevices)
{
    const std::string id = DEVICE_HARDWARE_ID;
    const std::string other = "USB\\VID_0BAD&PID_0001";
    const HardwareIdBytes cases[] = {
        {"the ID with one terminator and no list end", id + '\0', true},
        {"bytes above 0x7F before the ID", std::string("\xFF\xFE\x80", 3) + '\0' + id + '\0' + '\0', true},
        {"an entry of 300 characters before the ID", std::string(300, 'L') + '\0' + id + '\0' + '\0', true},
        {"the ID after 4000 bytes of other IDs", Repeated(other, 190) + id + '\0' + '\0', true},
        {"the ID with a trailing blank", id + " " + '\0' + '\0', false},
        {"only empty strings", std::string(6, '\0'), false},
        {"only empty strings, odd length", std::string(7, '\0'), false},
        {"an empty string, then the ID", std::string(1, '\0') + id + '\0' + '\0', false},
    };
    const size_t count = sizeof(cases) / sizeof(cases[0]);
    std::vector<std::string> devices;

    for (size_t i = 0; i < count; ++i) {
        devices.push_back(CreateTestDevice(DEVICE_NAME, cases[i].bytes));
        ASSERT_FALSE(devices[i].empty()) << cases[i].what;
    }
    for (size_t i = 0; i < count; ++i)
        EXPECT_TRUE(ReadBack(devices[i]) == cases[i].bytes) << cases[i].what << ": not stored as given";
    // The purge must run through for the removal to follow.
    ASSERT_TRUE(WriteBytes(infDir_ + "\\oem1.inf", KEY_INF_TEXT));

    EXPECT_EQ(0u, RunUninstallerWithWindir(windowsDir_));
    EXPECT_FALSE(FileExists(infDir_ + "\\oem1.inf"));
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(!cases[i].removed, DeviceInstanceExists(devices[i])) << cases[i].what;
}

} // namespace
