#include "report.h"

#include <stdarg.h>
#include <string.h>

namespace {

// wvsprintfA writes at most 1024 characters; the line end follows them.
const int LINE_CAPACITY = 1024 + 3;
const char LINE_END[] = "\r\n";

} // namespace

void ReportLine(const Report *report, const char *format, ...)
{
    char line[LINE_CAPACITY];
    va_list arguments;
    DWORD written = 0;
    int length;

    if (report->quiet || report->out == INVALID_HANDLE_VALUE || report->out == NULL)
        return;
    memset(line, 0, sizeof(line));
    va_start(arguments, format);
    length = wvsprintfA(line, format, arguments);
    va_end(arguments);
    if (length < 0)
        length = 0;
    memcpy(line + length, LINE_END, sizeof(LINE_END) - 1);
    WriteFile(report->out, line, (DWORD)length + sizeof(LINE_END) - 1, &written, NULL);
}
