#include "uninstall.h"

// Placeholder until the uninstall procedure lands: does nothing.
int RunUninstall(void)
{
    return 0;
}
