// Reports what the platform detection sees, as its exit code:
// platform class times 10, plus 1 under WOW64.
#include <windows.h>

#include "platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return GetPlatformClass() * 10 + (IsRunningUnderWow64() ? 1 : 0);
}
