#include <gtest/gtest.h>

#include "single_instance.h"
#include "wine_test.h"

namespace {

const char INSTALLER_MARKER[] = "TALVERNClass";

TEST(SingleInstance, FirstCallTakesClassAndMutexSecondStops)
{
    const char marker[] = "KsTestMarkerClass";
    HINSTANCE self = GetModuleHandleA(NULL);
    WNDCLASSEXA registered;

    ASSERT_TRUE(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, marker) == NULL);
    EXPECT_TRUE(EnsureSingleInstance(self, 1, marker));

    HANDLE seen = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, marker);
    EXPECT_TRUE(seen != NULL);
    if (seen)
        CloseHandle(seen);
    ZeroMemory(&registered, sizeof(registered));
    registered.cbSize = sizeof(registered);
    EXPECT_TRUE(GetClassInfoExA(self, marker, &registered));

    EXPECT_FALSE(EnsureSingleInstance(self, 1, marker));
}

// keysetup in either mode, while another process holds its mutex, ends at
// once with 0 and installs nothing.
TEST(SingleInstance, SecondKeysetupExitsAtOnceInEitherMode)
{
    const char *tails[] = {"", " uninstall", " -Uninstall"};
    HANDLE held = CreateMutexA(NULL, TRUE, INSTALLER_MARKER);
    std::string inf = SystemDir() + "\\ZIVIRIZ.inf";

    ASSERT_TRUE(held != NULL);
    ASSERT_NE((DWORD)ERROR_ALREADY_EXISTS, GetLastError()) << "another keysetup is running";
    ASSERT_FALSE(FileExists(inf));
    for (size_t i = 0; i < sizeof(tails) / sizeof(tails[0]); ++i) {
        DWORD started = GetTickCount();
        EXPECT_EQ(0u, RunProgram("\"" + BinPath("keysetup.exe") + "\"" + tails[i], 20000)) << tails[i];
        EXPECT_LT(GetTickCount() - started, 10000u) << tails[i];
        EXPECT_FALSE(FileExists(inf)) << tails[i];
    }
    CloseHandle(held);
}

} // namespace
