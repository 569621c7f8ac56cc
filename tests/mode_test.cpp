#include <gtest/gtest.h>

#include "mode.h"

namespace {

TEST(ModeSelection, LastNineCharactersDecide)
{
    const char *uninstall[] = {"uninstall", "/UNINSTALL", "-Uninstall", "reuninstall", "a b c uNiNsTaLl"};
    const char *install[] = {"", "uninstall x", "uninstal", "uninstall ", "install", "-u", "UNINSTALL\t"};

    for (size_t i = 0; i < sizeof(uninstall) / sizeof(uninstall[0]); ++i)
        EXPECT_TRUE(TailSelectsUninstall(uninstall[i])) << "'" << uninstall[i] << "'";
    for (size_t i = 0; i < sizeof(install) / sizeof(install[0]); ++i)
        EXPECT_FALSE(TailSelectsUninstall(install[i])) << "'" << install[i] << "'";
}

} // namespace
