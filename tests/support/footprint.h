// What a program run changed: snapshots of directory listings, registry
// trees under HKEY_LOCAL_MACHINE and the device list, their differences,
// and a check that every difference lies within an allowed footprint.
//
// Items are named (lower case) "file:PATH", "dir:PATH", "key:HKLM\PATH",
// "value:HKLM\PATH\NAME" and "device:INSTANCE-ID". A file differs when its
// size, last write time or attributes do; a directory only when it appears,
// goes or changes attributes. Allowed patterns use * for any run of
// characters (backslashes included) and ignore case.
#pragma once

#include <map>
#include <string>
#include <vector>

struct Snapshot {
    std::map<std::string, std::string> items;
};

// The entries directly inside each directory, every key and value below
// each HKLM path (in this process's registry view), and, if asked, every
// device instance.
Snapshot TakeSnapshot(const std::vector<std::string> &dirs, const std::vector<std::string> &hklmKeys,
                      bool devices);

// Items added, removed or changed between the two snapshots.
std::vector<std::string> Differences(const Snapshot &before, const Snapshot &after);

// The differences that no allowed pattern matches.
std::vector<std::string> OutsideFootprint(const std::vector<std::string> &differences,
                                          const std::vector<std::string> &allowed);

bool MatchesPattern(const std::string &text, const std::string &pattern);
