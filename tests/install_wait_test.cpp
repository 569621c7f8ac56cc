// keycheck /wait: the switch, which running program is the helper keysetup
// started, and the wait for it, with the 64-bit stand-in as the helper.
#include <gtest/gtest.h>

#include <string>

#include "install_wait.h"
#include "process_env.h"
#include "wine_test.h"

namespace {

// The stand-in as dir\DrvInst64.exe, running for ms milliseconds.
bool StartHelper(const std::string &dir, DWORD ms, PROCESS_INFORMATION *process)
{
    std::string helper = dir + "\\DrvInst64.exe";
    CreateDirectoryA(dir.c_str(), NULL);
    return CopyFileA(BesideThisProgram("standin_probe.exe").c_str(), helper.c_str(), FALSE) &&
           StartSuspended(Quoted(helper) + " " + std::to_string(ms), "", process) &&
           ResumeThread(process->hThread) != (DWORD)-1;
}

} // namespace

TEST(InstallWait, TellsTheHelperByItsPathOrByItsNameAlone)
{
    const char helper[] = "C:\\WINDOWS\\syswow64\\DrvInst64.exe";
    EXPECT_TRUE(IsHelperImage("C:\\Windows\\SysWOW64\\drvinst64.EXE", helper));
    EXPECT_FALSE(IsHelperImage("C:\\Users\\Public\\DrvInst64.exe", helper));
    EXPECT_FALSE(IsHelperImage("C:\\WINDOWS\\syswow64\\DrvInstA64.exe", helper));
    EXPECT_TRUE(IsHelperImage("DRVINST64.EXE", helper)); // a listing that names no directory
    EXPECT_FALSE(IsHelperImage("DrvInst64.exe.old", helper));

    DWORD seconds = 0;
    EXPECT_TRUE(ParseWaitSwitch("/wait", &seconds));
    EXPECT_EQ(600u, seconds);
    EXPECT_TRUE(ParseWaitSwitch("-WAIT:86400", &seconds));
    EXPECT_EQ(86400u, seconds);
    const char *const bad[] = {"/wait:", "/wait:4x", "/wait:86401", "/wait:99999999999", "/waiting", "/wai", "wait"};
    for (size_t i = 0; i < sizeof(bad) / sizeof(bad[0]); ++i)
        EXPECT_FALSE(ParseWaitSwitch(bad[i], &seconds)) << bad[i];
}

// A helper of the same name elsewhere is not keysetup's; the one in its
// directory is waited for until it ends, and reported still running when it
// outlasts the wait.
TEST(InstallWait, WaitsForTheHelperInItsDirectoryOnly)
{
    std::string scratch = MakeScratchDir("installwait");
    std::string ours = scratch + "\\system";
    std::string reportPath = scratch + "\\report.txt";
    HANDLE out = CreateFileA(reportPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    Report report = {out, false, NULL};
    PROCESS_INFORMATION elsewhere = {}, lasting = {}, ending = {};

    ASSERT_TRUE(StartHelper(scratch + "\\other", 600000, &elsewhere));
    EXPECT_TRUE(WaitForHelpersIn(ours.c_str(), 0, &report));
    ASSERT_TRUE(StartHelper(ours, 600000, &lasting));
    EXPECT_FALSE(WaitForHelpersIn(ours.c_str(), 1, &report));
    TerminateProcess(lasting.hProcess, 0);
    std::string lastingId = std::to_string(lasting.dwProcessId);
    FinishProcess(&lasting);
    ASSERT_TRUE(StartHelper(ours, 1500, &ending));
    EXPECT_TRUE(WaitForHelpersIn(ours.c_str(), 60, &report));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ending.hProcess, 0)) << "returned before the helper ended";
    CloseHandle(out);

    std::string text = ReadBytes(reportPath);
    EXPECT_NE(std::string::npos,
              text.find("wait: DrvInst64.exe (process " + lastingId + ") is running, waiting up to 1 s\r\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("waiting up to 60 s\r\nwait: the install has ended\r\n")) << text;
    TerminateProcess(elsewhere.hProcess, 0);
    FinishProcess(&elsewhere);
    FinishProcess(&ending);
    RemoveTree(scratch);
}
