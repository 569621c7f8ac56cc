// The newdev.dll test double (tests/doubles) and how tests put it in place
// of Wine's own newdev.dll.
//
// The double exports UpdateDriverForPlugAndPlayDevicesA. At each call it
// reads two environment variables, which child processes inherit:
//   NEWDEV_DOUBLE_RESULT  "ok" or unset: TRUE; "nodev": FALSE with
//                         ERROR_NO_SUCH_DEVINST; a number (decimal or 0x
//                         hex): FALSE with that error.
//   NEWDEV_DOUBLE_LOG     file to which one line per call is appended.
//   NEWDEV_DOUBLE_STORE_DELAY_MS  the call first runs that long, then
//                         stores the INF as the first free oemN.inf from
//                         oem9800 (logged as stored=PATH), then answers.
//   NEWDEV_DOUBLE_LOAD_LOG  file to which every process that loads the
//                         double appends "loaded<TAB>pid=N<TAB>module=PATH",
//                         called or not (see tests/support/dll_marks.h).
//
// Wine only loads a native newdev.dll when the override says so:
// WINEDLLOVERRIDES=newdev=n must be in the Unix environment the test
// program starts with (ENV "WINEDLLOVERRIDES=newdev=n" of add_wine_test);
// every process it starts inherits it. Wine 8 drops WINEDLLOVERRIDES set
// with SetEnvironmentVariableA: a child does not even see the variable. The
// registry also works: HKCU\Software\Wine\DllOverrides, value
// newdev="native", takes effect at once, also in the process that sets it;
// HKCU\Software\Wine\AppDefaults\NAME.exe\DllOverrides only for NAME.exe
// processes started after it is set.
//
// Use (a test that installs the double takes the ctest lock "newdev"):
//   SetNewdevDoubleLog(log); SetNewdevDoubleResult("nodev");
//   ASSERT_TRUE(InstallNewdevDouble(NEWDEV_32));
//   ... run the code under test ...
//   std::vector<NewdevCall> calls = ReadNewdevCalls(log);
//   RestoreSystemNewdev(NEWDEV_32);
// "No newdev.dll" is RemoveSystemNewdev: with the file gone a load by full
// path fails whatever the override says.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Which system newdev.dll: the one 32-bit processes load (GetSystemDirectoryA
// of this 32-bit process: system32 in a win32 prefix, syswow64 under WOW64)
// or the one 64-bit processes load (the real system32, which this process
// reaches through Wine's "sysnative" alias; win64 prefix only).
enum NewdevBitness { NEWDEV_32, NEWDEV_64 };

// The built double of that bitness.
std::string NewdevDoublePath(NewdevBitness bitness);
// The system newdev.dll of that bitness, as this process names it.
std::string SystemNewdevPath(NewdevBitness bitness);
// The path the loading process reports for the system newdev.dll (either
// bitness): GetSystemDirectoryA + "\newdev.dll".
std::string LoadedNewdevPath();

// True when this process was started with WINEDLLOVERRIDES=newdev=n.
bool NativeNewdevOverrideSet();

// Keeps the original aside (beside it, once) and copies the double in place.
bool InstallNewdevDouble(NewdevBitness bitness);
// Keeps the original aside and leaves no newdev.dll there.
bool RemoveSystemNewdev(NewdevBitness bitness);
// Puts the original back; true when it is back (or nothing was kept).
bool RestoreSystemNewdev(NewdevBitness bitness);

// Behaviour for this process and the ones it starts; NULL unsets it.
void SetNewdevDoubleResult(const char *result);
// Log file for this process and the ones it starts; deletes the old file.
void SetNewdevDoubleLog(const std::string &logPath);
void ClearNewdevDoubleEnvironment();

// One call as the double logged it.
struct NewdevCall {
    std::string hardwareId;
    std::string infPath;
    unsigned long flags;
    bool rebootFlagPassed;
    int bits;                // 32 or 64
    unsigned long processId;
    std::string modulePath;  // the newdev.dll that was called
    int nonInteractive;      // SetupAPI's mode in the caller: 1, 0, -1 no setupapi
    std::string storedPath;  // the copy stored after the delay, if any
    std::string commandLine; // of the calling process
};

// The calls logged so far (none when there is no log).
std::vector<NewdevCall> ReadNewdevCalls(const std::string &logPath);
// Polls until at least count calls are logged or timeoutMs pass.
std::vector<NewdevCall> WaitForNewdevCalls(const std::string &logPath, size_t count, DWORD timeoutMs);
