#include <gtest/gtest.h>

#include "wine_test.h"

namespace {

#pragma pack(push, 2)
struct IconDirEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct IconDir {
    WORD reserved, type, count;
    IconDirEntry entries[1];
};
#pragma pack(pop)

void ExpectOneIcon32x32x256(const char *program, WORD groupId)
{
    HMODULE module = LoadLibraryExA(BinPath(program).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL) << program;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(groupId), RT_GROUP_ICON);
    ASSERT_TRUE(found != NULL) << program << " icon group " << groupId;
    const IconDir *dir = (const IconDir *)LockResource(LoadResource(module, found));
    ASSERT_TRUE(dir != NULL);
    EXPECT_EQ(1, dir->count);
    EXPECT_EQ(32, dir->entries[0].width);
    EXPECT_EQ(32, dir->entries[0].height);
    EXPECT_EQ(8, dir->entries[0].bitCount);
    FreeLibrary(module);
}

void ExpectVersion(const char *program, WORD a, WORD b, WORD c, WORD d)
{
    std::string path = BinPath(program);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << program;
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &data[0]));
    VS_FIXEDFILEINFO *info = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&data[0], "\\", (void **)&info, &length));
    EXPECT_EQ(MAKELONG(b, a), info->dwFileVersionMS) << program;
    EXPECT_EQ(MAKELONG(d, c), info->dwFileVersionLS) << program;
    EXPECT_EQ(MAKELONG(b, a), info->dwProductVersionMS) << program;
    EXPECT_EQ(MAKELONG(d, c), info->dwProductVersionLS) << program;
}

TEST(Resources, KeysetupIconAndVersion)
{
    ExpectOneIcon32x32x256("keysetup.exe", 119);
    ExpectVersion("keysetup.exe", 3, 0, 2, 44);
}

// The programs shipped beside keysetup.exe or deployed by it carry the
// product version, as inventory tools read it.
TEST(Resources, HelpersAndKeycheckCarryTheProductVersion)
{
    ExpectVersion("keycheck.exe", 3, 0, 2, 44);
    ExpectVersion("DrvInst64.exe", 3, 0, 2, 44);
    ExpectVersion("DrvInstA64.exe", 3, 0, 2, 44);
}

TEST(Resources, UninstallerIconVersionAndNoEmbeddedManifest)
{
    ExpectOneIcon32x32x256("QV_DRVUNI.exe", 118);
    ExpectVersion("QV_DRVUNI.exe", 2, 0, 1, 15);

    // The manifest file beside the deployed program is what Windows applies.
    HMODULE module = LoadLibraryExA(BinPath("QV_DRVUNI.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST) == NULL);
    FreeLibrary(module);
}

} // namespace
