#include "single_instance.h"

#include <string.h>

namespace {

const UINT WNDCLASSEXA_SIZE = 48;
const ATOM DIALOG_CLASS_ATOM = 0x8002;

// Held for the life of the process; the system releases it at exit.
HANDLE instanceMutex = NULL;

bool RegisterMarkerClass(HINSTANCE instance, WORD iconId, const char *markerName)
{
    WNDCLASSEXA windowClass;

    memset(&windowClass, 0, sizeof(windowClass));
    windowClass.cbSize = WNDCLASSEXA_SIZE;
    if (!GetClassInfoExA(NULL, MAKEINTATOM(DIALOG_CLASS_ATOM), &windowClass))
        return false;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(iconId));
    windowClass.lpszClassName = markerName;
    return RegisterClassExA(&windowClass) != 0;
}

} // namespace

bool MutexHeldElsewhere(HANDLE mutex, DWORD lastError)
{
    if (mutex)
        return lastError == ERROR_ALREADY_EXISTS;
    return lastError == ERROR_ACCESS_DENIED;
}

bool EnsureSingleInstance(HINSTANCE instance, WORD iconId, const char *markerName)
{
    if (!RegisterMarkerClass(instance, iconId, markerName))
        return false;
    SetLastError(ERROR_SUCCESS);
    instanceMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, markerName);
    if (instanceMutex || MutexHeldElsewhere(instanceMutex, GetLastError()))
        return false;
    SetLastError(ERROR_SUCCESS);
    instanceMutex = CreateMutexA(NULL, TRUE, markerName);
    // Two instances started at once can both miss the other's mutex when
    // opening it; the one whose create found it existing gives way.
    return !MutexHeldElsewhere(instanceMutex, GetLastError());
}
