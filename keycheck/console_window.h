// Whether keycheck waits for Enter before it ends: only in a console window
// made for it alone (started from Explorer), whatever host draws that
// window (the classic console, or a terminal through a pseudoconsole,
// whose window is not displayed locally, so its visibility tells nothing).
#pragma once

#include <windows.h>

// What the host answers.
struct ConsoleAnswers {
    bool processListKnown;    // GetConsoleProcessList exists (XP and later)
    DWORD processCount;       // processes attached to the console
    bool inputIsConsole;      // GetConsoleMode succeeds on standard input
    bool outputIsConsole;     // ... and on standard output
    bool hasConsoleWindow;    // GetConsoleWindow is not NULL
    bool consoleWindowIsWindow; // ... and IsWindow accepts it (Windows 10
                                // 1809 gives CREATE_NO_WINDOW consoles a
                                // handle that is no window)
    bool startedHidden;       // STARTUPINFO asks for SW_HIDE
    bool sessionZero;         // ProcessIdToSessionId says session 0
    bool sessionZeroIsolated; // Vista and later: no user works in session 0
    bool interactiveStation;  // the window station is visible (not a service's)
};

// Wait only where the console holds this process alone, both standard
// handles are that console, it has a true window not asked to be hidden,
// and the process runs where a user sees it. Before XP the console's
// processes cannot be listed; what those systems do answer (the console's
// title, where its cursor stands) only hints at a console of its own, and
// a wrong guess leaves a tool's keycheck waiting for an Enter nobody
// presses: there it never waits.
bool ShouldWaitForEnter(const ConsoleAnswers *answers);

// Asks this process's host; every call newer than Windows 95 is looked up.
void AskConsole(ConsoleAnswers *answers);
