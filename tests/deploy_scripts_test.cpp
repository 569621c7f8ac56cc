// The deployment scripts run by cmd.exe from a content folder whose
// keysetup.exe and keycheck.exe are the 64-bit stand-in: each keycheck code
// to the script's exit code, the kept keycheck.exe, and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "process_env.h"
#include "wine_test.h"

namespace {

struct ScriptCase {
    int keycheckCode;
    DWORD exitCode;
    const char *meaning;
};

std::string BesideThisProgram(const char *name)
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string self(path);
    return self.substr(0, self.rfind('\\') + 1) + name;
}

class DeployScripts : public ::testing::Test {
protected:
    void SetUp() override
    {
        content_ = MakeScratchDir("deploy");
        log_ = WindowsDir() + "\\Logs\\Software\\VORevizeRidarorar-deploy.log";
        kept_ = std::string(getenv("ProgramFiles(x86)")) + "\\VORevizeRidarorar";
        for (const char *script : {"install.cmd", "uninstall.cmd"})
            ASSERT_TRUE(CopyFileA((WindowsPath(KEYSETUP_DEPLOY_DIR) + "\\" + script).c_str(),
                                  (content_ + "\\" + script).c_str(), FALSE));
        for (const char *program : {"keysetup.exe", "keycheck.exe"})
            ASSERT_TRUE(CopyFileA(BesideThisProgram("standin_probe.exe").c_str(),
                                  (content_ + "\\" + program).c_str(), FALSE));
        Clean();
    }
    void TearDown() override
    {
        Clean();
        RemoveTree(content_);
    }
    void Clean()
    {
        DeleteFileA(log_.c_str());
        DeleteFileA((log_ + ".old").c_str());
        RemoveTree(kept_);
    }
    // The report run always fails, as a keycheck without /log does.
    DWORD Run(const char *script, int keycheckCode)
    {
        std::string environment = EnvironmentBlock({SetVariable("STANDIN_CODE", std::to_string(keycheckCode)),
                                                    SetVariable("STANDIN_REPORT_CODE", "9"),
                                                    SetVariable("STANDIN_LOG", content_ + "\\keysetup.log")});
        return RunProgramWith("cmd.exe /c " + Quoted(content_ + "\\" + script), environment);
    }
    void ExpectRun(const char *script, const ScriptCase &sc)
    {
        SCOPED_TRACE(std::string(script) + " with keycheck " + std::to_string(sc.keycheckCode));
        DeleteFileA(log_.c_str());
        EXPECT_EQ(sc.exitCode, Run(script, sc.keycheckCode));
        std::string log = ReadBytes(log_);
        EXPECT_NE(std::string::npos, log.find(" " + std::string(script) + " from " + content_ + "\\, keysetup.exe"))
            << log;
        EXPECT_NE(std::string::npos, log.find("\r\nverdict: " + std::to_string(sc.keycheckCode) + "\r\n")) << log;
        EXPECT_NE(std::string::npos,
                  log.find("\r\nexit: " + std::to_string(sc.exitCode) + " " + sc.meaning + "\r\n")) << log;
    }

    std::string content_, log_, kept_;
};

} // namespace

TEST_F(DeployScripts, InstallMapsEachCodeAndKeepsKeycheck)
{
    const ScriptCase cases[] = {{3, 0, "installed; a plugged key gets the driver when replugged"},
                                {5, 3010, "installed; a restart finishes it"},
                                {10, 1618, "the install is still running; retry later"},
                                {7, 7, "failed, keycheck 7"}};
    for (const ScriptCase &sc : cases)
        ExpectRun("install.cmd", sc);
    EXPECT_TRUE(FileExists(kept_ + "\\keycheck.exe"));
    std::string runs = ReadBytes(content_ + "\\keysetup.log");
    EXPECT_EQ(4, std::count(runs.begin(), runs.end(), '\n')) << runs;
    EXPECT_EQ(std::string::npos, runs.find("uninstall")) << runs;
}

// It asks the package's own keycheck.exe (the kept one is deleted here) and
// keeps the kept folder until the key is gone.
TEST_F(DeployScripts, UninstallFailsWhileTheKeyIsStillInstalled)
{
    ASSERT_EQ(0u, Run("install.cmd", 0));
    ASSERT_TRUE(DeleteFileA((kept_ + "\\keycheck.exe").c_str()));
    const ScriptCase still[] = {{0, 1603, "still installed: the uninstall did nothing"},
                                {5, 3010, "a restart finishes the removal"}};
    for (const ScriptCase &sc : still)
        ExpectRun("uninstall.cmd", sc);
    EXPECT_TRUE(FileExists(kept_));
    ExpectRun("uninstall.cmd", {1, 0, "uninstalled"});
    EXPECT_FALSE(FileExists(kept_));
    EXPECT_NE(std::string::npos, ReadBytes(content_ + "\\keysetup.log").find("keysetup.exe\" uninstall\r\n"));
}

// Past 1 MiB less one run's room the log starts again, the last one kept;
// a log that cannot be written changes no exit code.
TEST_F(DeployScripts, LogStaysUnderOneMebibyte)
{
    const std::string full(983040, 'x');
    ASSERT_TRUE(WriteBytes(log_, full));
    EXPECT_EQ(3010u, Run("install.cmd", 5));
    EXPECT_EQ(full, ReadBytes(log_ + ".old"));
    EXPECT_NE(std::string::npos, ReadBytes(log_).find("verdict: 5"));
    EXPECT_GT(full.size(), ReadBytes(log_).size());

    Clean();
    ASSERT_TRUE(CreateDirectoryA(log_.c_str(), NULL));
    EXPECT_EQ(3010u, Run("install.cmd", 5));
    EXPECT_EQ(1603u, Run("uninstall.cmd", 0));
    RemoveDirectoryA(log_.c_str());
}
