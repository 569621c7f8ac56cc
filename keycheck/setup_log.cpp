#include "setup_log.h"

#include <string.h>

#include "bounded_string.h"
#include "log_sections.h"
#include "platform.h"

namespace {

const char DEV_LOG[] = "\\setupapi.dev.log";
const char DEV_LOG_NAME[] = "setupapi.dev.log";
const char ROTATED_PATTERN[] = "\\setupapi.dev.*.log";
const char DIR_SEPARATOR[] = "\\";
const char DEFAULT_LOG_DIR[] = "\\inf";
const char XP_LOG[] = "\\setupapi.log";
// Where an administrator moves the text logs of Vista and later.
const char SETUP_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
const char LOG_PATH_VALUE[] = "LogPath";
// The current log and at most this many rotated ones.
const int LOG_FILES = 1 + LOG_SECTIONS_SHOWN;
const size_t LOG_PATH_CAPACITY = 2 * MAX_PATH;

struct LogFiles {
    char paths[LOG_FILES][LOG_PATH_CAPACITY];
    int count;
    char block[LOG_BLOCK]; // where each log is read
};

bool HasSetupLog(PlatformClass platform)
{
    return platform == PLATFORM_WIN2000 || platform == PLATFORM_WINXP || platform == PLATFORM_WIN2003 ||
           platform == PLATFORM_VISTA || platform == PLATFORM_OTHER;
}

bool JoinLogPath(char *path, const char *first, const char *second, const char *third)
{
    memset(path, 0, LOG_PATH_CAPACITY);
    return !BoundedFailed(BoundedCopy(path, LOG_PATH_CAPACITY, first)) &&
           !BoundedFailed(BoundedAppend(path, LOG_PATH_CAPACITY, second)) &&
           !BoundedFailed(BoundedAppend(path, LOG_PATH_CAPACITY, third));
}

// "C:\..." or "\\server\...": Windows takes no relative LogPath.
bool IsFullyQualified(const char *path)
{
    bool letter = (path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z');
    return (letter && path[1] == ':' && path[2] == '\\') || (path[0] == '\\' && path[1] == '\\');
}

// LogPath as Windows takes it: a REG_SZ naming an existing folder. The
// 64-bit view under WOW64 only: Windows 2000 refuses the flag (access
// denied) and Windows 95/98/Me/NT 4.0 do not know it.
bool ReadLogPathValue(char *dir)
{
    HKEY key = NULL;
    DWORD type = 0;
    DWORD size = MAX_PATH - 1;
    REGSAM view = IsRunningUnderWow64() ? KEY_WOW64_64KEY : 0;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;

    memset(dir, 0, MAX_PATH);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETUP_KEY, 0, KEY_QUERY_VALUE | view, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExA(key, LOG_PATH_VALUE, NULL, &type, (BYTE *)dir, &size) != ERROR_SUCCESS || type != REG_SZ)
            memset(dir, 0, MAX_PATH);
        RegCloseKey(key);
    }
    if (IsFullyQualified(dir))
        attributes = GetFileAttributesA(dir);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder of the text logs of Vista and later: LogPath's, else the INF
// folder.
void FindTextLogDir(const char *windowsDir, char *dir)
{
    size_t length = 0;

    if (!ReadLogPathValue(dir))
        JoinLogPath(dir, windowsDir, DEFAULT_LOG_DIR, "");
    length = strlen(dir);
    if (length > 0 && dir[length - 1] == '\\')
        dir[length - 1] = '\0';
}

// The newest rotated log older than before (its name; empty: the newest of
// all): rotated names carry their date and time, so the greatest name is
// the newest.
bool FindRotatedBefore(const char *logDir, const char *before, char *name)
{
    char pattern[LOG_PATH_CAPACITY];
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;

    memset(name, 0, MAX_PATH);
    memset(&found, 0, sizeof(found));
    if (JoinLogPath(pattern, logDir, ROTATED_PATTERN, ""))
        search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (lstrcmpiA(found.cFileName, DEV_LOG_NAME) != 0 && (!before[0] || lstrcmpiA(found.cFileName, before) < 0) &&
            (!name[0] || lstrcmpiA(found.cFileName, name) > 0))
            BoundedCopy(name, MAX_PATH, found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return name[0] != '\0';
}

// Searches one log file, newest sections first; the error when it cannot
// be opened.
DWORD SearchLog(LogFiles *files, const char *path, LogForm form, const char *const *needles, int needleCount,
                FoundSections *found)
{
    HANDLE log = OpenLog(path);
    DWORD error = log == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;

    if (log != INVALID_HANDLE_VALUE) {
        BoundedCopy(files->paths[files->count], LOG_PATH_CAPACITY, path);
        FindSections(log, files->block, files->count++, form, needles, needleCount, found);
        CloseHandle(log);
    }
    return error;
}

void SearchRotatedLogs(LogFiles *files, const char *logDir, const char *const *needles, int needleCount,
                       FoundSections *found)
{
    char name[MAX_PATH];
    char before[MAX_PATH];
    char path[LOG_PATH_CAPACITY];

    memset(before, 0, sizeof(before));
    while (found->count < LOG_SECTIONS_SHOWN && files->count < LOG_FILES &&
           FindRotatedBefore(logDir, before, name)) {
        if (JoinLogPath(path, logDir, DIR_SEPARATOR, name))
            SearchLog(files, path, LOG_DEV, needles, needleCount, found);
        BoundedCopy(before, sizeof(before), name);
    }
}

// Oldest first, as Windows wrote them.
void PrintSections(const Report *report, LogFiles *files, const FoundSections *found)
{
    for (int i = found->count - 1; i >= 0; --i) {
        const LogSection *section = &found->sections[i];
        HANDLE log = OpenLog(files->paths[section->file]);
        ReportLine(report, "setup log section %d of %d, from %s:", found->count - i, found->count,
                   files->paths[section->file]);
        if (log == INVALID_HANDLE_VALUE) {
            ReportLine(report, "     (cannot be read again, error %lu)", (unsigned long)GetLastError());
            continue;
        }
        PrintSection(report, log, files->block, section->start, section->end);
        CloseHandle(log);
    }
}

// A log that is there but cannot be opened (held by another program without
// sharing, or its rights) is no missing log.
void ReportUnopenedLog(const Report *report, const char *path, DWORD error)
{
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        ReportLine(report, "setup log: there is no %s", path);
    else if (error != NO_ERROR)
        ReportLine(report, "setup log: %s is there but cannot be opened (error %lu)", path, (unsigned long)error);
}

} // namespace

void ShowSetupLog(const Report *report, PlatformClass platform, const char *windowsDir, const char *const *needles,
                  int needleCount)
{
    // Zero-filled, a fixed amount whatever the log's size.
    LogFiles *files = (LogFiles *)VirtualAlloc(NULL, sizeof(LogFiles), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    char logDir[LOG_PATH_CAPACITY];
    char path[LOG_PATH_CAPACITY];
    FoundSections found;
    bool devLog = platform == PLATFORM_VISTA || platform == PLATFORM_OTHER;
    DWORD error = NO_ERROR;

    memset(&found, 0, sizeof(found));
    memset(path, 0, sizeof(path));
    memset(logDir, 0, sizeof(logDir));
    if (devLog)
        FindTextLogDir(windowsDir, logDir);
    if (!files)
        ReportLine(report, "setup log: cannot be read (no memory)");
    else if (!HasSetupLog(platform) || !JoinLogPath(path, devLog ? logDir : windowsDir, devLog ? DEV_LOG : XP_LOG, ""))
        ReportLine(report, "setup log: no setup log on this Windows");
    else
        error = SearchLog(files, path, devLog ? LOG_DEV : LOG_XP, needles, needleCount, &found);
    ReportUnopenedLog(report, path, error);
    if (files && path[0] && error == NO_ERROR) {
        if (devLog)
            SearchRotatedLogs(files, logDir, needles, needleCount, &found);
        if (found.count == 0)
            ReportLine(report, "setup log: no section of %s names the key", path);
        else
            ReportLine(report, "setup log: the last %d sections that name the key", found.count);
        PrintSections(report, files, &found);
    }
    if (files)
        VirtualFree(files, 0, MEM_RELEASE);
}
