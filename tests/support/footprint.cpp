#include "footprint.h"

#include <windows.h>

#include <sstream>

#include "test_devices.h"

namespace {

const DWORD REG_NAME_CAPACITY = 16384;

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], (DWORD)text.size());
    return text;
}

void AddDirectory(Snapshot *snapshot, const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);

    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::ostringstream state;
        state << std::hex << found.dwFileAttributes;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            snapshot->items[Lower("dir:" + dir + "\\" + name)] = state.str();
            continue;
        }
        state << "/" << found.nFileSizeHigh << ":" << found.nFileSizeLow << "/" << found.ftLastWriteTime.dwHighDateTime
              << ":" << found.ftLastWriteTime.dwLowDateTime;
        snapshot->items[Lower("file:" + dir + "\\" + name)] = state.str();
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void AddKey(Snapshot *snapshot, const std::string &path)
{
    HKEY key = NULL;
    std::vector<char> name(REG_NAME_CAPACITY);
    std::vector<BYTE> data;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    snapshot->items[Lower("key:HKLM\\" + path)] = "";
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = REG_NAME_CAPACITY;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueA(key, index, &name[0], &nameLength, NULL, &type, NULL, &size) != ERROR_SUCCESS)
            break;
        data.assign(size + 1, 0);
        nameLength = REG_NAME_CAPACITY;
        RegEnumValueA(key, index, &name[0], &nameLength, NULL, &type, &data[0], &size);
        std::ostringstream state;
        state << type << ":" << std::string((const char *)&data[0], size);
        snapshot->items[Lower("value:HKLM\\" + path + "\\" + std::string(&name[0], nameLength))] = state.str();
    }
    std::vector<std::string> subkeys;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = REG_NAME_CAPACITY;
        if (RegEnumKeyExA(key, index, &name[0], &nameLength, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        subkeys.push_back(std::string(&name[0], nameLength));
    }
    RegCloseKey(key);
    for (size_t i = 0; i < subkeys.size(); ++i)
        AddKey(snapshot, path + "\\" + subkeys[i]);
}

} // namespace

Snapshot TakeSnapshot(const std::vector<std::string> &dirs, const std::vector<std::string> &hklmKeys, bool devices)
{
    Snapshot snapshot;

    for (size_t i = 0; i < dirs.size(); ++i)
        AddDirectory(&snapshot, dirs[i]);
    for (size_t i = 0; i < hklmKeys.size(); ++i)
        AddKey(&snapshot, hklmKeys[i]);
    if (devices) {
        std::vector<std::string> ids = ListDeviceInstances();
        for (size_t i = 0; i < ids.size(); ++i)
            snapshot.items[Lower("device:" + ids[i])] = "";
    }
    return snapshot;
}

std::vector<std::string> Differences(const Snapshot &before, const Snapshot &after)
{
    std::vector<std::string> differences;
    std::map<std::string, std::string>::const_iterator b = before.items.begin();
    std::map<std::string, std::string>::const_iterator a = after.items.begin();

    while (b != before.items.end() || a != after.items.end()) {
        if (a == after.items.end() || (b != before.items.end() && b->first < a->first)) {
            differences.push_back(b->first);
            ++b;
        } else if (b == before.items.end() || a->first < b->first) {
            differences.push_back(a->first);
            ++a;
        } else {
            if (a->second != b->second)
                differences.push_back(a->first);
            ++a;
            ++b;
        }
    }
    return differences;
}

bool MatchesPattern(const std::string &text, const std::string &pattern)
{
    std::string t = Lower(text);
    std::string p = Lower(pattern);
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

std::vector<std::string> OutsideFootprint(const std::vector<std::string> &differences,
                                          const std::vector<std::string> &allowed)
{
    std::vector<std::string> outside;

    for (size_t i = 0; i < differences.size(); ++i) {
        bool matched = false;
        for (size_t j = 0; j < allowed.size() && !matched; ++j)
            matched = MatchesPattern(differences[i], allowed[j]);
        if (!matched)
            outside.push_back(differences[i]);
    }
    return outside;
}
