// keycheck's report: one line per finding on standard output, nothing
// at all when it runs quiet.
#pragma once

#include <windows.h>

struct Report {
    HANDLE out;
    bool quiet;
};

// Formats with wvsprintfA (at most 1024 characters) and ends the line.
void ReportLine(const Report *report, const char *format, ...);
