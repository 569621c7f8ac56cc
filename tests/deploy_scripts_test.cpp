// The deployment scripts run by cmd.exe from a content folder whose
// keysetup.exe and keycheck.exe are the 64-bit stand-in, whose report run
// always fails (as keycheck without /log does): each keycheck code to the
// script's exit code, the kept keycheck.exe, and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "process_env.h"
#include "wine_test.h"

namespace {

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
    }
    void TearDown() override
    {
        DeleteFileA(log_.c_str());
        DeleteFileA((log_ + ".old").c_str());
        RemoveDirectoryA(log_.substr(0, log_.rfind('\\')).c_str()); // the script made it; kept if not empty
        RemoveTree(kept_);
        RemoveTree(content_);
    }
    // Its exit code, and a failure unless the log has the report and the
    // exit line that the code and meaning make.
    DWORD Run(const char *script, int keycheckCode, const char *meaning)
    {
        std::string code = std::to_string(keycheckCode);
        DeleteFileA(log_.c_str());
        DWORD exitCode = RunProgramWith("cmd.exe /c " + Quoted(content_ + "\\" + script),
                                        EnvironmentBlock({SetVariable("STANDIN_CODE", code),
                                                          SetVariable("STANDIN_REPORT_CODE", "9"),
                                                          SetVariable("STANDIN_LOG", content_ + "\\keysetup.log")}));
        std::string log = ReadBytes(log_);
        std::string exitLine = "\r\nexit: " + std::to_string(exitCode) + " " + meaning + "\r\n";
        EXPECT_NE(std::string::npos, log.find(" " + std::string(script) + " from " + content_ + "\\, keysetup.exe"));
        EXPECT_NE(std::string::npos, log.find("\r\nverdict: " + code + "\r\n")) << log;
        EXPECT_NE(std::string::npos, log.find(exitLine)) << script << " " << code << ":\n" << log;
        return exitCode;
    }

    std::string content_, log_, kept_;
};

} // namespace

TEST_F(DeployScripts, EachCodeMapsToItsExitCode)
{
    EXPECT_EQ(0u, Run("install.cmd", 3, "installed; a plugged key gets the driver when replugged"));
    EXPECT_EQ(3010u, Run("install.cmd", 5, "installed; a restart finishes it"));
    EXPECT_EQ(1618u, Run("install.cmd", 10, "the install is still running; retry later"));
    EXPECT_EQ(7u, Run("install.cmd", 7, "failed, keycheck 7"));
    EXPECT_EQ(0u, Run("install.cmd", 11, "a newer version is installed; keysetup.exe not run"));
    EXPECT_TRUE(FileExists(kept_ + "\\keycheck.exe"));

    // The package's own keycheck.exe answers (the kept one is gone); the
    // kept folder stays until the key is gone.
    ASSERT_TRUE(DeleteFileA((kept_ + "\\keycheck.exe").c_str()));
    EXPECT_EQ(1603u, Run("uninstall.cmd", 0, "still installed: the uninstall did nothing"));
    EXPECT_EQ(3010u, Run("uninstall.cmd", 5, "a restart finishes the removal"));
    EXPECT_EQ(1603u, Run("uninstall.cmd", 11, "a newer version still installed: the uninstall did nothing"));
    EXPECT_TRUE(FileExists(kept_));
    EXPECT_EQ(0u, Run("uninstall.cmd", 1, "uninstalled"));
    EXPECT_FALSE(FileExists(kept_));
    std::string runs = ReadBytes(content_ + "\\keysetup.log");
    EXPECT_EQ(8, std::count(runs.begin(), runs.end(), '\n')) << runs;
    EXPECT_NE(std::string::npos, runs.find("keysetup.exe\" uninstall\r\n")) << runs;
}

// Past 1 MiB less one run's room the log starts again, the last one kept;
// a log that cannot be written changes no exit code.
TEST_F(DeployScripts, LogStaysUnderOneMebibyte)
{
    const std::string full(983040, 'x');
    CreateDirectoryA(log_.substr(0, log_.rfind('\\')).c_str(), NULL);
    ASSERT_TRUE(WriteBytes(log_, full));
    EXPECT_EQ(3010u, RunProgramWith("cmd.exe /c " + Quoted(content_ + "\\install.cmd"),
                                    EnvironmentBlock({SetVariable("STANDIN_CODE", "5")})));
    EXPECT_EQ(full, ReadBytes(log_ + ".old"));
    EXPECT_NE(std::string::npos, ReadBytes(log_).find("verdict: 5"));
    EXPECT_GT(full.size(), ReadBytes(log_).size());

    DeleteFileA(log_.c_str());
    ASSERT_TRUE(CreateDirectoryA(log_.c_str(), NULL));
    EXPECT_EQ(3010u, RunProgramWith("cmd.exe /c " + Quoted(content_ + "\\install.cmd"),
                                    EnvironmentBlock({SetVariable("STANDIN_CODE", "5")})));
    RemoveDirectoryA(log_.c_str());
}
