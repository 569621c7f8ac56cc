#include "install_plan.h"

// Placeholder until the install plan lands: does nothing.
int RunInstall(HINSTANCE instance)
{
    (void)instance;
    return 0;
}
