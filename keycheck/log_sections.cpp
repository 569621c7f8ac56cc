#include "log_sections.h"

#include <string.h>

namespace {

const ULONGLONG NONE = ~0ULL;
const char DEV_HEADER[] = ">>>  [";
const char DEV_EXIT[] = "<<<  [exit";
const char DEV_SECTION_END[] = "<<<  section end";

enum LineKind { LINE_BODY, LINE_HEADER, LINE_BOUNDARY, LINE_EXIT, LINE_SECTION_END };

struct BackwardReader {
    HANDLE log;
    char *block;          // LOG_BLOCK bytes
    ULONGLONG blockStart; // offset of block[0]
    DWORD cursor;         // block[cursor...] already returned
};

// The chunk of lines between two section headers, read backwards.
struct Chunk {
    ULONGLONG end;        // where the next header (or the file) begins
    ULONGLONG exitEnd;    // after the first "<<<  [Exit" line
    ULONGLONG sectionEnd; // after the last "<<<  Section end" line
    ULONGLONG match;      // start of the first line naming the key
};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool StartsWith(const char *line, DWORD length, const char *prefix)
{
    DWORD i = 0;
    for (; prefix[i]; ++i)
        if (i >= length || Lower(line[i]) != prefix[i])
            return false;
    return true;
}

// The log is scanned whole when few sections name the key: each position is
// first tried on the needle's first character with the case bit set (a
// letter in either case, and a few others), then in full.
bool Contains(const char *line, DWORD length, const char *needle)
{
    const char CASE_BIT = 0x20;
    size_t size = strlen(needle);
    char first = (char)(needle[0] | CASE_BIT);

    for (DWORD i = 0; size > 0 && i + size <= length; ++i) {
        if ((char)(line[i] | CASE_BIT) != first)
            continue;
        size_t j = 0;
        while (j < size && Lower(line[i + j]) == Lower(needle[j]))
            ++j;
        if (j == size)
            return true;
    }
    return false;
}

LineKind Classify(const char *line, DWORD length, LogForm form)
{
    if (form == LOG_XP) {
        if (length == 0 || line[0] != '[')
            return LINE_BODY;
        return length > 1 && line[1] >= '0' && line[1] <= '9' ? LINE_HEADER : LINE_BOUNDARY;
    }
    if (StartsWith(line, length, DEV_HEADER))
        return LINE_HEADER;
    if (StartsWith(line, length, DEV_EXIT))
        return LINE_EXIT;
    return StartsWith(line, length, DEV_SECTION_END) ? LINE_SECTION_END : LINE_BODY;
}

// Loads the block that ends where the unread bytes end.
bool LoadBlockEndingAt(BackwardReader *reader, ULONGLONG end)
{
    DWORD size = end > LOG_BLOCK ? LOG_BLOCK : (DWORD)end;
    DWORD got = 0;

    reader->blockStart = end - size;
    reader->cursor = 0;
    if (!ReadLogAt(reader->log, reader->blockStart, reader->block, size, &got) || got != size)
        return false;
    reader->cursor = size;
    return true;
}

// The line before the ones already returned (its newline included); false
// at the start of the file. A line longer than a block comes in pieces.
bool PreviousLine(BackwardReader *reader, const char **line, DWORD *length, ULONGLONG *start)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD end = reader->cursor;
        DWORD begin = end > 0 ? end - 1 : 0;
        while (begin > 0 && reader->block[begin - 1] != '\n')
            --begin;
        if (end > 0 && (begin > 0 || reader->blockStart == 0 || attempt == 1)) {
            *line = reader->block + begin;
            *length = end - begin;
            *start = reader->blockStart + begin;
            reader->cursor = begin;
            return true;
        }
        if (reader->blockStart == 0 || !LoadBlockEndingAt(reader, reader->blockStart + end))
            return false;
    }
    return false;
}

bool NamesTheKey(const char *line, DWORD length, const char *const *needles, int needleCount)
{
    for (int i = 0; i < needleCount; ++i)
        if (Contains(line, length, needles[i]))
            return true;
    return false;
}

void ResetChunk(Chunk *chunk, ULONGLONG end)
{
    chunk->end = end;
    chunk->exitEnd = chunk->sectionEnd = chunk->match = NONE;
}

// A header line closes the chunk read so far into a section: it ends at
// its first Exit line, else its last Section end line, else the next header.
void CloseSection(const Chunk *chunk, ULONGLONG header, int fileIndex, FoundSections *found)
{
    ULONGLONG end = chunk->exitEnd != NONE ? chunk->exitEnd
                                           : (chunk->sectionEnd != NONE ? chunk->sectionEnd : chunk->end);

    if (chunk->match == NONE || chunk->match >= end || found->count >= LOG_SECTIONS_SHOWN)
        return;
    LogSection *section = &found->sections[found->count++];
    section->file = fileIndex;
    section->start = header;
    section->end = end;
}

} // namespace

bool ReadLogAt(HANDLE log, ULONGLONG offset, char *buffer, DWORD size, DWORD *got)
{
    LONG high = (LONG)(offset >> 32);

    *got = 0;
    SetLastError(NO_ERROR);
    if (SetFilePointer(log, (LONG)(DWORD)offset, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;
    return ReadFile(log, buffer, size, got, NULL) != FALSE;
}

HANDLE OpenLog(const char *path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

void FindSections(HANDLE log, char *block, int fileIndex, LogForm form, const char *const *needles, int needleCount,
                  FoundSections *found)
{
    BackwardReader reader;
    Chunk chunk;
    DWORD high = 0;
    DWORD low = 0;
    ULONGLONG size = 0;
    const char *line = NULL;
    DWORD length = 0;
    ULONGLONG start = 0;

    memset(&reader, 0, sizeof(reader));
    reader.log = log;
    reader.block = block;
    SetLastError(NO_ERROR);
    low = GetFileSize(log, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return;
    size = ((ULONGLONG)high << 32) | low;
    ResetChunk(&chunk, size);
    if (!LoadBlockEndingAt(&reader, size))
        return;
    while (found->count < LOG_SECTIONS_SHOWN && PreviousLine(&reader, &line, &length, &start)) {
        LineKind kind = Classify(line, length, form);
        if (kind != LINE_BOUNDARY && NamesTheKey(line, length, needles, needleCount))
            chunk.match = start;
        if (kind == LINE_EXIT)
            chunk.exitEnd = start + length;
        if (kind == LINE_SECTION_END && chunk.sectionEnd == NONE)
            chunk.sectionEnd = start + length;
        if (kind == LINE_HEADER)
            CloseSection(&chunk, start, fileIndex, found);
        if (kind == LINE_HEADER || kind == LINE_BOUNDARY)
            ResetChunk(&chunk, start);
    }
}
