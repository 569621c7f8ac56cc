#include "system_snapshot.h"

#include "saved_registry.h"

#include <stdio.h>
#include <string.h>

namespace {

// Hashing reads whole files in blocks of this size (a multiple of the
// 32 bytes the hash takes in one step).
const DWORD READ_BLOCK = 1 << 20;
const size_t HASH_STEP = 32;
const ULONGLONG HASH_SEED = 0xCBF29CE484222325ull;
const ULONGLONG HASH_MULTIPLIER = 0x9E3779B97F4A7C15ull;
// A file that cannot be read: only its size and attributes count.
const ULONGLONG UNREADABLE_HASH = 0;

const char ROOT_KEY_NAME[] = "HKLM";
const char LINK_VALUE_NAME[] = "SymbolicLinkValue";
// Key names are at most 255 characters.
const DWORD KEY_NAME_CAPACITY = 256;
// Value names are at most 16383 characters; data grows from this as needed.
const DWORD VALUE_NAME_CAPACITY = 16384;
const size_t VALUE_DATA_START = 64 * 1024;
// The data of a key that could not be opened.
const char UNREADABLE_KEY[] = "unreadable";
// Shown of binary value data in a description.
const size_t DESCRIBED_BYTES = 32;

// Fast and not cryptographic: enough to see that a file's bytes changed.
struct ContentHash {
    ULONGLONG lane[4];
    ULONGLONG length;
};

ULONGLONG Mix(ULONGLONG state, ULONGLONG word)
{
    state ^= word;
    state = (state << 29) | (state >> 35);
    return state * HASH_MULTIPLIER;
}

void StartHash(ContentHash *hash)
{
    for (size_t i = 0; i < 4; ++i)
        hash->lane[i] = HASH_SEED + i;
    hash->length = 0;
}

// count is a multiple of HASH_STEP except in the last call.
void HashBytes(ContentHash *hash, const unsigned char *bytes, size_t count)
{
    size_t done = 0;
    ULONGLONG word;

    for (; done + HASH_STEP <= count; done += HASH_STEP) {
        for (size_t i = 0; i < 4; ++i) {
            memcpy(&word, bytes + done + 8 * i, 8);
            hash->lane[i] = Mix(hash->lane[i], word);
        }
    }
    for (; done < count; ++done)
        hash->lane[0] = Mix(hash->lane[0], bytes[done]);
    hash->length += count;
}

ULONGLONG FinishHash(const ContentHash *hash)
{
    ULONGLONG result = hash->length;

    for (size_t i = 0; i < 4; ++i)
        result = Mix(result, hash->lane[i]);
    return result == UNREADABLE_HASH ? 1 : result;
}

ULONGLONG HashFile(const std::string &path)
{
    static unsigned char block[READ_BLOCK];
    ContentHash hash;
    ULONGLONG result = UNREADABLE_HASH;
    DWORD got = 0;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);

    if (file != INVALID_HANDLE_VALUE) {
        StartHash(&hash);
        // Disk files fill every read but the last, so each block but the
        // last is a whole number of hash steps.
        while (ReadFile(file, block, READ_BLOCK, &got, NULL) && got > 0)
            HashBytes(&hash, block, got);
        result = FinishHash(&hash);
        CloseHandle(file);
    }
    return result;
}

std::string Folded(const std::string &path)
{
    std::string folded = path;

    if (!folded.empty())
        CharUpperBuffA(&folded[0], (DWORD)folded.size());
    return folded;
}

std::string MapKey(SnapshotKind kind, const std::string &path)
{
    char family = 'F';

    if (kind == ENTRY_KEY || kind == ENTRY_LINK_KEY)
        family = 'K';
    else if (kind == ENTRY_VALUE)
        family = 'V';
    return family + Folded(path);
}

bool IsExcluded(const SnapshotScope &scope, const std::string &path)
{
    for (size_t i = 0; i < scope.excluded.size(); ++i)
        if (PathAtOrBelow(path, scope.excluded[i]))
            return true;
    return false;
}

SnapshotEntry EmptyEntry(SnapshotKind kind, const std::string &path)
{
    SnapshotEntry entry;

    entry.kind = kind;
    entry.path = path;
    entry.attributes = 0;
    entry.size = 0;
    entry.hash = 0;
    entry.lastWrite.dwLowDateTime = 0;
    entry.lastWrite.dwHighDateTime = 0;
    entry.type = 0;
    entry.nameStart = 0;
    return entry;
}

void Add(Snapshot *snapshot, const SnapshotEntry &entry)
{
    (*snapshot)[MapKey(entry.kind, entry.path)] = entry;
}

ULONGLONG PreviousHash(const Snapshot *previous, const SnapshotEntry &entry, bool *found)
{
    *found = false;
    if (!previous)
        return 0;
    Snapshot::const_iterator it = previous->find(MapKey(ENTRY_FILE, entry.path));
    if (it == previous->end() || it->second.kind != ENTRY_FILE || it->second.size != entry.size ||
        CompareFileTime(&it->second.lastWrite, &entry.lastWrite) != 0 || it->second.hash == UNREADABLE_HASH)
        return 0;
    *found = true;
    return it->second.hash;
}

void RecordFile(const Snapshot *previous, const std::string &path, const WIN32_FIND_DATAA &found,
                Snapshot *snapshot)
{
    SnapshotEntry entry = EmptyEntry(ENTRY_FILE, path);
    bool reused = false;

    entry.attributes = found.dwFileAttributes;
    entry.size = ((ULONGLONG)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    entry.lastWrite = found.ftLastWriteTime;
    entry.hash = PreviousHash(previous, entry, &reused);
    if (!reused)
        entry.hash = HashFile(path);
    Add(snapshot, entry);
}

void WalkDirectory(const SnapshotScope &scope, const Snapshot *previous, const std::string &directory,
                   bool recursive, Snapshot *snapshot)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);

    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        std::string path = directory + "\\" + name;
        if (name == "." || name == ".." || IsExcluded(scope, path))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            SnapshotEntry entry = EmptyEntry(ENTRY_DIRECTORY, path);
            entry.attributes = found.dwFileAttributes;
            Add(snapshot, entry);
            // A reparse point (a link) is listed, not followed.
            if (recursive && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                WalkDirectory(scope, previous, path, true, snapshot);
        } else {
            RecordFile(previous, path, found, snapshot);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

bool WalkDirectoryRoot(const SnapshotScope &scope, const Snapshot *previous, const std::string &root,
                       bool recursive, Snapshot *snapshot, std::string *reason)
{
    PVOID redirection = NULL;
    // A 32-bit process on 64-bit Windows would see syswow64 in place of
    // system32; the snapshot wants the directories as they are.
    BOOL redirectionOff = Wow64DisableWow64FsRedirection(&redirection);
    DWORD attributes = GetFileAttributesA(root.c_str());
    bool walked = false;

    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        WalkDirectory(scope, previous, root, recursive, snapshot);
        walked = true;
    } else if (!recursive) {
        walked = true;
    } else {
        *reason = "no directory " + root;
    }
    if (redirectionOff)
        Wow64RevertWow64FsRedirection(redirection);
    return walked;
}

// The registry walk's state: where it records, and buffers reused for
// every key.
struct RegistryWalk {
    const SnapshotScope *scope;
    const Snapshot *previous;
    Snapshot *snapshot;
    std::vector<char> valueName;
    std::vector<BYTE> data;
};

// The target of a link key is stored as UTF-16 whatever the call's
// character set.
std::string LinkTarget(const BYTE *data, DWORD size)
{
    std::string target;

    for (DWORD i = 0; i + 1 < size; i += 2)
        target += (char)data[i];
    return target;
}

// Records the key's values; a link's one value is its target, which is
// kept in the key's entry instead.
void RecordValues(RegistryWalk *walk, HKEY key, SnapshotEntry *keyEntry)
{
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = (DWORD)walk->valueName.size();
        DWORD dataSize = (DWORD)walk->data.size();
        DWORD type = 0;
        LONG status = RegEnumValueA(key, index, &walk->valueName[0], &nameLength, NULL, &type, &walk->data[0],
                                    &dataSize);
        if (status == ERROR_MORE_DATA) {
            // Data larger than any so far: take this value again with room.
            walk->data.resize(walk->data.size() * 4);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS)
            break;
        std::string name(&walk->valueName[0], nameLength);
        if (type == REG_LINK && name == LINK_VALUE_NAME) {
            keyEntry->kind = ENTRY_LINK_KEY;
            keyEntry->data = LinkTarget(&walk->data[0], dataSize);
            continue;
        }
        SnapshotEntry entry = EmptyEntry(ENTRY_VALUE, keyEntry->path + "\\" + name);
        entry.nameStart = keyEntry->path.size() + 1;
        entry.type = type;
        entry.size = dataSize;
        entry.data.assign((const char *)&walk->data[0], dataSize);
        Add(walk->snapshot, entry);
    }
}

// A subkey as its parent lists it: the name and the key's last-write time,
// which the listing gives without opening the key.
struct ListedSubkey {
    std::string name;
    FILETIME lastWrite;
};

void WalkKey(RegistryWalk *walk, HKEY key, SnapshotEntry *keyEntry);

// Opens the link itself, not what it points to, so that an alias is listed
// once as a link and not walked twice.
void WalkSubkey(RegistryWalk *walk, HKEY parent, const std::string &name, SnapshotEntry *entry)
{
    HKEY key = NULL;
    LONG status = RegOpenKeyExA(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | KEY_WOW64_64KEY, &key);

    if (status != ERROR_SUCCESS) {
        // Listed, so that it cannot vanish unseen; its content is out of reach.
        entry->data = UNREADABLE_KEY;
    } else {
        WalkKey(walk, key, entry);
    }
    Add(walk->snapshot, *entry);
    if (key)
        RegCloseKey(key);
}

// previous's entry of the key when the key has not changed since.
const SnapshotEntry *UnchangedKey(const RegistryWalk *walk, const SnapshotEntry &keyEntry)
{
    if (!walk->previous || (keyEntry.lastWrite.dwLowDateTime == 0 && keyEntry.lastWrite.dwHighDateTime == 0))
        return NULL;
    Snapshot::const_iterator it = walk->previous->find(MapKey(ENTRY_KEY, keyEntry.path));
    if (it == walk->previous->end() || it->second.data == UNREADABLE_KEY ||
        CompareFileTime(&it->second.lastWrite, &keyEntry.lastWrite) != 0)
        return NULL;
    return &it->second;
}

bool StartsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The unchanged key's values, as previous has them (the entries below a key
// follow its prefix in the map's order).
void ReuseValues(RegistryWalk *walk, const SnapshotEntry &same)
{
    const Snapshot &previous = *walk->previous;
    std::string values = MapKey(ENTRY_VALUE, same.path + "\\");
    Snapshot::const_iterator it;

    for (it = previous.lower_bound(values); it != previous.end() && StartsWith(it->first, values); ++it)
        if (it->second.nameStart == same.path.size() + 1)
            Add(walk->snapshot, it->second);
}

// Whether previous holds a key below the unchanged key: if not, it still
// has none (creating a subkey moves its time on), and it need not be opened.
bool HadSubkeys(const RegistryWalk *walk, const SnapshotEntry &same)
{
    std::string keys = MapKey(ENTRY_KEY, same.path + "\\");
    Snapshot::const_iterator it = walk->previous->lower_bound(keys);

    return it != walk->previous->end() && StartsWith(it->first, keys);
}

void ListSubkeys(HKEY key, std::vector<ListedSubkey> *subkeys)
{
    char name[KEY_NAME_CAPACITY];
    ListedSubkey subkey;

    for (DWORD index = 0;; ++index) {
        DWORD length = KEY_NAME_CAPACITY;
        memset(name, 0, sizeof(name));
        if (RegEnumKeyExA(key, index, name, &length, NULL, NULL, NULL, &subkey.lastWrite) != ERROR_SUCCESS)
            break;
        subkey.name.assign(name, length);
        subkeys->push_back(subkey);
    }
}

// Records the key's values and walks its subkeys; a link is listed, not
// walked. A subkey unchanged since previous, with no subkeys of its own
// there, is taken from previous without being opened: most keys are such
// leaves, and a snapshot's time is mostly calls to the registry.
void WalkKey(RegistryWalk *walk, HKEY key, SnapshotEntry *keyEntry)
{
    std::vector<ListedSubkey> subkeys;
    const SnapshotEntry *same = UnchangedKey(walk, *keyEntry);

    if (same) {
        keyEntry->kind = same->kind;
        keyEntry->data = same->data;
        ReuseValues(walk, *same);
    } else {
        RecordValues(walk, key, keyEntry);
    }
    if (keyEntry->kind == ENTRY_LINK_KEY)
        return;
    ListSubkeys(key, &subkeys);
    for (size_t i = 0; i < subkeys.size(); ++i) {
        SnapshotEntry entry = EmptyEntry(ENTRY_KEY, keyEntry->path + "\\" + subkeys[i].name);
        if (IsExcluded(*walk->scope, entry.path))
            continue;
        entry.lastWrite = subkeys[i].lastWrite;
        const SnapshotEntry *leaf = UnchangedKey(walk, entry);
        if (leaf && !HadSubkeys(walk, *leaf)) {
            entry.kind = leaf->kind;
            entry.data = leaf->data;
            ReuseValues(walk, *leaf);
            Add(walk->snapshot, entry);
        } else {
            WalkSubkey(walk, key, subkeys[i].name, &entry);
        }
    }
}

// A key of a saved branch: its path below the branch and its time (for a
// key the save names only as an ancestor, asked of the registry).
struct PresentKey {
    std::string relative;
    FILETIME lastWrite;
    bool link;
};

// Keyed by the folded full path.
typedef std::map<std::string, PresentKey> PresentKeys;

std::string Joined(const std::string &parent, const std::string &name)
{
    return name.empty() ? parent : parent.empty() ? name : parent + "\\" + name;
}

std::string ParentOf(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

// Returns whether the key is a link.
bool RecordSavedKey(RegistryWalk *walk, const std::string &rootPath, bool listRoot, const SavedKey &saved)
{
    SnapshotEntry entry = EmptyEntry(ENTRY_KEY, Joined(rootPath, saved.path));

    entry.lastWrite = saved.lastWrite;
    for (size_t i = 0; i < saved.values.size(); ++i) {
        const SavedValue &value = saved.values[i];
        if (value.type == REG_LINK && value.name == LINK_VALUE_NAME) {
            entry.kind = ENTRY_LINK_KEY;
            entry.data = LinkTarget((const BYTE *)value.data.data(), (DWORD)value.data.size());
            continue;
        }
        SnapshotEntry valueEntry = EmptyEntry(ENTRY_VALUE, entry.path + "\\" + value.name);
        valueEntry.nameStart = entry.path.size() + 1;
        valueEntry.type = value.type;
        valueEntry.size = value.data.size();
        valueEntry.data = value.data;
        Add(walk->snapshot, valueEntry);
    }
    if (listRoot || !saved.path.empty())
        Add(walk->snapshot, entry);
    return entry.kind == ENTRY_LINK_KEY;
}

// Opens the key at relative below root (root itself for ""), a link as
// itself.
LONG OpenBelow(HKEY root, const std::string &relative, HKEY *key)
{
    return RegOpenKeyExA(root, relative.empty() ? NULL : relative.c_str(), REG_OPTION_OPEN_LINK,
                         KEY_READ | KEY_WOW64_64KEY, key);
}

FILETIME KeyTime(HKEY root, const std::string &relative)
{
    FILETIME time = {0, 0};
    HKEY key = NULL;

    if (OpenBelow(root, relative, &key) == ERROR_SUCCESS) {
        RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &time);
        RegCloseKey(key);
    }
    return time;
}

// Records a key the save names only as an ancestor, with its time.
void RecordAncestor(RegistryWalk *walk, HKEY root, const std::string &rootPath, bool listRoot,
                    const std::string &relative, PresentKeys *present)
{
    PresentKey key = {relative, KeyTime(root, relative), false};
    SnapshotEntry entry = EmptyEntry(ENTRY_KEY, Joined(rootPath, relative));

    entry.lastWrite = key.lastWrite;
    (*present)[Folded(entry.path)] = key;
    if (listRoot || !relative.empty())
        Add(walk->snapshot, entry);
}

// Records the branch's root, the saved keys and their values, and the keys
// the save names only as ancestors.
void RecordSavedBranch(RegistryWalk *walk, HKEY root, const std::string &rootPath, bool listRoot,
                       const std::vector<SavedKey> &saved, PresentKeys *present)
{
    RecordAncestor(walk, root, rootPath, listRoot, "", present);
    for (size_t i = 0; i < saved.size(); ++i) {
        std::string full = Joined(rootPath, saved[i].path);
        if (IsExcluded(*walk->scope, full))
            continue;
        PresentKey key = {saved[i].path, saved[i].lastWrite, false};
        key.link = RecordSavedKey(walk, rootPath, listRoot, saved[i]);
        (*present)[Folded(full)] = key;
        for (std::string above = ParentOf(saved[i].path); !present->count(Folded(Joined(rootPath, above)));
             above = ParentOf(above))
            RecordAncestor(walk, root, rootPath, listRoot, above, present);
    }
}

// A volatile key, with everything below it, as a walk reads it; a key
// gone since it was listed adds nothing.
void WalkVolatileKey(RegistryWalk *walk, HKEY root, const std::string &relative, const std::string &full)
{
    HKEY key = NULL;
    LONG status = OpenBelow(root, relative, &key);
    SnapshotEntry entry = EmptyEntry(ENTRY_KEY, full);

    if (status == ERROR_FILE_NOT_FOUND)
        return;
    if (status != ERROR_SUCCESS) {
        entry.data = UNREADABLE_KEY;
    } else {
        RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &entry.lastWrite);
        WalkKey(walk, key, &entry);
        RegCloseKey(key);
    }
    Add(walk->snapshot, entry);
}

// The keys a save leaves out (volatile ones): keyed by the folded full
// path, the path below the branch.
typedef std::map<std::string, std::string> UnsavedKeys;

// Those of the previous snapshot, below a saved key.
void PreviousUnsavedKeys(const RegistryWalk *walk, const std::string &rootPath, const PresentKeys &present,
                         UnsavedKeys *unsaved)
{
    std::string below = MapKey(ENTRY_KEY, rootPath + "\\");
    Snapshot::const_iterator it;

    for (it = walk->previous->lower_bound(below); it != walk->previous->end() && StartsWith(it->first, below); ++it) {
        std::string folded = it->first.substr(1);
        if (!present.count(folded) && present.count(ParentOf(folded)))
            (*unsaved)[folded] = it->second.path.substr(rootPath.size() + 1);
    }
}

// New ones: the unsaved subkeys of every key whose time moved on since the
// previous snapshot (creating a subkey moves its parent's time on).
void NewUnsavedKeys(const RegistryWalk *walk, HKEY root, const std::string &rootPath, const PresentKeys &present,
                    UnsavedKeys *unsaved)
{
    for (PresentKeys::const_iterator key = present.begin(); key != present.end(); ++key) {
        SnapshotEntry listed = EmptyEntry(ENTRY_KEY, key->first);
        std::vector<ListedSubkey> subkeys;
        HKEY handle = NULL;
        listed.lastWrite = key->second.lastWrite;
        if (key->second.link || UnchangedKey(walk, listed) ||
            OpenBelow(root, key->second.relative, &handle) != ERROR_SUCCESS)
            continue;
        ListSubkeys(handle, &subkeys);
        RegCloseKey(handle);
        for (size_t i = 0; i < subkeys.size(); ++i) {
            std::string relative = Joined(key->second.relative, subkeys[i].name);
            std::string full = Joined(rootPath, relative);
            if (!present.count(Folded(full)) && !IsExcluded(*walk->scope, full))
                (*unsaved)[Folded(full)] = relative;
        }
    }
}

// HKLM\path read from the registry server's save of it (one request instead
// of one per key), the volatile keys it leaves out walked; false, with
// nothing recorded, when the branch could not be saved.
bool ReadRegistryFromSave(RegistryWalk *walk, HKEY root, const std::string &rootPath, bool listRoot)
{
    std::vector<SavedKey> saved;
    PresentKeys present;
    UnsavedKeys unsaved;

    // A branch saved without a single key (its subkeys all volatile) is walked.
    if (!ReadSavedBranch(root, &saved) || saved.empty())
        return false;
    RecordSavedBranch(walk, root, rootPath, listRoot, saved, &present);
    PreviousUnsavedKeys(walk, rootPath, present, &unsaved);
    NewUnsavedKeys(walk, root, rootPath, present, &unsaved);
    for (UnsavedKeys::const_iterator it = unsaved.begin(); it != unsaved.end(); ++it)
        WalkVolatileKey(walk, root, it->second, Joined(rootPath, it->second));
    return true;
}

// Walks HKLM\path, or all of HKLM for an empty path (whose root is not
// listed itself); false when the key cannot be opened. With a previous
// snapshot, the registry server's save of the branch is read instead.
bool WalkRegistry(const SnapshotScope &scope, const Snapshot *previous, const std::string &path, Snapshot *snapshot)
{
    RegistryWalk walk;
    HKEY key = NULL;
    std::string keyPath = path.empty() ? ROOT_KEY_NAME : std::string(ROOT_KEY_NAME) + "\\" + path;
    SnapshotEntry entry = EmptyEntry(ENTRY_KEY, keyPath);

    walk.scope = &scope;
    walk.previous = previous;
    walk.snapshot = snapshot;
    walk.valueName.resize(VALUE_NAME_CAPACITY);
    walk.data.resize(VALUE_DATA_START);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.empty() ? NULL : path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return false;
    RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &entry.lastWrite);
    if (!previous || !ReadRegistryFromSave(&walk, key, keyPath, !path.empty())) {
        WalkKey(&walk, key, &entry);
        if (!path.empty())
            Add(snapshot, entry);
    }
    RegCloseKey(key);
    return true;
}

bool SameState(const SnapshotEntry &a, const SnapshotEntry &b)
{
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case ENTRY_DIRECTORY: return a.attributes == b.attributes;
    case ENTRY_FILE: return a.attributes == b.attributes && a.size == b.size && a.hash == b.hash;
    case ENTRY_VALUE: return a.type == b.type && a.data == b.data;
    default: return a.data == b.data;
    }
}

const char *KindName(SnapshotKind kind)
{
    switch (kind) {
    case ENTRY_DIRECTORY: return "directory";
    case ENTRY_FILE: return "file";
    case ENTRY_KEY: return "key";
    case ENTRY_LINK_KEY: return "link key";
    default: return "value";
    }
}

std::string DescribeValueData(const SnapshotEntry &entry)
{
    char text[64] = {0};
    std::string described;

    if (entry.type == REG_SZ || entry.type == REG_EXPAND_SZ) {
        size_t end = entry.data.find('\0');
        return "\"" + entry.data.substr(0, end) + "\"";
    }
    if (entry.type == REG_DWORD && entry.data.size() == 4) {
        DWORD number = 0;
        memcpy(&number, entry.data.data(), 4);
        _snprintf(text, sizeof(text) - 1, "0x%lx", (unsigned long)number);
        return text;
    }
    for (size_t i = 0; i < entry.data.size() && i < DESCRIBED_BYTES; ++i) {
        _snprintf(text, sizeof(text) - 1, "%02x", (unsigned)(unsigned char)entry.data[i]);
        described += text;
    }
    if (entry.data.size() > DESCRIBED_BYTES)
        described += "...";
    return described;
}

std::string DescribeState(const SnapshotEntry &entry)
{
    char text[128] = {0};

    switch (entry.kind) {
    case ENTRY_DIRECTORY:
        _snprintf(text, sizeof(text) - 1, "attributes 0x%lx", (unsigned long)entry.attributes);
        return text;
    case ENTRY_FILE:
        _snprintf(text, sizeof(text) - 1, "%I64u bytes, attributes 0x%lx, hash %016I64x", entry.size,
                  (unsigned long)entry.attributes, entry.hash);
        return text;
    case ENTRY_VALUE:
        _snprintf(text, sizeof(text) - 1, "type %lu ", (unsigned long)entry.type);
        return text + DescribeValueData(entry);
    default:
        return entry.data;
    }
}

SnapshotChange MakeChange(ChangeType type, const SnapshotEntry &before, const SnapshotEntry &after)
{
    SnapshotChange change;

    change.type = type;
    change.before = before;
    change.after = after;
    return change;
}

} // namespace

bool TakeSnapshot(const SnapshotScope &scope, const Snapshot *previous, Snapshot *snapshot, std::string *reason)
{
    snapshot->clear();
    reason->clear();
    for (size_t i = 0; i < scope.directories.size(); ++i)
        if (!WalkDirectoryRoot(scope, previous, scope.directories[i], true, snapshot, reason))
            return false;
    for (size_t i = 0; i < scope.flatDirectories.size(); ++i)
        WalkDirectoryRoot(scope, previous, scope.flatDirectories[i], false, snapshot, reason);
    if (scope.registry && !WalkRegistry(scope, previous, "", snapshot)) {
        *reason = "HKLM cannot be opened";
        return false;
    }
    for (size_t i = 0; i < scope.registryKeys.size(); ++i)
        WalkRegistry(scope, previous, scope.registryKeys[i], snapshot);
    return true;
}

const SnapshotEntry *FindSnapshotEntry(const Snapshot &snapshot, SnapshotKind kind, const std::string &path)
{
    Snapshot::const_iterator it = snapshot.find(MapKey(kind, path));

    return it == snapshot.end() || it->second.kind != kind ? NULL : &it->second;
}

std::vector<SnapshotChange> DiffSnapshots(const Snapshot &before, const Snapshot &after)
{
    std::vector<SnapshotChange> changes;
    Snapshot::const_iterator b = before.begin();
    Snapshot::const_iterator a = after.begin();
    SnapshotEntry none = EmptyEntry(ENTRY_FILE, "");

    while (b != before.end() || a != after.end()) {
        if (a == after.end() || (b != before.end() && b->first < a->first)) {
            changes.push_back(MakeChange(CHANGE_REMOVED, b->second, none));
            ++b;
        } else if (b == before.end() || a->first < b->first) {
            changes.push_back(MakeChange(CHANGE_ADDED, none, a->second));
            ++a;
        } else {
            if (!SameState(b->second, a->second))
                changes.push_back(MakeChange(CHANGE_MODIFIED, b->second, a->second));
            ++b;
            ++a;
        }
    }
    return changes;
}

const std::string &ChangedPath(const SnapshotChange &change)
{
    return change.type == CHANGE_REMOVED ? change.before.path : change.after.path;
}

SnapshotKind ChangedKind(const SnapshotChange &change)
{
    return change.type == CHANGE_REMOVED ? change.before.kind : change.after.kind;
}

std::string DescribeChange(const SnapshotChange &change)
{
    const char *verb = change.type == CHANGE_ADDED ? "added" : change.type == CHANGE_REMOVED ? "removed" : "modified";
    std::string text = std::string(verb) + " " + KindName(ChangedKind(change)) + " " + ChangedPath(change) + " (";

    if (change.type == CHANGE_ADDED)
        return text + DescribeState(change.after) + ")";
    if (change.type == CHANGE_REMOVED)
        return text + DescribeState(change.before) + ")";
    return text + DescribeState(change.before) + " -> " + DescribeState(change.after) + ")";
}

bool SamePath(const std::string &a, const std::string &b)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), (int)a.size(), b.data(), (int)b.size()) ==
           CSTR_EQUAL;
}

bool PathAtOrBelow(const std::string &path, const std::string &ancestor)
{
    if (path.size() < ancestor.size())
        return false;
    if (!SamePath(path.substr(0, ancestor.size()), ancestor))
        return false;
    return path.size() == ancestor.size() || path[ancestor.size()] == '\\';
}

bool MatchesPattern(const std::string &text, const std::string &pattern)
{
    std::string t = Folded(text);
    std::string p = Folded(pattern);
    size_t ti = 0, pi = 0, star = std::string::npos, resume = 0;

    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            resume = ti;
        } else if (pi < p.size() && p[pi] == t[ti]) {
            ++pi;
            ++ti;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ti = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

std::vector<SnapshotChange> ChangesOutside(const std::vector<SnapshotChange> &changes,
                                           const std::vector<std::string> &allowed)
{
    std::vector<SnapshotChange> outside;

    for (size_t i = 0; i < changes.size(); ++i) {
        bool matched = false;
        for (size_t j = 0; j < allowed.size() && !matched; ++j)
            matched = MatchesPattern(ChangedPath(changes[i]), allowed[j]);
        if (!matched)
            outside.push_back(changes[i]);
    }
    return outside;
}

namespace {

// The stored form: this tag, the number of entries, then each entry's
// fixed fields and its two strings, each string after its length.
const char STORED_TAG[] = "keysetup snapshot 1\n";

struct StoredFields {
    DWORD kind;
    DWORD attributes;
    ULONGLONG size;
    ULONGLONG hash;
    FILETIME lastWrite;
    DWORD type;
    DWORD nameStart;
    DWORD pathLength;
    DWORD dataLength;
};

bool ReadStoredEntry(FILE *file, SnapshotEntry *entry)
{
    StoredFields fields;

    if (fread(&fields, sizeof(fields), 1, file) != 1 || fields.kind > ENTRY_VALUE)
        return false;
    *entry = EmptyEntry((SnapshotKind)fields.kind, std::string(fields.pathLength, '\0'));
    entry->data.resize(fields.dataLength);
    if ((fields.pathLength && fread(&entry->path[0], fields.pathLength, 1, file) != 1) ||
        (fields.dataLength && fread(&entry->data[0], fields.dataLength, 1, file) != 1))
        return false;
    entry->attributes = fields.attributes;
    entry->size = fields.size;
    entry->hash = fields.hash;
    entry->lastWrite = fields.lastWrite;
    entry->type = fields.type;
    entry->nameStart = fields.nameStart;
    return true;
}

} // namespace

bool SaveSnapshot(const Snapshot &snapshot, const std::string &path)
{
    char temporary[MAX_PATH + 32] = {0};
    FILE *file = NULL;
    DWORD count = (DWORD)snapshot.size();
    bool written = false;

    _snprintf(temporary, sizeof(temporary) - 1, "%s.%lu", path.c_str(), GetCurrentProcessId());
    file = fopen(temporary, "wb");
    if (file) {
        written = fwrite(STORED_TAG, sizeof(STORED_TAG) - 1, 1, file) == 1 &&
                  fwrite(&count, sizeof(count), 1, file) == 1;
        for (Snapshot::const_iterator it = snapshot.begin(); written && it != snapshot.end(); ++it) {
            const SnapshotEntry &entry = it->second;
            StoredFields fields = {(DWORD)entry.kind, entry.attributes, entry.size, entry.hash, entry.lastWrite,
                                   entry.type, (DWORD)entry.nameStart, (DWORD)entry.path.size(),
                                   (DWORD)entry.data.size()};
            written = fwrite(&fields, sizeof(fields), 1, file) == 1 &&
                      fwrite(entry.path.data(), 1, entry.path.size(), file) == entry.path.size() &&
                      fwrite(entry.data.data(), 1, entry.data.size(), file) == entry.data.size();
        }
        written = fclose(file) == 0 && written;
    }
    // Whole or not at all: a run reading it meanwhile sees the older file.
    written = written && MoveFileExA(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!written)
        DeleteFileA(temporary);
    return written;
}

bool LoadSnapshot(const std::string &path, Snapshot *snapshot)
{
    char tag[sizeof(STORED_TAG)] = {0};
    FILE *file = fopen(path.c_str(), "rb");
    SnapshotEntry entry = EmptyEntry(ENTRY_FILE, "");
    DWORD count = 0;
    bool whole = false;

    snapshot->clear();
    if (file && fread(tag, sizeof(STORED_TAG) - 1, 1, file) == 1 && strcmp(tag, STORED_TAG) == 0 &&
        fread(&count, sizeof(count), 1, file) == 1) {
        for (whole = true; whole && count > 0; --count) {
            whole = ReadStoredEntry(file, &entry);
            if (whole)
                Add(snapshot, entry);
        }
        whole = whole && fgetc(file) == EOF;
    }
    if (file)
        fclose(file);
    if (!whole)
        snapshot->clear();
    return whole;
}
