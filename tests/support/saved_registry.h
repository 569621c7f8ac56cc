// A registry branch as the registry server saves it (RegSaveKey): one
// request for the whole branch instead of one per key and value. Under
// Wine the file is the server's text form ("WINE REGISTRY Version 2"),
// which holds every key that is not volatile, with its last-write time,
// its values and whether it is a link. Names and string data come out as
// the ANSI registry calls give them, so that they compare with a walk.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SavedValue {
    std::string name;
    DWORD type;
    std::string data; // string types converted to ANSI, the rest raw
};

struct SavedKey {
    std::string path; // below the saved key, "" for the key itself
    FILETIME lastWrite;
    std::vector<SavedValue> values; // a link's target is its SymbolicLinkValue
};

// Keys that have values, no subkeys, or are links; the others are only
// named as the ancestors of these. False when the branch could not be
// saved or the file is not in the form above.
bool ReadSavedBranch(HKEY key, std::vector<SavedKey> *keys);
