// Two instances of a program started at the same moment, a few times over
// and each in turn resumed first: exactly one of them proceeds each time. What proceeding means is read
// from what the run itself does, without any change to the programs:
// keysetup's install calls newdev.dll (the double logs each caller's
// process ID), and an uninstall purges the INF directory named by its own
// windir, which differs between the two instances.
//
// Under Wine two processes resumed together often reach their check 50 ms
// or more apart, while a bare install or uninstall takes about 50 ms:
// the first may be gone before the second looks, and then both rightly
// proceed. So each round gives the winner a run of some hundreds of ms by
// what it does anyway: the install finds its first file present and
// pauses, the uninstall has 1500 INF copies to read. Nothing lets the
// programs meet at a barrier of their own, so the two rarely reach the
// check at the very same moment: more rounds would mostly repeat the case
// of one instance starting while the other runs, which the single-instance
// tests prove already; a few rounds keep both orders of resumption.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "inf_files.h"
#include "installed_state.h"
#include "newdev_double.h"
#include "process_env.h"
#include "wine_test.h"

namespace {

const int ROUNDS = 6;
// Other INF copies for each uninstaller to read: 0.15 to 0.5 s under Wine.
const unsigned OTHER_INF_COUNT = 1500;
const char OTHER_INF[] =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\nMfg=Models,NTx86\r\n"
    "[Models]\r\nGadget=Install,USB\\VID_0BAD&PID_0001\r\n";

// Starts both suspended, resumes them back to back (in turn first and
// second), waits for both and returns their exit codes and process IDs.
void StartTogether(int round, const std::string commandLines[2], const std::string environments[2],
                   DWORD exitCodes[2], DWORD processIds[2])
{
    PROCESS_INFORMATION processes[2];
    bool started[2];

    for (int i = 0; i < 2; ++i) {
        started[i] = StartSuspended(commandLines[i], environments[i], &processes[i]);
        processIds[i] = started[i] ? processes[i].dwProcessId : 0;
        exitCodes[i] = ~0u;
    }
    for (int k = 0; k < 2; ++k) {
        int i = (round + k) % 2;
        if (started[i])
            ResumeThread(processes[i].hThread);
    }
    for (int i = 0; i < 2; ++i)
        if (started[i])
            exitCodes[i] = FinishProcess(&processes[i]);
}

TEST(SimultaneousStarts, ExactlyOneKeysetupInstalls)
{
    ASSERT_TRUE(NativeNewdevOverrideSet()) << "needs WINEDLLOVERRIDES=newdev=n";
    std::string dir = MakeScratchDir("racekeysetup");
    std::string log = dir + "\\newdev.log";
    const std::string commandLines[2] = {Quoted(BinPath("keysetup.exe")), Quoted(BinPath("keysetup.exe"))};
    const std::string environments[2] = {"", ""};

    SetNewdevDoubleResult("ok");
    ASSERT_TRUE(InstallNewdevDouble(NEWDEV_32));
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE(round);
        // Only the first file present: the winner pauses right after its
        // check and writes the rest at once.
        DeleteNt32Install();
        ASSERT_TRUE(WriteBytes(InstalledPath(PAYLOAD_FILES[0].name), "old"));
        SetNewdevDoubleLog(log);
        DWORD exitCodes[2], processIds[2];
        StartTogether(round, commandLines, environments, exitCodes, processIds);
        EXPECT_EQ(0u, exitCodes[0]);
        EXPECT_EQ(0u, exitCodes[1]);

        std::vector<NewdevCall> calls = ReadNewdevCalls(log);
        std::set<unsigned long> callers;
        for (size_t i = 0; i < calls.size(); ++i)
            callers.insert(calls[i].processId);
        ASSERT_EQ(1u, callers.size()) << "instances that installed";
        EXPECT_TRUE(*callers.begin() == processIds[0] || *callers.begin() == processIds[1]);
        EXPECT_EQ(2u, calls.size());
    }
    DeleteNt32Install();
    EXPECT_TRUE(RestoreSystemNewdev(NEWDEV_32));
    ClearNewdevDoubleEnvironment();
    RemoveTree(dir);
}

TEST(SimultaneousStarts, ExactlyOneUninstallerPurges)
{
    std::string dir = MakeScratchDir("raceuninstall");
    std::string windows[2] = {dir + "\\first", dir + "\\second"};
    std::string environments[2];
    std::string stale[2];
    const std::string commandLines[2] = {Quoted(BinPath("QV_DRVUNI.exe")) + " -u",
                                         Quoted(BinPath("QV_DRVUNI.exe")) + " -u"};

    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(CreateDirectoryA(windows[i].c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA((windows[i] + "\\inf").c_str(), NULL));
        stale[i] = windows[i] + "\\inf\\oem1.inf";
        for (unsigned n = 0; n < OTHER_INF_COUNT; ++n) {
            std::ostringstream other;
            other << windows[i] << "\\inf\\oem" << 1000 + n << ".inf";
            ASSERT_TRUE(WriteInfAnsi(other.str(), OTHER_INF));
        }
        environments[i] = EnvironmentBlock(std::vector<EnvChange>(1, SetVariable("windir", windows[i])));
    }
    for (int round = 0; round < ROUNDS; ++round) {
        SCOPED_TRACE(round);
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(WriteInfAnsi(stale[i], KEY_INF_TEXT));
        DWORD exitCodes[2], processIds[2];
        StartTogether(round, commandLines, environments, exitCodes, processIds);
        EXPECT_EQ(0u, exitCodes[0]);
        EXPECT_EQ(0u, exitCodes[1]);

        bool purged[2] = {!FileExists(stale[0]), !FileExists(stale[1])};
        ASSERT_EQ(1, (purged[0] ? 1 : 0) + (purged[1] ? 1 : 0)) << "instances that purged";
    }
    RemoveTree(dir);
}

} // namespace
