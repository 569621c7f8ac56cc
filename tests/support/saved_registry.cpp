#include "saved_registry.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char SAVED_TAG[] = "WINE REGISTRY Version 2";
const char TIME_MARK[] = "#time=";
const char STRING_MARK[] = "str(";
const char HEX_MARK[] = "hex";
const char DWORD_MARK[] = "dword:";
// The longest escapes the server writes: \x and four hex digits, a
// backslash and three octal digits.
const int HEX_ESCAPE_DIGITS = 4;
const int OCTAL_ESCAPE_DIGITS = 3;
// A privilege the registry server asks of a process that saves a branch.
const char BACKUP_PRIVILEGE[] = "SeBackupPrivilege";

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-16 to ANSI, as the registry's ANSI calls convert names and strings.
std::string Ansi(const WCHAR *text, size_t count)
{
    std::string ansi;
    int size = count ? WideCharToMultiByte(CP_ACP, 0, text, (int)count, NULL, 0, NULL, NULL) : 0;

    if (size > 0) {
        ansi.resize(size);
        WideCharToMultiByte(CP_ACP, 0, text, (int)count, &ansi[0], size, NULL, NULL);
    }
    return ansi;
}

int DigitValue(char c, int base)
{
    int value = 99;

    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// One escape after a backslash, as the server writes them: C escapes, \x
// with up to four hex digits, up to three octal digits, or the character
// itself (the backslash, quotes, brackets).
const char *ParseEscape(const char *p, std::wstring *out)
{
    static const char named[] = "abtnvfre";
    static const WCHAR meant[] = {7, 8, 9, 10, 11, 12, 13, 27};
    const char *found = *p ? strchr(named, *p) : NULL;
    int base = *p == 'x' ? 16 : DigitValue(*p, 8) >= 0 ? 8 : 0;
    int most = base == 16 ? HEX_ESCAPE_DIGITS : OCTAL_ESCAPE_DIGITS;
    unsigned value = 0;

    if (!*p)
        return NULL;
    if (found) {
        *out += meant[found - named];
        return p + 1;
    }
    if (!base) {
        *out += (WCHAR)(unsigned char)*p;
        return p + 1;
    }
    if (base == 16)
        ++p;
    for (int digits = 0; digits < most && DigitValue(*p, base) >= 0; ++digits, ++p)
        value = value * base + DigitValue(*p, base);
    *out += (WCHAR)value;
    return p;
}

// The escaped text up to the unescaped end character; returns what
// follows that character, or NULL when the line ends first.
const char *ParseEscaped(const char *p, char end, std::wstring *out)
{
    while (p && *p && *p != end) {
        if (*p == '\\')
            p = ParseEscape(p + 1, out);
        else
            *out += (WCHAR)(unsigned char)*p++;
    }
    return p && *p == end ? p + 1 : NULL;
}

bool ParseHexBytes(const char *p, std::string *bytes)
{
    while (*p) {
        int high = DigitValue(p[0], 16);
        int low = high >= 0 ? DigitValue(p[1], 16) : -1;
        if (low < 0)
            return false;
        *bytes += (char)(high * 16 + low);
        p += 2;
        if (*p == ',')
            ++p;
    }
    return true;
}

// The data after "=": "text", str(N):"text", dword:N, hex:.. or hex(N):..
bool ParseData(const char *p, SavedValue *value)
{
    std::wstring text;
    char *after = NULL;

    value->type = REG_SZ;
    if (strncmp(p, STRING_MARK, sizeof(STRING_MARK) - 1) == 0) {
        value->type = strtoul(p + sizeof(STRING_MARK) - 1, &after, 16);
        if (strncmp(after, "):", 2) != 0)
            return false;
        p = after + 2;
    }
    if (*p == '"') {
        // The terminating null is left out of the text.
        if (!ParseEscaped(p + 1, '"', &text))
            return false;
        text += L'\0';
        value->data = Ansi(text.data(), text.size());
        return true;
    }
    if (strncmp(p, DWORD_MARK, sizeof(DWORD_MARK) - 1) == 0) {
        DWORD number = strtoul(p + sizeof(DWORD_MARK) - 1, NULL, 16);
        value->type = REG_DWORD;
        value->data.assign((const char *)&number, sizeof(number));
        return true;
    }
    if (strncmp(p, HEX_MARK, sizeof(HEX_MARK) - 1) != 0)
        return false;
    p += sizeof(HEX_MARK) - 1;
    value->type = REG_BINARY;
    if (*p == '(') {
        value->type = strtoul(p + 1, &after, 16);
        p = after;
        if (*p++ != ')')
            return false;
    }
    if (*p++ != ':' || !ParseHexBytes(p, &value->data))
        return false;
    // A string without its terminating null is written in hex; the ANSI
    // calls still convert it.
    if (IsStringType(value->type))
        value->data = Ansi((const WCHAR *)value->data.data(), value->data.size() / sizeof(WCHAR));
    return true;
}

bool ParseValue(const char *line, SavedKey *key)
{
    SavedValue value;
    std::wstring name;
    const char *p = line + 1;

    if (*line == '"')
        p = ParseEscaped(line + 1, '"', &name);
    if (!p || *p != '=' || !ParseData(p + 1, &value))
        return false;
    value.name = Ansi(name.data(), name.size());
    key->values.push_back(value);
    return true;
}

// "[A\\B] seconds": the key's path, the separators written as escaped
// backslashes (no key name holds a backslash).
bool ParseKeyLine(const char *line, SavedKey *key)
{
    std::wstring path;

    if (!ParseEscaped(line + 1, ']', &path))
        return false;
    key->path = Ansi(path.data(), path.size());
    key->lastWrite.dwLowDateTime = 0;
    key->lastWrite.dwHighDateTime = 0;
    key->values.clear();
    return true;
}

void ParseTime(const char *p, FILETIME *time)
{
    ULONGLONG ticks = _strtoui64(p, NULL, 16);

    time->dwLowDateTime = (DWORD)ticks;
    time->dwHighDateTime = (DWORD)(ticks >> 32);
}

// The next logical line: a line that ends in a backslash goes on after the
// next one's leading spaces (long hex data).
bool NextLine(const std::string &text, size_t *at, std::string *line)
{
    line->clear();
    while (*at < text.size()) {
        size_t end = text.find('\n', *at);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(*at, end - *at);
        *at = end + 1;
        if (!part.empty() && part[part.size() - 1] == '\r')
            part.erase(part.size() - 1);
        if (!line->empty())
            part.erase(0, part.find_first_not_of(' '));
        *line += part;
        if (line->empty() || (*line)[line->size() - 1] != '\\')
            return true;
        line->erase(line->size() - 1);
    }
    return !line->empty();
}

bool ParseLine(const std::string &line, std::vector<SavedKey> *keys)
{
    if (line.empty() || line[0] == ';' || (line[0] == '#' && keys->empty()))
        return true;
    if (line[0] == '[') {
        keys->push_back(SavedKey());
        return ParseKeyLine(line.c_str(), &keys->back());
    }
    if (keys->empty())
        return false;
    if (line.compare(0, sizeof(TIME_MARK) - 1, TIME_MARK) == 0)
        ParseTime(line.c_str() + sizeof(TIME_MARK) - 1, &keys->back().lastWrite);
    else if (line[0] == '#')
        return true; // the class, which a walk does not read, or the link mark (its value says it)
    else if (line[0] == '"' || line[0] == '@')
        return ParseValue(line.c_str(), &keys->back());
    else
        return false;
    return true;
}

bool EnableBackupPrivilege()
{
    HANDLE token = NULL;
    TOKEN_PRIVILEGES privileges;
    bool enabled = false;

    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token) &&
        LookupPrivilegeValueA(NULL, BACKUP_PRIVILEGE, &privileges.Privileges[0].Luid))
        enabled = AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL) && GetLastError() == ERROR_SUCCESS;
    if (token)
        CloseHandle(token);
    return enabled;
}

bool ReadWholeFile(const std::string &path, std::string *bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    DWORD size = 0, got = 0;
    bool read = false;

    if (file != INVALID_HANDLE_VALUE) {
        size = GetFileSize(file, NULL);
        bytes->resize(size);
        read = size != INVALID_FILE_SIZE && (!size || (ReadFile(file, &(*bytes)[0], size, &got, NULL) && got == size));
        CloseHandle(file);
    }
    return read;
}

bool ParseSavedBranch(const std::string &text, std::vector<SavedKey> *keys)
{
    std::string line;
    size_t at = 0;
    bool parsed = NextLine(text, &at, &line) && line == SAVED_TAG;

    keys->clear();
    while (parsed && NextLine(text, &at, &line))
        parsed = ParseLine(line, keys);
    if (!parsed)
        keys->clear();
    return parsed;
}

} // namespace

bool ReadSavedBranch(HKEY key, std::vector<SavedKey> *keys)
{
    static bool privileged = EnableBackupPrivilege();
    char directory[MAX_PATH] = {0};
    char name[MAX_PATH + 32] = {0};
    std::string text;
    bool read = false;

    keys->clear();
    if (privileged && GetTempPathA(sizeof(directory), directory)) {
        _snprintf(name, sizeof(name) - 1, "%sks_registry_%lu.save", directory, GetCurrentProcessId());
        DeleteFileA(name);
        read = RegSaveKeyA(key, name, NULL) == ERROR_SUCCESS && ReadWholeFile(name, &text) &&
               ParseSavedBranch(text, keys);
        DeleteFileA(name);
    }
    return read;
}
