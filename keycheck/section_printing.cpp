#include "log_sections.h"

#include <string.h>

namespace {

void WriteRange(const Report *report, HANDLE log, char *block, ULONGLONG start, ULONGLONG end)
{
    DWORD got = 0;

    while (start < end) {
        DWORD size = end - start > LOG_BLOCK ? LOG_BLOCK : (DWORD)(end - start);
        if (!ReadLogAt(log, start, block, size, &got) || got == 0)
            return;
        ReportBytes(report, block, got);
        start += got;
    }
}

} // namespace

void PrintSection(const Report *report, HANDLE log, char *block, ULONGLONG start, ULONGLONG end)
{
    ULONGLONG tailStarts[SECTION_TAIL_LINES];
    ULONGLONG headEnd = end;
    ULONGLONG offset = start;
    DWORD got = 0;
    int lines = 0;
    bool endsLine = true;

    memset(tailStarts, 0, sizeof(tailStarts));
    // Counts the lines; notes where the head ends and where each of the
    // last lines starts.
    while (offset < end) {
        DWORD size = end - offset > LOG_BLOCK ? LOG_BLOCK : (DWORD)(end - offset);
        if (!ReadLogAt(log, offset, block, size, &got) || got == 0)
            break;
        for (DWORD i = 0; i < got; ++i) {
            if (endsLine) {
                if (lines == SECTION_HEAD_LINES)
                    headEnd = offset + i;
                tailStarts[lines % SECTION_TAIL_LINES] = offset + i;
                ++lines;
            }
            endsLine = block[i] == '\n';
        }
        offset += got;
    }
    WriteRange(report, log, block, start, headEnd);
    if (lines > SECTION_HEAD_LINES) {
        int tail = lines - SECTION_HEAD_LINES < SECTION_TAIL_LINES ? lines - SECTION_HEAD_LINES : SECTION_TAIL_LINES;
        if (lines - SECTION_HEAD_LINES - tail > 0)
            ReportLine(report, "     [... %d lines left out ...]", lines - SECTION_HEAD_LINES - tail);
        WriteRange(report, log, block, tailStarts[(lines - tail) % SECTION_TAIL_LINES], end);
    }
    if (!endsLine)
        ReportLine(report, "");
}
