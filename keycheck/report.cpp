#include "report.h"

#include <stdarg.h>
#include <string.h>

namespace {

// wvsprintfA writes at most 1024 characters; the line end follows them.
const int LINE_CAPACITY = 1024 + 3;
const char LINE_END[] = "\r\n";

bool Silent(const Report *report)
{
    return report->quiet || report->out == INVALID_HANDLE_VALUE || report->out == NULL;
}

void WriteOut(const Report *report, const char *bytes, size_t length)
{
    DWORD written = 0;
    WriteFile(report->out, bytes, (DWORD)length, &written, NULL);
}

} // namespace

void ReportBytes(const Report *report, const char *bytes, size_t length)
{
    ReportHold *hold = report->hold;

    if (Silent(report))
        return;
    if (!hold) {
        WriteOut(report, bytes, length);
    } else if (hold->capacity - hold->length >= length) {
        memcpy(hold->text + hold->length, bytes, length);
        hold->length += length;
    } else {
        ++hold->linesLeftOut;
    }
}

void ReportLine(const Report *report, const char *format, ...)
{
    char line[LINE_CAPACITY];
    va_list arguments;
    int length;

    if (Silent(report))
        return;
    memset(line, 0, sizeof(line));
    va_start(arguments, format);
    length = wvsprintfA(line, format, arguments);
    va_end(arguments);
    if (length < 0)
        length = 0;
    memcpy(line + length, LINE_END, sizeof(LINE_END) - 1);
    ReportBytes(report, line, (size_t)length + sizeof(LINE_END) - 1);
}

void ReleaseHeldLines(const Report *report)
{
    ReportHold *hold = report->hold;
    Report direct = {report->out, report->quiet, NULL};

    if (!hold)
        return;
    ReportBytes(&direct, hold->text, hold->length);
    if (hold->linesLeftOut > 0)
        ReportLine(&direct, "(%d more lines left out)", hold->linesLeftOut);
    hold->length = 0;
    hold->linesLeftOut = 0;
}
