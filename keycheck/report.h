// keycheck's report: one line per finding on standard output, nothing
// at all when it runs quiet. Lines may be held back (the report opens with
// its summary, known only at the end) and released in order.
#pragma once

#include <windows.h>

// Held lines: a fixed buffer; lines that no longer fit are counted.
struct ReportHold {
    char *text;
    size_t capacity;
    size_t length;
    int linesLeftOut;
};

struct Report {
    HANDLE out;
    bool quiet;
    ReportHold *hold; // NULL: each line is written at once
};

// Formats with wvsprintfA (at most 1024 characters) and ends the line.
void ReportLine(const Report *report, const char *format, ...);

// Writes bytes as they are (no formatting, no line end added), held or not.
void ReportBytes(const Report *report, const char *bytes, size_t length);

// Writes the held lines, then a line counting those left out, and empties
// the hold.
void ReleaseHeldLines(const Report *report);
