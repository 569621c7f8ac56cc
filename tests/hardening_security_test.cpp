// Code the programs must never run: a newdev.dll planted beside keysetup.exe
// in a user's download folder, and whatever an unquoted uninstall command
// with a blank in its path would start instead of the uninstaller.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "dll_marks.h"
#include "inf_files.h"
#include "installed_state.h"
#include "payload_resources.h"
#include "newdev_double.h"
#include "process_env.h"
#include "registration.h"
#include "system_names.h"
#include "wine_test.h"

namespace {


class PlantedNewdev : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(NativeNewdevOverrideSet()) << "needs WINEDLLOVERRIDES=newdev=n";
        scratch_ = MakeScratchDir("planted");
        downloads_ = scratch_ + "\\Downloads";
        planted_ = downloads_ + "\\newdev.dll";
        callLog_ = scratch_ + "\\calls.log";
        loadLog_ = scratch_ + "\\loads.log";
        ASSERT_TRUE(CreateDirectoryA(downloads_.c_str(), NULL));
        ASSERT_TRUE(CopyFileA(NewdevDoublePath(NEWDEV_32).c_str(), planted_.c_str(), FALSE));
        SetNewdevDoubleResult("ok");
        DeleteNt32Install();
    }
    void TearDown() override
    {
        DeleteNt32Install();
        EXPECT_TRUE(RestoreSystemNewdev(NEWDEV_32));
        ClearNewdevDoubleEnvironment();
        ClearNewdevLoadLog();
        RemoveTree(scratch_);
    }
    // Runs program from the download folder, which is also its current
    // directory, as a double click there would; returns the loads logged.
    std::vector<std::string> RunFromDownloads(const std::string &program, const std::string &tail, DWORD expectedExit)
    {
        SetNewdevDoubleLog(callLog_);
        SetNewdevLoadLog(loadLog_);
        EXPECT_EQ(expectedExit, RunProgramWith(Quoted(program) + tail, "", downloads_));
        return LoadedNewdevModules(loadLog_);
    }

    std::string scratch_, downloads_, planted_, callLog_, loadLog_;
};

TEST_F(PlantedNewdev, KeysetupInADownloadFolderNeverLoadsIt)
{
    std::string keysetup = CopyProgram("keysetup.exe", downloads_, "keysetup.exe");
    std::string probe = CopyProgram("activation_probe.exe", downloads_, "activation_probe.exe");

    // A program that loads newdev.dll by its bare name takes the planted
    // copy, and its load leaves the mark.
    std::vector<std::string> loads = RunFromDownloads(probe, " bare", 0);
    EXPECT_EQ(1u, LoadsOf(loads, planted_));

    // The double as the system's newdev.dll: keysetup loads and calls that.
    ASSERT_TRUE(InstallNewdevDouble(NEWDEV_32));
    loads = RunFromDownloads(keysetup, "", 0);
    EXPECT_EQ(0u, LoadsOf(loads, planted_));
    // One load per activation, each marked.
    EXPECT_EQ(2u, LoadsOf(loads, LoadedNewdevPath()));
    EXPECT_EQ(2u, loads.size());
    std::vector<NewdevCall> calls = ReadNewdevCalls(callLog_);
    ASSERT_EQ(2u, calls.size());
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(0, lstrcmpiA(LoadedNewdevPath().c_str(), calls[i].modulePath.c_str())) << calls[i].modulePath;
    EXPECT_TRUE(ReadBytes(InstalledPath("ZIVIRIZ.inf")) == KeysetupPayloadBytes(PAYLOAD_FILES[NT32_PAYLOAD]));

    // Wine's own newdev.dll in the system directory.
    DeleteNt32Install();
    ASSERT_TRUE(RestoreSystemNewdev(NEWDEV_32));
    loads = RunFromDownloads(keysetup, "", 0);
    EXPECT_EQ(0u, LoadsOf(loads, planted_));
    EXPECT_TRUE(ReadNewdevCalls(callLog_).empty());

    // No newdev.dll in the system directory: the planted one is no fallback.
    DeleteNt32Install();
    ASSERT_TRUE(RemoveSystemNewdev(NEWDEV_32));
    loads = RunFromDownloads(keysetup, "", 0);
    EXPECT_TRUE(loads.empty()) << loads.size() << " loads, first " << (loads.empty() ? "" : loads[0]);
    EXPECT_TRUE(ReadNewdevCalls(callLog_).empty());
    EXPECT_TRUE(FileExists(InstalledPath("QV_DRVUNI.exe")));
}

// The uninstaller in a folder whose name holds a blank. The registered
// command quotes the path: run as Windows runs it, it starts the
// uninstaller (the entry, the manifest and a stale INF copy go) and not the
// program an unquoted command would start first.
TEST(UninstallCommand, PathWithABlankStartsTheUninstaller)
{
    std::string scratch = MakeScratchDir("blank");
    std::string folder = scratch + "\\key tools";
    std::string uninstaller = folder + "\\QV_DRVUNI.exe";
    std::string impostor = scratch + "\\key.exe";
    std::string windows = scratch + "\\windows";
    std::string stale = windows + "\\inf\\oem1.inf";
    std::string manifest = InstalledPath("QV_DRVUNI.exe.manifest");
    std::vector<EnvChange> env(1, SetVariable("windir", windows));

    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(windows.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((windows + "\\inf").c_str(), NULL));
    ASSERT_TRUE(CopyFileA(BinPath("QV_DRVUNI.exe").c_str(), uninstaller.c_str(), FALSE));
    ASSERT_TRUE(PlantMarkProbe(impostor));

    // Unquoted, the command line would start the impostor: the test can
    // tell.
    EXPECT_EQ(0u, RunProgramWith(uninstaller + " -u", EnvironmentBlock(env)));
    EXPECT_TRUE(MarkProbeRan(impostor));
    ASSERT_TRUE(PlantMarkProbe(impostor));

    ASSERT_TRUE(WriteInfAnsi(stale, KEY_INF_TEXT));
    ASSERT_TRUE(WriteBytes(manifest, "<assembly/>"));
    ASSERT_EQ(1, RegisterUninstallEntry(uninstaller.c_str()));
    std::string command = UninstallEntryValue("UninstallString");
    EXPECT_EQ(Quoted(uninstaller) + " -u", command);
    EXPECT_EQ(uninstaller, UninstallEntryValue("DisplayIcon"));

    EXPECT_EQ(0u, RunProgramWith(command, EnvironmentBlock(env)));
    EXPECT_FALSE(MarkProbeRan(impostor));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH));
    EXPECT_FALSE(FileExists(manifest));
    EXPECT_FALSE(FileExists(stale));
    EXPECT_TRUE(FileExists(uninstaller));

    DeleteFileA(manifest.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);
    RemoveTree(scratch);
}

} // namespace
