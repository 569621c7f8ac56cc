#include "mode.h"

#include <stdlib.h>
#include <string.h>

namespace {
const char UNINSTALL_WORD[] = "uninstall";
const size_t UNINSTALL_WORD_LENGTH = sizeof(UNINSTALL_WORD) - 1;
}

bool TailSelectsUninstall(const char *tail)
{
    size_t length = strlen(tail);

    if (length < UNINSTALL_WORD_LENGTH)
        return false;
    return _stricmp(tail + length - UNINSTALL_WORD_LENGTH, UNINSTALL_WORD) == 0;
}
