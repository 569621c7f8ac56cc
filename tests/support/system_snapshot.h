// Snapshots of a system's files and of HKEY_LOCAL_MACHINE, taken from
// inside the running Windows (so the registry is read as the registry
// server holds it, not from files it writes back later), and their
// differences.
//
// Use:
//   SnapshotScope scope;  // directories, registry, ...
//   Snapshot before, after;
//   TakeSnapshot(scope, NULL, &before);
//   ... run something ...
//   TakeSnapshot(scope, &before, &after);   // reuses unchanged files' hashes
//   std::vector<SnapshotChange> changes = DiffSnapshots(before, after);
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

enum SnapshotKind { ENTRY_DIRECTORY, ENTRY_FILE, ENTRY_KEY, ENTRY_LINK_KEY, ENTRY_VALUE };

// One directory, file, registry key or value.
struct SnapshotEntry {
    SnapshotKind kind;
    // As the system spells it. Files: "C:\windows\inf\oem3.inf"; keys:
    // "HKLM\SOFTWARE\..."; values: their key's path, a backslash and the
    // value's name.
    std::string path;
    DWORD attributes;        // files and directories
    ULONGLONG size;          // file size; value data size
    ULONGLONG hash;          // of the file's content
    // Files and keys: never compared, only tells whether a hash, or a
    // key's values and subkey names, can be reused.
    FILETIME lastWrite;
    DWORD type;              // values: REG_SZ, ...
    std::string data;        // values: the raw data; link keys: the link's target
    size_t nameStart;        // values: where the name starts in path
};

// Keyed by a case-folded path with the kind's family (file system or
// registry) in front, so that C:\X and c:\x are one entry.
typedef std::map<std::string, SnapshotEntry> Snapshot;

struct SnapshotScope {
    std::vector<std::string> directories; // walked recursively
    // Only the entries directly inside; a missing one adds nothing.
    std::vector<std::string> flatDirectories;
    bool registry;                        // HKEY_LOCAL_MACHINE, 64-bit view where there is one
    // Subtrees of HKEY_LOCAL_MACHINE ("SOFTWARE\\..."), in the same view,
    // walked as well; a missing one adds nothing.
    std::vector<std::string> registryKeys;
    // Paths (case-insensitive, files and registry alike) left out with
    // everything below them.
    std::vector<std::string> excluded;
};

// Fills snapshot. A file whose size and last-write time equal those in
// previous (may be NULL) keeps previous's hash instead of being read again:
// every write moves the last-write time on, and only a write in the same
// clock tick as the file's previous write could hide. With previous, the
// registry is read from the registry server's save of each branch (see
// saved_registry.h), and the volatile keys a save leaves out are walked:
// those previous has, and new ones below any key whose last-write time
// moved on (creating a subkey moves its parent's time on). Without it,
// every key is walked.
// Returns false (with a reason) when a directory or HKLM could not be read.
bool TakeSnapshot(const SnapshotScope &scope, const Snapshot *previous, Snapshot *snapshot, std::string *reason);

// A snapshot stored in a file and read back, so that runs in copies of one
// prefix can each take their first snapshot with the same previous one.
// Saving replaces the file whole; loading gives false, and an empty
// snapshot, for a missing, foreign or cut file.
bool SaveSnapshot(const Snapshot &snapshot, const std::string &path);
bool LoadSnapshot(const std::string &path, Snapshot *snapshot);

// The entry of that kind at path (case-insensitive), or NULL.
const SnapshotEntry *FindSnapshotEntry(const Snapshot &snapshot, SnapshotKind kind, const std::string &path);

enum ChangeType { CHANGE_ADDED, CHANGE_REMOVED, CHANGE_MODIFIED };

struct SnapshotChange {
    ChangeType type;
    SnapshotEntry before; // empty for CHANGE_ADDED
    SnapshotEntry after;  // empty for CHANGE_REMOVED
};

// Everything added, removed or modified from before to after, in path order.
// Compared: kind, attributes, size and content hash of files; existence of
// keys; type and data of values; target of link keys. Never times.
std::vector<SnapshotChange> DiffSnapshots(const Snapshot &before, const Snapshot &after);

// The path of the entry a change is about.
const std::string &ChangedPath(const SnapshotChange &change);
SnapshotKind ChangedKind(const SnapshotChange &change);
// "added file C:\...", "modified value HKLM\...\Name (REG_SZ "a" -> "b")".
std::string DescribeChange(const SnapshotChange &change);

// Whether text matches pattern: * stands for any run of characters
// (backslashes included); letter case is ignored.
bool MatchesPattern(const std::string &text, const std::string &pattern);
// The changes whose path no pattern matches.
std::vector<SnapshotChange> ChangesOutside(const std::vector<SnapshotChange> &changes,
                                           const std::vector<std::string> &allowed);

// Case-insensitive comparison of whole paths, and whether path lies at or
// below ancestor.
bool SamePath(const std::string &a, const std::string &b);
bool PathAtOrBelow(const std::string &path, const std::string &ancestor);
