// Leaves a mark that it ran: writes its command line into a file named
// after its own path plus ".ran". Planted where a careless command line or
// library search would start it, it shows whether it was started.
#include <windows.h>

#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char markPath[MAX_PATH + 8];
    const char *commandLine = GetCommandLineA();
    DWORD written = 0;
    DWORD length;
    HANDLE mark;

    memset(markPath, 0, sizeof(markPath));
    length = GetModuleFileNameA(NULL, markPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    memcpy(markPath + length, ".ran", 4);
    mark = CreateFileA(markPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (mark == INVALID_HANDLE_VALUE)
        return 1;
    WriteFile(mark, commandLine, (DWORD)strlen(commandLine), &written, NULL);
    CloseHandle(mark);
    return 0;
}
