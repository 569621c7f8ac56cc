#include "setup_log.h"

#include <string.h>

#include "bounded_string.h"
#include "log_sections.h"

namespace {

const char DEV_LOG[] = "\\inf\\setupapi.dev.log";
const char DEV_LOG_NAME[] = "setupapi.dev.log";
const char ROTATED_PATTERN[] = "\\inf\\setupapi.dev.*.log";
const char INF_DIR_PART[] = "\\inf\\";
const char XP_LOG[] = "\\setupapi.log";
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

// The newest rotated log older than before (its name; empty: the newest of
// all): rotated names carry their date and time, so the greatest name is
// the newest.
bool FindRotatedBefore(const char *windowsDir, const char *before, char *name)
{
    char pattern[LOG_PATH_CAPACITY];
    WIN32_FIND_DATAA found;
    HANDLE search = INVALID_HANDLE_VALUE;

    memset(name, 0, MAX_PATH);
    memset(&found, 0, sizeof(found));
    if (JoinLogPath(pattern, windowsDir, ROTATED_PATTERN, ""))
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

// Searches one log file, newest sections first; false when it cannot be
// opened.
bool SearchLog(LogFiles *files, const char *path, LogForm form, const char *const *needles, int needleCount,
               FoundSections *found)
{
    HANDLE log = OpenLog(path);

    if (log == INVALID_HANDLE_VALUE)
        return false;
    BoundedCopy(files->paths[files->count], LOG_PATH_CAPACITY, path);
    FindSections(log, files->block, files->count++, form, needles, needleCount, found);
    CloseHandle(log);
    return true;
}

void SearchRotatedLogs(LogFiles *files, const char *windowsDir, const char *const *needles, int needleCount,
                       FoundSections *found)
{
    char name[MAX_PATH];
    char before[MAX_PATH];
    char path[LOG_PATH_CAPACITY];

    memset(before, 0, sizeof(before));
    while (found->count < LOG_SECTIONS_SHOWN && files->count < LOG_FILES &&
           FindRotatedBefore(windowsDir, before, name)) {
        if (JoinLogPath(path, windowsDir, INF_DIR_PART, name))
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

} // namespace

void ShowSetupLog(const Report *report, PlatformClass platform, const char *windowsDir, const char *const *needles,
                  int needleCount)
{
    // Zero-filled, a fixed amount whatever the log's size.
    LogFiles *files = (LogFiles *)VirtualAlloc(NULL, sizeof(LogFiles), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    char path[LOG_PATH_CAPACITY];
    FoundSections found;
    bool devLog = platform == PLATFORM_VISTA || platform == PLATFORM_OTHER;

    memset(&found, 0, sizeof(found));
    if (!files) {
        ReportLine(report, "setup log: cannot be read (no memory)");
        return;
    }
    if (!HasSetupLog(platform) || !JoinLogPath(path, windowsDir, devLog ? DEV_LOG : XP_LOG, "") ||
        !SearchLog(files, path, devLog ? LOG_DEV : LOG_XP, needles, needleCount, &found)) {
        ReportLine(report, "setup log: no setup log on this Windows");
    } else {
        if (devLog)
            SearchRotatedLogs(files, windowsDir, needles, needleCount, &found);
        if (found.count == 0)
            ReportLine(report, "setup log: no section of %s names the key", path);
        else
            ReportLine(report, "setup log: the last %d sections that name the key", found.count);
        PrintSections(report, files, &found);
    }
    VirtualFree(files, 0, MEM_RELEASE);
}
