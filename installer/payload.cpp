#include "payload.h"

#include <string.h>

namespace {

// How long an existing file is given before it is overwritten, so that a
// program or driver still releasing it can finish.
const DWORD OVERWRITE_PAUSE_MS = 500;

} // namespace

int ExtractPayload(HINSTANCE instance, WORD resourceId, const char *resourceType, const char *path)
{
    HRSRC found = NULL;
    HGLOBAL loaded = NULL;
    const void *bytes = NULL;
    DWORD size = 0;
    DWORD written = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    int result = 0;

    found = FindResourceA(instance, MAKEINTRESOURCEA(resourceId), resourceType);
    if (found != NULL)
        loaded = LoadResource(instance, found);
    if (loaded != NULL) {
        bytes = LockResource(loaded);
        size = SizeofResource(instance, found);
    }
    if (bytes != NULL)
        file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE && WriteFile(file, bytes, size, &written, NULL) && written == size)
        result = 1;

    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        // A truncated driver or INF is worse than a missing one.
        if (!result)
            DeleteFileA(path);
    }
    if (loaded != NULL)
        FreeResource(loaded);
    return result;
}

void WaitIfPresent(const char *path)
{
    WIN32_FIND_DATAA match;
    HANDLE search;

    memset(&match, 0, sizeof(match));
    search = FindFirstFileA(path, &match);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    Sleep(OVERWRITE_PAUSE_MS);
}
