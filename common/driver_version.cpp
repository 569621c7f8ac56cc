#include "driver_version.h"

#include <string.h>

#include "bounded_string.h"
#include "setup_library.h"

namespace {

const DWORD DRIVER_VER_FIELD_CAPACITY = 128;
const char VERSION_SECTION[] = "Version";
const char DRIVER_VER_KEY[] = "DriverVer";
const DWORD DATE_FIELD = 1;
const DWORD NUMBER_FIELD = 2;
const int DATE_PARTS = 3;

// Leading and trailing blanks cut off in place.
char *Trimmed(char *text)
{
    size_t length = 0;

    while (*text == ' ' || *text == '\t')
        ++text;
    length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        text[--length] = '\0';
    return text;
}

// "month/day/year" as year-month-day; false for any other form.
bool FormatDate(const char *text, char *date)
{
    unsigned long parts[DATE_PARTS] = {0, 0, 0};
    int part = 0;
    int digits = 0;

    for (const char *c = text; *c; ++c) {
        if (*c >= '0' && *c <= '9' && digits < 4) {
            parts[part] = parts[part] * 10 + (unsigned long)(*c - '0');
            ++digits;
        } else if ((*c == '/' || *c == '-') && digits > 0 && part < DATE_PARTS - 1) {
            ++part;
            digits = 0;
        } else {
            return false;
        }
    }
    if (part != DATE_PARTS - 1 || digits != 4 || parts[0] < 1 || parts[0] > 12 || parts[1] < 1 || parts[1] > 31)
        return false;
    wsprintfA(date, "%04lu-%02lu-%02lu", parts[2], parts[0], parts[1]);
    return true;
}

bool ReadDriverVerFields(HMODULE setupapi, const char *infPath, char *date, char *number)
{
    SetupOpenInfFileAProc openInf = (SetupOpenInfFileAProc)FindSetupFunction(setupapi, "SetupOpenInfFileA");
    SetupCloseInfFileProc closeInf = (SetupCloseInfFileProc)FindSetupFunction(setupapi, "SetupCloseInfFile");
    SetupFindFirstLineAProc findLine = (SetupFindFirstLineAProc)FindSetupFunction(setupapi, "SetupFindFirstLineA");
    SetupGetStringFieldAProc getField = (SetupGetStringFieldAProc)FindSetupFunction(setupapi, "SetupGetStringFieldA");
    HINF inf = INVALID_HANDLE_VALUE;
    INFCONTEXT line;
    bool found = false;

    memset(&line, 0, sizeof(line));
    if (openInf && closeInf && findLine && getField)
        inf = openInf(infPath, NULL, INF_STYLE_WIN4, NULL);
    // A null handle is no open INF either, and is never closed.
    if (inf == NULL || inf == INVALID_HANDLE_VALUE)
        return false;
    if (findLine(inf, VERSION_SECTION, DRIVER_VER_KEY, &line)) {
        // Strings substituted by the parser, as for every field it gives.
        found = getField(&line, DATE_FIELD, date, DRIVER_VER_FIELD_CAPACITY - 1, NULL) != FALSE;
        if (!getField(&line, NUMBER_FIELD, number, DRIVER_VER_FIELD_CAPACITY - 1, NULL))
            memset(number, 0, DRIVER_VER_FIELD_CAPACITY);
    }
    closeInf(inf);
    return found;
}

} // namespace

bool ParseDriverVer(const char *date, const char *number, DriverVersion *version)
{
    char dateText[DRIVER_VER_FIELD_CAPACITY];
    char numberText[DRIVER_VER_FIELD_CAPACITY];
    char *comma = NULL;
    char *trimmedDate = NULL;

    memset(version, 0, sizeof(*version));
    memset(dateText, 0, sizeof(dateText));
    memset(numberText, 0, sizeof(numberText));
    BoundedCopy(dateText, sizeof(dateText), date);
    comma = strchr(dateText, ',');
    if (comma) {
        *comma = '\0';
        number = comma + 1;
    }
    BoundedCopy(numberText, sizeof(numberText), number);
    trimmedDate = Trimmed(dateText);
    if (!trimmedDate[0])
        return false;
    if (!FormatDate(trimmedDate, version->date))
        BoundedCopy(version->date, sizeof(version->date), trimmedDate);
    BoundedCopy(version->number, sizeof(version->number), Trimmed(numberText));
    return true;
}

bool ReadDriverVersion(const char *infPath, DriverVersion *version)
{
    char date[DRIVER_VER_FIELD_CAPACITY];
    char number[DRIVER_VER_FIELD_CAPACITY];
    HMODULE setupapi = LoadSetupLibrary();
    bool read = false;

    memset(version, 0, sizeof(*version));
    memset(date, 0, sizeof(date));
    memset(number, 0, sizeof(number));
    if (setupapi) {
        read = ReadDriverVerFields(setupapi, infPath, date, number) && ParseDriverVer(date, number, version);
        FreeLibrary(setupapi);
    }
    return read;
}

bool SameDriverVersion(const DriverVersion *first, const DriverVersion *second)
{
    return lstrcmpiA(first->date, second->date) == 0 && lstrcmpiA(first->number, second->number) == 0;
}

void FormatDriverVersion(const DriverVersion *version, char *text)
{
    memset(text, 0, DRIVER_VERSION_TEXT_CAPACITY);
    wsprintfA(text, "%.47s of %.15s", version->number[0] ? version->number : "(no number)", version->date);
}
