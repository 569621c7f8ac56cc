// Writing the installer's payload resources out to files.
#pragma once

#include <windows.h>

// Writes resource (resourceType, resourceId) of instance to path, replacing
// any file there. Returns 1 when every byte was written, else 0; a file
// left partly written is deleted.
int ExtractPayload(HINSTANCE instance, WORD resourceId, const char *resourceType, const char *path);

// Pauses 500 ms when a file or directory matches path.
void WaitIfPresent(const char *path);
