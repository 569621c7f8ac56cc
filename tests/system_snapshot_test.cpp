#include "system_snapshot.h"
#include "wine_test.h"

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
    std::string file;

    void SetUp() override
    {
        tree = TREE;
        file = MakeScratchDir("snapshot") + "\\stored.snapshot";
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, TREE);
        scope.registry = false;
        scope.registryKeys.push_back(TREE);
    }

    void TearDown() override
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, TREE);
        RemoveTree(file.substr(0, file.rfind('\\')));
    }
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
    Snapshot before, stored, reused, fresh;
    std::string reason;
    ASSERT_TRUE(TakeSnapshot(scope, NULL, &before, &reason)) << reason;
    // Stored and read back whole, times and all.
    ASSERT_TRUE(SaveSnapshot(before, file));
    ASSERT_TRUE(LoadSnapshot(file, &stored));
    EXPECT_EQ("", Described(DiffSnapshots(before, stored)));
    for (Snapshot::const_iterator it = before.begin(); it != before.end(); ++it) {
        const SnapshotEntry *copy = FindSnapshotEntry(stored, it->second.kind, it->second.path);
        ASSERT_TRUE(copy != NULL) << it->second.path;
        EXPECT_EQ(0, CompareFileTime(&it->second.lastWrite, &copy->lastWrite)) << it->second.path;
        EXPECT_EQ(it->second.nameStart, copy->nameStart) << it->second.path;
    }
    // Later than the snapshot's reading in the registry server's clock.
    Sleep(20);

    SetString(tree + "\\A\\B", "deep", "changed below an unchanged key");
    DeleteValue(tree + "\\C", "removed");
    SetString(tree + "\\C", "added", "5");
    SetString(tree + "\\C\\D", "new", "6");
    ASSERT_TRUE(TakeSnapshot(scope, &stored, &reused, &reason)) << reason;
    ASSERT_TRUE(TakeSnapshot(scope, NULL, &fresh, &reason)) << reason;

    EXPECT_EQ("", Described(DiffSnapshots(fresh, reused)));
    // The value, the removed and the added value, the new key and its value.
    std::vector<SnapshotChange> changes = DiffSnapshots(before, reused);
    EXPECT_EQ(5u, changes.size()) << Described(changes);
    EXPECT_TRUE(FindSnapshotEntry(reused, ENTRY_VALUE, "HKLM\\" + tree + "\\A\\dir\\file") != NULL);
    EXPECT_TRUE(FindSnapshotEntry(reused, ENTRY_VALUE, "HKLM\\" + tree + "\\E\\F\\kept") != NULL);
}

// A file cut short is no snapshot: nothing of it is reused.
TEST_F(SystemSnapshot, CutStoredSnapshotIsRefused)
{
    SetString(tree + "\\A", "kept", "1");
    Snapshot before, stored;
    std::string reason;
    ASSERT_TRUE(TakeSnapshot(scope, NULL, &before, &reason)) << reason;
    ASSERT_TRUE(SaveSnapshot(before, file));
    std::string bytes = ReadBytes(file);
    ASSERT_TRUE(WriteBytes(file, bytes.substr(0, bytes.size() - 1)));

    EXPECT_FALSE(LoadSnapshot(file, &stored));
    EXPECT_TRUE(stored.empty());
}

} // namespace
