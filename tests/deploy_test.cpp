// The deployment scripts under WOW64, as a deployment tool runs them: a
// 32-bit cmd.exe in the content folder with the built keysetup.exe and
// keycheck.exe, the 64-bit newdev.dll double standing for Windows' driver
// installation.
#include <gtest/gtest.h>

#include <string>

#include "installed_state.h"
#include "newdev_double.h"
#include "process_env.h"
#include "system_names.h"
#include "wine_test.h"

namespace {

class Deploy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(UnderWow64());
        content_ = MakeScratchDir("deploycontent");
        kept_ = std::string(getenv("ProgramFiles(x86)")) + "\\VORevizeRidarorar\\keycheck.exe";
        log_ = WindowsDir() + "\\Logs\\Software\\VORevizeRidarorar-deploy.log";
        for (const char *file : {"install.cmd", "uninstall.cmd"})
            ASSERT_TRUE(CopyFileA((WindowsPath(KEYSETUP_DEPLOY_DIR) + "\\" + file).c_str(),
                                  (content_ + "\\" + file).c_str(), FALSE));
        for (const char *file : {"keysetup.exe", "keycheck.exe"})
            ASSERT_TRUE(CopyFileA(BinPath(file).c_str(), (content_ + "\\" + file).c_str(), FALSE));
        ASSERT_TRUE(InstallNewdevDouble(NEWDEV_64));
        SetNewdevDoubleLog(content_ + "\\newdev.log");
    }
    void TearDown() override
    {
        std::vector<NewdevCall> calls = ReadNewdevCalls(content_ + "\\newdev.log");
        for (size_t i = 0; i < calls.size(); ++i)
            DeleteFileA(calls[i].storedPath.c_str());
        ClearNewdevDoubleEnvironment();
        SetEnvironmentVariableA("NEWDEV_DOUBLE_STORE_DELAY_MS", NULL);
        RestoreSystemNewdev(NEWDEV_64);
        DeleteNt32Install();
        DeleteWhenReleased(InstalledPath("DrvInst64.exe"));
        DeleteFileA(log_.c_str());
        RemoveDirectoryA(log_.substr(0, log_.rfind('\\')).c_str()); // the script made it; kept if not empty
        RemoveTree(kept_.substr(0, kept_.rfind('\\')));
        RemoveTree(content_);
    }
    DWORD RunScript(const char *script)
    {
        return RunProgram("cmd.exe /c " + Quoted(content_ + "\\" + script), 120000);
    }
    std::string content_, kept_, log_;
};

// DrvInst64.exe stores the package seconds after keysetup has ended: the
// install waits for it and says installed, as the kept keycheck then does.
TEST_F(Deploy, InstallWaitsForTheSlowHelper)
{
    SetEnvironmentVariableA("NEWDEV_DOUBLE_STORE_DELAY_MS", "5000");
    EXPECT_EQ(0u, RunScript("install.cmd"));
    EXPECT_EQ(0u, RunProgram(Quoted(kept_) + " /q"));
    std::string log = ReadBytes(log_);
    EXPECT_NE(std::string::npos, log.find("\r\nverdict: 0 installed\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("\r\nexit: 0 installed\r\n")) << log;
}

// While another keysetup holds its mutex the uninstall does nothing: 1603,
// the kept keycheck.exe stays. Without that copy a real uninstall still
// gives 0, asking the package's own keycheck.exe.
TEST_F(Deploy, UninstallSaysWhetherItUninstalled)
{
    SetEnvironmentVariableA("NEWDEV_DOUBLE_STORE_DELAY_MS", "0");
    ASSERT_EQ(0u, RunScript("install.cmd"));
    HANDLE other = CreateMutexA(NULL, TRUE, "TALVERNClass");
    EXPECT_EQ(1603u, RunScript("uninstall.cmd"));
    CloseHandle(other);
    EXPECT_TRUE(FileExists(kept_));
    EXPECT_NE(std::string::npos, ReadBytes(log_).find("\r\nexit: 1603 still installed: the uninstall did nothing\r\n"));

    ASSERT_TRUE(DeleteFileA(kept_.c_str()));
    EXPECT_EQ(0u, RunScript("uninstall.cmd"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH));
    EXPECT_NE(std::string::npos, ReadBytes(log_).find("\r\nverdict: 1 not installed\r\n"));
}

// A newer build of the key's driver (a later DriverVer and version, its
// stored copy too): install.cmd runs no keysetup, changes no byte and says
// why; keycheck says 11.
TEST_F(Deploy, InstallLeavesANewerVersionAlone)
{
    SetEnvironmentVariableA("NEWDEV_DOUBLE_STORE_DELAY_MS", "0");
    ASSERT_EQ(0u, RunScript("install.cmd"));
    auto wide = [](const std::wstring &text) { return std::string((const char *)text.data(), 2 * text.size()); };
    std::string inf = InstalledPath("ZIVIRIZ.inf"), newer = ReadBytes(inf), from = wide(L"06/12/2015,3.0.2.44");
    ASSERT_NE(std::string::npos, newer.find(from));
    newer.replace(newer.find(from), from.size(), wide(L"01/15/2024,3.1.0.5"));
    std::vector<std::string> paths = {inf, InstalledPath("ZIVIRIZ.sys"), InstalledPath("ziviriz.cat"),
                                      InstalledPath("DrvInst64.exe"), InstalledPath(UNINSTALLER_FILE_NAME + 1),
                                      InstalledPath(UNINSTALLER_MANIFEST_NAME + 1), kept_};
    std::vector<NewdevCall> calls = ReadNewdevCalls(content_ + "\\newdev.log");
    for (const NewdevCall &call : calls)
        if (!call.storedPath.empty() && ReadBytes(call.storedPath) == ReadBytes(inf))
            paths.push_back(call.storedPath);
    ASSERT_LT(7u, paths.size());
    ASSERT_TRUE(WriteBytes(InstalledPath("ZIVIRIZ.sys"), "a newer driver"));
    std::vector<std::string> before;
    for (size_t i = 0; i < paths.size(); ++i)
        before.push_back((i != 0 && i < 7) || WriteBytes(paths[i], newer) ? ReadBytes(paths[i]) : "unwritten");
    EXPECT_EQ(11u, RunProgram(Quoted(content_ + "\\keycheck.exe") + " /q"));
    DeleteFileA(log_.c_str());
    EXPECT_EQ(0u, RunScript("install.cmd"));
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(before[i], ReadBytes(paths[i])) << paths[i];
    EXPECT_EQ(calls.size(), ReadNewdevCalls(content_ + "\\newdev.log").size());
    std::string log = ReadBytes(log_);
    EXPECT_NE(std::string::npos, log.find("a newer version of the key's driver is installed; keysetup.exe not run"));
    EXPECT_NE(std::string::npos, log.find("\r\nverdict: 11 a newer version is installed\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("\r\nexit: 0 a newer version is installed; keysetup.exe not run\r\n"));
}

} // namespace
