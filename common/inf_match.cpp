#include "inf_match.h"

#include <windows.h>
#include <mbstring.h>
#include <string.h>

#include "setup_library.h"

namespace {

const DWORD INF_FIELD_CAPACITY = 256;
const char MANUFACTURER_SECTION[] = "Manufacturer";
const DWORD MODELS_NAME_FIELD = 1;
const DWORD FIRST_DECORATION_FIELD = 2;
const DWORD FIRST_HARDWARE_ID_FIELD = 2;
const char DECORATION_SEPARATOR[] = ".";

// The INF parser's functions, looked up in setupapi.dll for one call.
struct InfParser {
    SetupOpenInfFileAProc openInfFile;
    SetupCloseInfFileProc closeInfFile;
    SetupFindFirstLineAProc findFirstLine;
    SetupFindNextLineProc findNextLine;
    SetupGetLineTextAProc getLineText;
    SetupGetStringFieldAProc getStringField;
};

// True when the library has every one of them.
bool FindInfParser(HMODULE setupapi, InfParser *parser)
{
    parser->openInfFile = (SetupOpenInfFileAProc)FindSetupFunction(setupapi, "SetupOpenInfFileA");
    parser->closeInfFile = (SetupCloseInfFileProc)FindSetupFunction(setupapi, "SetupCloseInfFile");
    parser->findFirstLine = (SetupFindFirstLineAProc)FindSetupFunction(setupapi, "SetupFindFirstLineA");
    parser->findNextLine = (SetupFindNextLineProc)FindSetupFunction(setupapi, "SetupFindNextLine");
    parser->getLineText = (SetupGetLineTextAProc)FindSetupFunction(setupapi, "SetupGetLineTextA");
    parser->getStringField = (SetupGetStringFieldAProc)FindSetupFunction(setupapi, "SetupGetStringFieldA");
    return parser->openInfFile && parser->closeInfFile && parser->findFirstLine && parser->findNextLine &&
           parser->getLineText && parser->getStringField;
}

unsigned char *Bytes(char *text) { return (unsigned char *)text; }
const unsigned char *Bytes(const char *text) { return (const unsigned char *)text; }

// Appends piece to the section name, cutting the name at the buffer's last
// character; a cut name is still tried, it simply names no section.
void AppendToSectionName(char *sectionName, const char *piece)
{
    size_t length = strlen(sectionName);

    _mbsnbcat(Bytes(sectionName), Bytes(piece), INF_FIELD_CAPACITY - 1 - length);
    sectionName[INF_FIELD_CAPACITY - 1] = '\0';
}

// The model line text is read first only to reject lines that do not fit
// in a field buffer; field 2 then overwrites it.
bool ReadFirstHardwareId(const InfParser *parser, HINF inf, INFCONTEXT *line, char *field)
{
    DWORD required = 0;

    if (!parser->getLineText(line, inf, NULL, NULL, field, INF_FIELD_CAPACITY, &required))
        return false;
    return parser->getStringField(line, FIRST_HARDWARE_ID_FIELD, field, INF_FIELD_CAPACITY, &required) != FALSE;
}

// Walks one models section; the first line that cannot be read ends it.
bool SectionDeclaresHardwareId(const InfParser *parser, HINF inf, const char *sectionName, const char *hardwareId)
{
    INFCONTEXT line;
    char field[INF_FIELD_CAPACITY];
    BOOL found;

    memset(field, 0, sizeof(field));
    for (found = parser->findFirstLine(inf, sectionName, NULL, &line); found;
         found = parser->findNextLine(&line, &line)) {
        if (!ReadFirstHardwareId(parser, inf, &line, field))
            return false;
        if (_mbsicmp(Bytes(field), Bytes(hardwareId)) == 0)
            return true;
    }
    return false;
}

// Tries the undecorated models section, then one per decoration of the
// manufacturer line, whatever Windows this runs on.
bool ModelsDeclareHardwareId(const InfParser *parser, HINF inf, INFCONTEXT *manufacturer, const char *modelsName,
                             const char *hardwareId)
{
    char sectionName[INF_FIELD_CAPACITY];
    char decoration[INF_FIELD_CAPACITY];
    DWORD field = FIRST_DECORATION_FIELD;
    DWORD required = 0;

    memset(sectionName, 0, sizeof(sectionName));
    memset(decoration, 0, sizeof(decoration));
    _mbsnbcpy(Bytes(sectionName), Bytes(modelsName), INF_FIELD_CAPACITY);
    while (!SectionDeclaresHardwareId(parser, inf, sectionName, hardwareId)) {
        if (!parser->getStringField(manufacturer, field, decoration, INF_FIELD_CAPACITY, &required))
            return false;
        ++field;
        _mbsnbcpy(Bytes(sectionName), Bytes(modelsName), INF_FIELD_CAPACITY);
        AppendToSectionName(sectionName, DECORATION_SEPARATOR);
        AppendToSectionName(sectionName, decoration);
    }
    return true;
}

bool FirstManufacturerDeclares(const InfParser *parser, HINF inf, const char *hardwareId)
{
    INFCONTEXT manufacturer;
    char modelsName[INF_FIELD_CAPACITY];
    DWORD required = 0;

    memset(modelsName, 0, sizeof(modelsName));
    if (!parser->findFirstLine(inf, MANUFACTURER_SECTION, NULL, &manufacturer))
        return false;
    if (!parser->getStringField(&manufacturer, MODELS_NAME_FIELD, modelsName, INF_FIELD_CAPACITY, &required))
        return false;
    return ModelsDeclareHardwareId(parser, inf, &manufacturer, modelsName, hardwareId);
}

} // namespace

int InfDeclaresHardwareId(const char *infPath, const char *hardwareId)
{
    int result = 0;
    HMODULE setupapi = LoadSetupLibrary();
    InfParser parser;
    HINF inf = INVALID_HANDLE_VALUE;

    memset(&parser, 0, sizeof(parser));
    if (setupapi && FindInfParser(setupapi, &parser))
        inf = parser.openInfFile(infPath, NULL, INF_STYLE_WIN4, NULL);
    // A null handle is no open INF either, and is never closed.
    if (inf == NULL)
        inf = INVALID_HANDLE_VALUE;
    if (inf != INVALID_HANDLE_VALUE && FirstManufacturerDeclares(&parser, inf, hardwareId))
        result = 1;
    if (inf != INVALID_HANDLE_VALUE)
        parser.closeInfFile(inf);
    if (setupapi)
        FreeLibrary(setupapi);
    return result;
}
