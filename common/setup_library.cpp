#include "setup_library.h"

#include "platform.h"

namespace {

const char SETUP_LIBRARY_FILE_NAME[] = "\\setupapi.dll";

} // namespace

HMODULE LoadSetupLibrary(void)
{
    return LoadSystemLibrary(SETUP_LIBRARY_FILE_NAME);
}

void *FindSetupFunction(HMODULE setupapi, const char *name)
{
    return (void *)GetProcAddress(setupapi, name);
}
