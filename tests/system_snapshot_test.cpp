#include "system_snapshot.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const char TREE[] = "SOFTWARE\\KsSnapshotTest";

void SetString(const std::string &keyPath, const char *name, const char *text)
{
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, NULL, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL, &key, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1));
    RegCloseKey(key);
}

void DeleteValue(const std::string &keyPath, const char *name)
{
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                           &key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, name));
    RegCloseKey(key);
}

std::string Described(const std::vector<SnapshotChange> &changes)
{
    std::string text;

    for (size_t i = 0; i < changes.size(); ++i)
        text += DescribeChange(changes[i]) + "\n";
    return text;
}

class SystemSnapshot : public ::testing::Test {
protected:
    SnapshotScope scope;
    std::string tree;

    void SetUp() override
    {
        tree = TREE;
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, TREE);
        scope.registry = false;
        scope.registryKeys.push_back(TREE);
    }

    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, TREE); }
};

// A snapshot that reuses the unchanged keys of an earlier one is the
// snapshot a full walk gives, whichever level a change is made at.
TEST_F(SystemSnapshot, ReusingUnchangedKeysSeesEveryChange)
{
    SetString(tree + "\\A", "kept", "1");
    SetString(tree + "\\A", "dir\\file", "a name with a backslash");
    SetString(tree + "\\A\\B", "deep", "2");
    SetString(tree + "\\C", "removed", "3");
    SetString(tree + "\\E\\F", "kept", "4");
    Snapshot before, reused, fresh;
    std::string reason;
    ASSERT_TRUE(TakeSnapshot(scope, NULL, &before, &reason)) << reason;
    // Later than the snapshot's reading in the registry server's clock.
    Sleep(20);

    SetString(tree + "\\A\\B", "deep", "changed below an unchanged key");
    DeleteValue(tree + "\\C", "removed");
    SetString(tree + "\\C", "added", "5");
    SetString(tree + "\\C\\D", "new", "6");
    ASSERT_TRUE(TakeSnapshot(scope, &before, &reused, &reason)) << reason;
    ASSERT_TRUE(TakeSnapshot(scope, NULL, &fresh, &reason)) << reason;

    EXPECT_EQ("", Described(DiffSnapshots(fresh, reused)));
    // The value, the removed and the added value, the new key and its value.
    std::vector<SnapshotChange> changes = DiffSnapshots(before, reused);
    EXPECT_EQ(5u, changes.size()) << Described(changes);
    EXPECT_TRUE(FindSnapshotEntry(reused, ENTRY_VALUE, "HKLM\\" + tree + "\\A\\dir\\file") != NULL);
    EXPECT_TRUE(FindSnapshotEntry(reused, ENTRY_VALUE, "HKLM\\" + tree + "\\E\\F\\kept") != NULL);
}

} // namespace
