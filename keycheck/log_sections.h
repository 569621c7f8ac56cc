// Sections of Windows' setup log: found from the end of the file in blocks
// (a log of any size costs a fixed amount of memory), and printed cut to
// their first and last lines.
#pragma once

#include <windows.h>

#include "report.h"

const DWORD LOG_BLOCK = 64 * 1024; // the caller's buffer for reading a log
const int LOG_SECTIONS_SHOWN = 5;
const int SECTION_HEAD_LINES = 40;
const int SECTION_TAIL_LINES = 40;

// setupapi.dev.log (Vista and later): ">>>  [" opens a section; setupapi.log
// (2000, XP, 2003): a "[" date-and-time line does.
enum LogForm { LOG_DEV, LOG_XP };

struct LogSection {
    int file; // index into the caller's list of files
    ULONGLONG start, end;
};

struct FoundSections {
    LogSection sections[LOG_SECTIONS_SHOWN]; // newest first
    int count;
};

// Reads up to size bytes at offset; false when the file cannot be read there.
bool ReadLogAt(HANDLE log, ULONGLONG offset, char *buffer, DWORD size, DWORD *got);

// Opens a log shared for reading, writing and deletion: Windows writes it
// meanwhile.
HANDLE OpenLog(const char *path);

// block: LOG_BLOCK bytes. Adds the newest sections of the open log that name one of needles (any
// letter case), newest first, until found holds LOG_SECTIONS_SHOWN.
void FindSections(HANDLE log, char *block, int fileIndex, LogForm form, const char *const *needles, int needleCount,
                  FoundSections *found);

// (section_printing.cpp) Prints the bytes [start, end) of the log: its first and last lines, and
// how many were left out between them.
void PrintSection(const Report *report, HANDLE log, char *block, ULONGLONG start, ULONGLONG end);
