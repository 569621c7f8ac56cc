#include <gtest/gtest.h>

#include "inf_files.h"
#include "installed_state.h"
#include "single_instance.h"
#include "system_names.h"
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
// once with 0 and changes nothing: no file is installed, and what an
// uninstall deletes (the entry, the manifest, a stale copy of the key's
// INF with its twin) stays.
TEST(SingleInstance, SecondKeysetupExitsAtOnceInEitherMode)
{
    const char *tails[] = {"", " uninstall", " -Uninstall"};
    HANDLE held = CreateMutexA(NULL, TRUE, INSTALLER_MARKER);
    std::string inf = SystemDir() + "\\ZIVIRIZ.inf";
    std::string manifest = InstalledPath("QV_DRVUNI.exe.manifest");
    std::string stale = WindowsDir() + "\\inf\\oem4351";

    ASSERT_TRUE(held != NULL);
    ASSERT_NE((DWORD)ERROR_ALREADY_EXISTS, GetLastError()) << "another keysetup is running";
    ASSERT_FALSE(FileExists(inf));
    ASSERT_TRUE(WriteUninstallEntry());
    ASSERT_TRUE(WriteBytes(manifest, "<assembly/>"));
    ASSERT_TRUE(WriteInfAnsi(stale + ".inf", KEY_INF_TEXT));
    ASSERT_TRUE(WriteBytes(stale + ".pnf", "precompiled"));
    for (size_t i = 0; i < sizeof(tails) / sizeof(tails[0]); ++i) {
        SCOPED_TRACE(tails[i]);
        EXPECT_EQ(0u, RunProgram(Quoted(BinPath("keysetup.exe")) + tails[i], 20000));
        EXPECT_FALSE(FileExists(inf));
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH));
        EXPECT_TRUE(FileExists(manifest));
        EXPECT_TRUE(FileExists(stale + ".inf"));
        EXPECT_TRUE(FileExists(stale + ".pnf"));
    }
    CloseHandle(held);
    DeleteFileA((stale + ".inf").c_str());
    DeleteFileA((stale + ".pnf").c_str());
    DeleteNt32Install();
}

// Only a handle with ERROR_ALREADY_EXISTS, or no handle with
// ERROR_ACCESS_DENIED, says that another instance holds the mutex.
TEST(SingleInstance, MutexAnswersThatMeanAnotherInstance)
{
    HANDLE handle = (HANDLE)0x44; // never used: only its presence counts

    EXPECT_TRUE(MutexHeldElsewhere(handle, ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(MutexHeldElsewhere(NULL, ERROR_ACCESS_DENIED));
    EXPECT_FALSE(MutexHeldElsewhere(handle, ERROR_SUCCESS));
    EXPECT_FALSE(MutexHeldElsewhere(handle, ERROR_ACCESS_DENIED));
    EXPECT_FALSE(MutexHeldElsewhere(NULL, ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MutexHeldElsewhere(NULL, ERROR_INVALID_HANDLE)); // the name is another kind of object
    EXPECT_FALSE(MutexHeldElsewhere(NULL, ERROR_NOT_ENOUGH_MEMORY));
}

// An instance started with other rights holds a mutex that this keysetup
// may not open (here: an empty DACL, which grants nobody anything); it ends
// as for a mutex it may open and installs nothing.
TEST(SingleInstance, MutexItMayNotOpenStopsKeysetup)
{
    ACL emptyAcl;
    SECURITY_DESCRIPTOR denyAll;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &denyAll, FALSE};
    std::string inf = SystemDir() + "\\ZIVIRIZ.inf";

    ASSERT_TRUE(InitializeAcl(&emptyAcl, sizeof(emptyAcl), ACL_REVISION));
    ASSERT_TRUE(InitializeSecurityDescriptor(&denyAll, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&denyAll, TRUE, &emptyAcl, FALSE));
    HANDLE held = CreateMutexA(&attributes, TRUE, INSTALLER_MARKER);
    ASSERT_TRUE(held != NULL);
    ASSERT_NE((DWORD)ERROR_ALREADY_EXISTS, GetLastError()) << "another keysetup is running";
    HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, INSTALLER_MARKER);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError()) << "the DACL is not enforced";
    EXPECT_TRUE(opened == NULL);
    ASSERT_FALSE(FileExists(inf));

    EXPECT_EQ(0u, RunProgram(Quoted(BinPath("keysetup.exe"))));
    EXPECT_FALSE(FileExists(inf));
    if (opened)
        CloseHandle(opened);
    CloseHandle(held);
    DeleteNt32Install();
}

} // namespace
