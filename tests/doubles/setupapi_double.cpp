// Test double of a setupapi.dll that has the INF parser and nothing else,
// as on a Windows whose setupapi.dll predates the device functions. The
// parser reads plain ANSI INFs: [sections], "key = field, field" lines,
// ";" comments; no string substitution, no line continuation.
// Defines the functions that setupapi.h would declare as imported.
#define _SETUPAPI_
#include <windows.h>
#include <setupapi.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Fields; // fields[0]: the key, "" if none

struct Section {
    std::string name;
    std::vector<Fields> lines;
};

struct Inf {
    std::vector<Section> sections;
};

std::string Trimmed(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t\r\n");
    size_t last = text.find_last_not_of(" \t\r\n");
    std::string trimmed = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    if (trimmed.size() >= 2 && trimmed[0] == '"' && trimmed[trimmed.size() - 1] == '"')
        trimmed = trimmed.substr(1, trimmed.size() - 2);
    return trimmed;
}

Fields SplitLine(const std::string &line)
{
    Fields fields;
    size_t equals = line.find('=');
    size_t start = equals == std::string::npos ? 0 : equals + 1;
    size_t comma;

    fields.push_back(equals == std::string::npos ? "" : Trimmed(line.substr(0, equals)));
    while ((comma = line.find(',', start)) != std::string::npos) {
        fields.push_back(Trimmed(line.substr(start, comma - start)));
        start = comma + 1;
    }
    fields.push_back(Trimmed(line.substr(start)));
    return fields;
}

bool ReadWholeFile(const char *path, std::string *content)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    char block[4096];
    DWORD got = 0;

    if (file == INVALID_HANDLE_VALUE)
        return false;
    while (ReadFile(file, block, sizeof(block), &got, NULL) && got > 0)
        content->append(block, got);
    CloseHandle(file);
    return true;
}

Inf *Parse(const std::string &content)
{
    Inf *inf = new Inf;
    size_t start = 0;

    while (start < content.size()) {
        size_t end = content.find('\n', start);
        std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? content.size() : end + 1;
        line = Trimmed(line.substr(0, line.find(';')));
        if (line.empty())
            continue;
        if (line[0] == '[') {
            Section section;
            section.name = line.substr(1, line.find(']') - 1);
            inf->sections.push_back(section);
        } else if (!inf->sections.empty()) {
            inf->sections.back().lines.push_back(SplitLine(line));
        }
    }
    return inf;
}

int FindSection(const Inf *inf, const char *name)
{
    for (size_t i = 0; i < inf->sections.size(); ++i)
        if (lstrcmpiA(inf->sections[i].name.c_str(), name) == 0)
            return (int)i;
    return -1;
}

const Fields &LineAt(const INFCONTEXT *context)
{
    return ((const Inf *)context->Inf)->sections[context->Section].lines[context->Line];
}

BOOL Answer(const std::string &text, PSTR buffer, DWORD size, PDWORD required)
{
    if (required)
        *required = (DWORD)text.size() + 1;
    if (buffer && size < text.size() + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (buffer)
        memcpy(buffer, text.c_str(), text.size() + 1);
    return TRUE;
}

} // namespace

extern "C" HINF WINAPI SetupOpenInfFileA(PCSTR path, PCSTR, DWORD, PUINT)
{
    std::string content;
    Inf *inf;

    if (!ReadWholeFile(path, &content))
        return INVALID_HANDLE_VALUE;
    inf = Parse(content);
    if (FindSection(inf, "Version") < 0) {
        delete inf;
        SetLastError(ERROR_WRONG_INF_STYLE);
        return INVALID_HANDLE_VALUE;
    }
    return (HINF)inf;
}

extern "C" VOID WINAPI SetupCloseInfFile(HINF inf)
{
    delete (Inf *)inf;
}

extern "C" BOOL WINAPI SetupFindFirstLineA(HINF handle, PCSTR section, PCSTR, PINFCONTEXT context)
{
    const Inf *inf = (const Inf *)handle;
    int index = FindSection(inf, section);

    if (index < 0 || inf->sections[index].lines.empty()) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    context->Inf = context->CurrentInf = handle;
    context->Section = (UINT)index;
    context->Line = 0;
    return TRUE;
}

extern "C" BOOL WINAPI SetupFindNextLine(PINFCONTEXT from, PINFCONTEXT to)
{
    const Inf *inf = (const Inf *)from->Inf;

    if (from->Line + 1 >= inf->sections[from->Section].lines.size()) {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    *to = *from;
    ++to->Line;
    return TRUE;
}

extern "C" BOOL WINAPI SetupGetLineTextA(PINFCONTEXT context, HINF, PCSTR, PCSTR, PSTR buffer, DWORD size,
                                         PDWORD required)
{
    const Fields &fields = LineAt(context);
    std::string text;

    for (size_t i = 1; i < fields.size(); ++i)
        text += (i > 1 ? "," : "") + fields[i];
    return Answer(text, buffer, size, required);
}

extern "C" BOOL WINAPI SetupGetStringFieldA(PINFCONTEXT context, DWORD field, PSTR buffer, DWORD size,
                                            PDWORD required)
{
    const Fields &fields = LineAt(context);

    if (field >= fields.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Answer(fields[field], buffer, size, required);
}

#ifdef SETUPAPI_DOUBLE_STORE
// The store variant (doubles/win32store) also removes stored INF copies, as
// Windows would with their package, unless told to refuse:
//   SETUPAPI_DOUBLE_LOG       file to which "NAME<TAB>1|0" is appended per call.
//   SETUPAPI_DOUBLE_REFUSALS  how many calls fail with
//                             ERROR_INF_IN_USE_BY_DEVICES before one works,
//                             counted in the log, which outlives the
//                             library's unloads ("always": every call).
namespace {

std::string Variable(const char *name)
{
    char value[MAX_PATH];
    DWORD length;

    memset(value, 0, sizeof(value));
    length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length < sizeof(value) ? value : "";
}

bool Refuses(const std::string &log)
{
    std::string refusals = Variable("SETUPAPI_DOUBLE_REFUSALS");
    std::string calls;
    size_t callsBefore;

    if (refusals == "always")
        return true;
    ReadWholeFile(log.c_str(), &calls);
    callsBefore = (size_t)std::count(calls.begin(), calls.end(), '\n');
    return !refusals.empty() && callsBefore < (size_t)atoi(refusals.c_str());
}

// A read-only copy cannot be deleted: Windows then fails with access denied.
bool DeleteStoredPair(const std::string &name)
{
    char windowsDir[MAX_PATH];
    std::string path;

    memset(windowsDir, 0, sizeof(windowsDir));
    GetWindowsDirectoryA(windowsDir, sizeof(windowsDir));
    path = std::string(windowsDir) + "\\inf\\" + name;
    if (!DeleteFileA(path.c_str()))
        return false;
    DeleteFileA((path.substr(0, path.size() - 3) + "pnf").c_str());
    return true;
}

void AppendLine(const std::string &log, const std::string &line)
{
    HANDLE file = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;

    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, line.c_str(), (DWORD)line.size(), &written, NULL);
    CloseHandle(file);
}

} // namespace

extern "C" BOOL WINAPI SetupUninstallOEMInfA(PCSTR name, DWORD, PVOID)
{
    std::string log = Variable("SETUPAPI_DOUBLE_LOG");
    BOOL removed = FALSE;
    DWORD error = ERROR_INF_IN_USE_BY_DEVICES;

    if (!Refuses(log)) {
        removed = DeleteStoredPair(name);
        error = removed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
    if (!log.empty())
        AppendLine(log, std::string(name) + (removed ? "\t1\r\n" : "\t0\r\n"));
    SetLastError(error);
    return removed;
}
#endif
