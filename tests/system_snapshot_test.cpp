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

// A key made volatile when it is created here, and a value of any type.
void SetRaw(const std::string &keyPath, DWORD options, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, NULL, options,
                                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL, &key, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, (const BYTE *)data, size));
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

// A snapshot taken with an earlier one reads the registry server's save of
// the branch; it is what a walk reads: names and data the save escapes,
// every value type, strings without their null, and the volatile keys the
// save leaves out, those there before and those made since, below keys
// with values and below keys with subkeys only.
TEST_F(SystemSnapshot, SavedBranchIsWhatAWalkReads)
{
    const char multi[] = "one\0two \"quoted\"\0";
    const BYTE binary[] = {0, 1, 0x5c, 0x22, 0xff};
    const char unterminated[] = {'n', 'o', ' ', 'n', 'u', 'l', 'l'};
    const char special[] = "tab\tnew\nline [x] \\ \"q\" \xe9\x7f";
    DWORD number = 0x12345678;
    SetRaw(tree + "\\Br[ack]ets \"and\" quotes", 0, "", REG_SZ, special, sizeof(special));
    SetRaw(tree + "\\Types", 0, "multi", REG_MULTI_SZ, multi, sizeof(multi));
    SetRaw(tree + "\\Types", 0, "expand", REG_EXPAND_SZ, "%SystemRoot%", 13);
    SetRaw(tree + "\\Types", 0, "binary", REG_BINARY, binary, sizeof(binary));
    SetRaw(tree + "\\Types", 0, "dword", REG_DWORD, &number, sizeof(number));
    SetRaw(tree + "\\Types", 0, "no null", REG_SZ, unterminated, sizeof(unterminated));
    SetRaw(tree + "\\Types", 0, "empty", REG_BINARY, NULL, 0);
    SetRaw(tree + "\\Volatile", REG_OPTION_VOLATILE, "v", REG_SZ, "1", 2);
    SetRaw(tree + "\\Volatile\\Below", REG_OPTION_VOLATILE, "v", REG_SZ, "2", 2);
    SetString(tree + "\\Only\\Subkeys", "kept", "3");
    Snapshot walked, saved, later, fresh;
    std::string reason;
    ASSERT_TRUE(TakeSnapshot(scope, NULL, &walked, &reason)) << reason;
    ASSERT_TRUE(TakeSnapshot(scope, &walked, &saved, &reason)) << reason;
    EXPECT_EQ("", Described(DiffSnapshots(walked, saved)));
    Sleep(20);

    SetRaw(tree + "\\Types\\New volatile", REG_OPTION_VOLATILE, "v", REG_SZ, "4", 2);
    SetRaw(tree + "\\Only\\New volatile", REG_OPTION_VOLATILE, "v", REG_SZ, "5", 2);
    SetRaw(tree + "\\Volatile\\Below", 0, "v", REG_SZ, "6", 2);
    ASSERT_TRUE(TakeSnapshot(scope, &saved, &later, &reason)) << reason;
    ASSERT_TRUE(TakeSnapshot(scope, NULL, &fresh, &reason)) << reason;
    EXPECT_EQ("", Described(DiffSnapshots(fresh, later)));
    // Two new keys and their values, the changed value.
    EXPECT_EQ(5u, DiffSnapshots(walked, later).size()) << Described(DiffSnapshots(walked, later));
}

// The same for all of HKLM, as the end-to-end tests take it. Other tests
// run in this prefix meanwhile: a difference counts only if a second walk
// differs from the save there too (a walk of HKLM takes seconds).
TEST_F(SystemSnapshot, SavedRegistryIsWhatAWalkReads)
{
    SnapshotScope whole;
    Snapshot first, saved, second;
    std::string reason;
    whole.registry = true;
    ASSERT_TRUE(TakeSnapshot(whole, NULL, &first, &reason)) << reason;
    ASSERT_TRUE(TakeSnapshot(whole, &first, &saved, &reason)) << reason;
    std::vector<SnapshotChange> differences = DiffSnapshots(first, saved);
    if (!differences.empty()) {
        ASSERT_TRUE(TakeSnapshot(whole, NULL, &second, &reason)) << reason;
        std::vector<SnapshotChange> again = DiffSnapshots(second, saved);
        std::vector<SnapshotChange> persisting;
        for (size_t i = 0; i < differences.size(); ++i)
            for (size_t j = 0; j < again.size(); ++j)
                if (SamePath(ChangedPath(differences[i]), ChangedPath(again[j]))) {
                    persisting.push_back(differences[i]);
                    break;
                }
        differences = persisting;
    }

    EXPECT_GT(saved.size(), 10000u);
    EXPECT_EQ("", Described(differences));
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
