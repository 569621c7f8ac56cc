// Keeps a test prefix's Wine services running. Wine's desktop (explorer.exe)
// ends a while after the last program of its prefix; the next program then
// starts it again, cold, and hands it its output, which whoever reads that
// output waits on until the desktop ends. Started detached when the prefix
// is set up, this program asks for the desktop, writes the mark file named
// on its command line once the desktop is up, and waits until the prefix's
// server stops it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR markPath, int)
{
    HANDLE mark;

    // Returns once Wine's desktop process has made the desktop window.
    if (!GetDesktopWindow())
        return 1;
    mark = CreateFileA(markPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (mark == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(mark);
    Sleep(INFINITE);
    return 0;
}
