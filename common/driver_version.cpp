#include "driver_version.h"

#include <string.h>

#include "bounded_string.h"
#include "install_check.h"
#include "setup_library.h"
#include "system_names.h"

namespace {

const DWORD DRIVER_VER_FIELD_CAPACITY = 128;
const char VERSION_SECTION[] = "Version";
const char DRIVER_VER_KEY[] = "DriverVer";
const DWORD DATE_FIELD = 1;
const DWORD NUMBER_FIELD = 2;
const int DATE_PARTS = 3;
const char MANUFACTURER_SECTION[] = "Manufacturer";
const DWORD SECTION_NAME_CAPACITY = 256;
const DWORD MODELS_NAME_FIELD = 1;
const DWORD FIRST_DECORATION_FIELD = 2;
const DWORD INSTALL_SECTION_FIELD = 1;
const DWORD FIRST_ID_FIELD = 2;
const int VERSION_PARTS = 4;

// The INF parser's functions DriverVer needs.
struct InfReader {
    SetupFindFirstLineAProc findLine;
    SetupFindNextLineProc nextLine;
    SetupGetStringFieldAProc getField;
};

// One field into a SECTION_NAME_CAPACITY buffer.
bool ReadField(const InfReader *reader, INFCONTEXT *line, DWORD field, char *text)
{
    memset(text, 0, SECTION_NAME_CAPACITY);
    return reader->getField(line, field, text, SECTION_NAME_CAPACITY - 1, NULL) != FALSE;
}

bool IsHardwareId(const char *text)
{
    size_t length = strlen(DEVICE_HARDWARE_ID);
    return strlen(text) == length && EqualsIgnoringAsciiCase(text, DEVICE_HARDWARE_ID, length);
}

// The install section of the first line of a models section that names the
// key's hardware ID among its hardware IDs.
bool FindInstallSection(const InfReader *reader, HINF inf, const char *models, char *install)
{
    char field[SECTION_NAME_CAPACITY];
    INFCONTEXT line;

    for (BOOL found = reader->findLine(inf, models, NULL, &line); found; found = reader->nextLine(&line, &line))
        for (DWORD i = FIRST_ID_FIELD; ReadField(reader, &line, i, field); ++i)
            if (IsHardwareId(field))
                return ReadField(reader, &line, INSTALL_SECTION_FIELD, install);
    return false;
}

// name + "." + decoration (decoration empty: name alone).
bool JoinSectionName(char *section, const char *name, const char *decoration)
{
    memset(section, 0, SECTION_NAME_CAPACITY);
    return !BoundedFailed(BoundedCopy(section, SECTION_NAME_CAPACITY, name)) &&
           (!decoration[0] || (!BoundedFailed(BoundedAppend(section, SECTION_NAME_CAPACITY, ".")) &&
                               !BoundedFailed(BoundedAppend(section, SECTION_NAME_CAPACITY, decoration))));
}

// The DDInstall section Windows installs for the models decoration: the
// install section decorated .NT<platform> (the decoration's first part;
// NTx86 for none), else .NT, else undecorated; the first that has lines.
bool ChooseDdInstall(const InfReader *reader, HINF inf, const char *install, char *decoration, char *section)
{
    const char *platform = decoration;
    char *dot = strchr(decoration, '.');
    INFCONTEXT line;

    if (dot)
        *dot = '\0';
    if (strlen(platform) <= 2 || !EqualsIgnoringAsciiCase(platform, "NT", 2))
        platform = "NTx86";
    const char *const decorations[] = {platform, "NT", ""};
    for (size_t i = 0; i < sizeof(decorations) / sizeof(decorations[0]); ++i)
        if (JoinSectionName(section, install, decorations[i]) && reader->findLine(inf, section, NULL, &line))
            return true;
    return false;
}

// The key's DDInstall section, from the first manufacturer's models
// sections: each decorated one in the order written, then the undecorated
// one (payload/vendor_package/inf.py driver_ver reads it the same way).
// False without SetupFindNextLine too: then [Version]'s DriverVer counts.
bool FindKeysDdInstall(const InfReader *reader, HINF inf, char *section)
{
    char models[SECTION_NAME_CAPACITY];
    char decoration[SECTION_NAME_CAPACITY];
    char install[SECTION_NAME_CAPACITY];
    INFCONTEXT manufacturer;

    if (!reader->nextLine || !reader->findLine(inf, MANUFACTURER_SECTION, NULL, &manufacturer) ||
        !ReadField(reader, &manufacturer, MODELS_NAME_FIELD, models))
        return false;
    for (DWORD field = FIRST_DECORATION_FIELD;; ++field) {
        bool decorated = ReadField(reader, &manufacturer, field, decoration);
        if ((!decorated || decoration[0]) && JoinSectionName(section, models, decoration) &&
            FindInstallSection(reader, inf, section, install))
            return ChooseDdInstall(reader, inf, install, decoration, section);
        if (!decorated)
            return false;
    }
}

// "3.0.2.44" as up to four numbers; false for anything else.
bool ParseVersionNumber(const char *text, unsigned long *parts)
{
    int part = 0;
    bool digit = false;

    memset(parts, 0, VERSION_PARTS * sizeof(parts[0]));
    for (const char *c = text; *c; ++c) {
        if (*c >= '0' && *c <= '9' && parts[part] <= 65535) {
            parts[part] = parts[part] * 10 + (unsigned long)(*c - '0');
            digit = true;
        } else if (*c == '.' && digit && part < VERSION_PARTS - 1) {
            ++part;
            digit = false;
        } else {
            return false;
        }
    }
    return digit;
}

// A year-month-day date as FormatDate writes it.
bool IsFormattedDate(const char *date)
{
    return strlen(date) == 10 && date[4] == '-' && date[7] == '-';
}

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
    InfReader reader = {findLine, (SetupFindNextLineProc)FindSetupFunction(setupapi, "SetupFindNextLine"), getField};
    char section[SECTION_NAME_CAPACITY];
    HINF inf = INVALID_HANDLE_VALUE;
    INFCONTEXT line;
    bool found = false;

    memset(&line, 0, sizeof(line));
    if (openInf && closeInf && findLine && getField)
        inf = openInf(infPath, NULL, INF_STYLE_WIN4, NULL);
    // A null handle is no open INF either, and is never closed.
    if (inf == NULL || inf == INVALID_HANDLE_VALUE)
        return false;
    // As Windows reads it for the key's install: the DDInstall section's
    // DriverVer before [Version]'s.
    if ((FindKeysDdInstall(&reader, inf, section) && findLine(inf, section, DRIVER_VER_KEY, &line)) ||
        findLine(inf, VERSION_SECTION, DRIVER_VER_KEY, &line)) {
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

DriverRank RankDriverVersion(const DriverVersion *installed, const DriverVersion *reference)
{
    unsigned long installedParts[VERSION_PARTS];
    unsigned long referenceParts[VERSION_PARTS];
    int order = 0;

    if (!IsFormattedDate(installed->date) || !IsFormattedDate(reference->date))
        return RANK_NOT_COMPARABLE;
    order = strcmp(installed->date, reference->date);
    if (order == 0) {
        if (!ParseVersionNumber(installed->number, installedParts) ||
            !ParseVersionNumber(reference->number, referenceParts))
            return RANK_NOT_COMPARABLE;
        for (int i = 0; i < VERSION_PARTS && order == 0; ++i)
            order = installedParts[i] < referenceParts[i] ? -1 : installedParts[i] > referenceParts[i] ? 1 : 0;
    }
    return order < 0 ? RANK_OLDER : order > 0 ? RANK_NEWER : RANK_SAME;
}

void FormatDriverVersion(const DriverVersion *version, char *text)
{
    memset(text, 0, DRIVER_VERSION_TEXT_CAPACITY);
    wsprintfA(text, "%.47s of %.15s", version->number[0] ? version->number : "(no number)", version->date);
}
