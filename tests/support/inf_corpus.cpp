#include "inf_corpus.h"

#include <stdio.h>

namespace {

const char ID[] = "USB\\VID_FE17&PID_0101";
const char CRLF[] = "\r\n";
const char VERSION[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=USB\r\n"
    "ClassGuid={36FC9E60-C465-11CF-8056-444553540000}\r\n"
    "Provider=%Mfg%\r\n"
    "DriverVer=01/01/2020,1.0.0.0\r\n\r\n";
const char STRINGS[] =
    "[Strings]\r\n"
    "Mfg=\"Corpus maker\"\r\n"
    "Dev=\"Corpus key\"\r\n"
    "HWID=\"USB\\VID_FE17&PID_0101\"\r\n\r\n";
// Longest section name the parser accepts, and the matcher's field room.
const size_t SECTION_NAME_LIMIT = 255;
const size_t FIELD_LIMIT = 255;

struct Random {
    uint32_t state;
};

uint32_t Next(Random *r)
{
    uint32_t x = r->state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    r->state = x;
    return x;
}

uint32_t Below(Random *r, uint32_t n) { return n ? Next(r) % n : 0; }
bool Coin(Random *r) { return (Next(r) & 1) != 0; }

std::string Word(Random *r, size_t length)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    std::string word;
    for (size_t i = 0; i < length; ++i)
        word += letters[Below(r, sizeof(letters) - 1)];
    return word;
}

std::string Hex4(uint32_t value)
{
    char text[8];
    snprintf(text, sizeof(text), "%04X", (unsigned)(value & 0xFFFF));
    return text;
}

// A hardware ID of some other device (never the key's vendor ID).
std::string OtherId(Random *r)
{
    uint32_t vendor = Below(r, 0xFE00);
    return "USB\\VID_" + Hex4(vendor) + "&PID_" + Hex4(Next(r));
}

std::string ModelLine(const std::string &firstId, const std::string &moreFields = "")
{
    return "%Dev%=Install," + firstId + moreFields + CRLF;
}

std::string OtherLines(Random *r, size_t count)
{
    std::string lines;
    for (size_t i = 0; i < count; ++i)
        lines += ModelLine(OtherId(r), Coin(r) ? "," + OtherId(r) : "");
    return lines;
}

std::string Section(const std::string &name, const std::string &lines)
{
    return "[" + name + "]" + CRLF + lines + CRLF;
}

// [Version], [Strings], then the manufacturer lines and the sections.
std::string Inf(const std::string &manufacturerLines, const std::string &sections)
{
    return std::string(VERSION) + STRINGS + "[Manufacturer]" + CRLF + manufacturerLines + CRLF + CRLF + sections;
}

std::string Utf16(const std::string &text)
{
    std::string bytes = "\xFF\xFE";
    for (size_t i = 0; i < text.size(); ++i) {
        bytes += text[i];
        bytes += '\0';
    }
    return bytes;
}

CorpusInf Make(const std::string &kind, const std::string &bytes, bool declares, bool parserDecides = false)
{
    CorpusInf inf = {kind, bytes, declares, parserDecides};
    return inf;
}

void AddGarbage(Random *r, std::vector<CorpusInf> *out)
{
    for (int i = 0; i < 20; ++i) {
        std::string bytes;
        size_t length = 1 + Below(r, 4000);
        for (size_t j = 0; j < length; ++j)
            bytes += (char)Below(r, 256);
        out->push_back(Make("binary garbage", bytes, false));
    }
    for (int i = 0; i < 10; ++i) {
        std::string bytes = "\xFF\xFE";
        size_t length = Below(r, 3000);
        for (size_t j = 0; j < length; ++j)
            bytes += (char)Below(r, 256);
        out->push_back(Make("binary garbage after a UTF-16 mark", bytes, false));
    }
}

// Syntax characters and words without the key's ID, after a valid header.
void AddTokenSoup(Random *r, std::vector<CorpusInf> *out)
{
    static const char *const tokens[] = {
        "[", "]", "=", ",", "\"", "\\", ";", "%", "\r\n", "\n", "\r", "\t", " ", " ", ",,",
        "Models", "Models.NTx86", "NTx86", "NTamd64.6.0", "Manufacturer", "Mfg", "%Mfg%", "%Dev%",
        "%HWID", "Install", "[Models]\r\n", "[Models.NTx86]\r\n", "[Manufacturer]\r\n", "\x1a", "%%",
        "USB\\VID_FE17", "USB\\VID_FE17&PID_01010", "PID_0101", "\xE9\xE8", "\x81\x40",
    };
    const size_t tokenCount = sizeof(tokens) / sizeof(tokens[0]);
    for (int i = 0; i < 30; ++i) {
        std::string text = std::string(VERSION) + STRINGS + "[Manufacturer]\r\n%Mfg%=Models,NTx86\r\n";
        size_t count = 20 + Below(r, 600);
        for (size_t j = 0; j < count; ++j) {
            uint32_t pick = Below(r, tokenCount + 4);
            if (pick < tokenCount)
                text += tokens[pick];
            else if (pick == tokenCount)
                text += OtherId(r);
            else if (pick == tokenCount + 1)
                text += std::string(1, '\0');
            else
                text += Word(r, 1 + Below(r, 12));
        }
        out->push_back(Make("token soup", i % 3 == 0 ? Utf16(text) : text, false));
    }
}

// The ID on the last model line; the file cut at a random byte, never
// within a few characters of the ID's end.
void AddTruncated(Random *r, std::vector<CorpusInf> *out)
{
    const size_t MARGIN = 4;
    for (int i = 0; i < 50; ++i) {
        bool utf16 = i % 2 == 1;
        std::string head = Inf("%Mfg%=Models", "[Models]\r\n" + OtherLines(r, Below(r, 6)) + "%Dev%=Install,");
        size_t idEnd = head.size() + sizeof(ID) - 1;
        std::string text = head + ID + ",USB\\Class_0B" + CRLF;
        size_t kept = Below(r, (uint32_t)text.size() + 1);
        if (kept + MARGIN > idEnd && kept < idEnd + MARGIN)
            kept = Coin(r) ? idEnd + MARGIN : idEnd - MARGIN;
        std::string bytes = utf16 ? Utf16(text) : text;
        size_t cut = utf16 ? 2 + 2 * kept : kept;
        // An odd byte count: half a character more, or one stray byte.
        if (utf16 && i % 4 == 1)
            cut = kept == text.size() ? bytes.size() + 1 : cut + 1;
        bytes.resize(cut, 'X');
        out->push_back(Make(utf16 ? (cut % 2 ? "odd-length UTF-16" : "truncated UTF-16") : "truncated ANSI", bytes,
                            kept >= idEnd, true));
    }
}

std::string LongFields(Random *r, size_t totalLength)
{
    std::string fields;
    while (fields.size() < totalLength)
        fields += "," + OtherId(r);
    return fields;
}

void AddLongLines(Random *r, std::vector<CorpusInf> *out)
{
    for (int i = 0; i < 3; ++i) {
        std::string longLine = ModelLine(OtherId(r), LongFields(r, 260 + Below(r, 2000)));
        out->push_back(Make("overlong model line before the ID", Inf("%Mfg%=Models", Section("Models", longLine + ModelLine(ID))), false));
        out->push_back(Make("overlong model line after the ID", Inf("%Mfg%=Models", Section("Models", ModelLine(ID) + longLine)), true));
        out->push_back(Make("overlong model line, ID in a decorated section",
                            Inf("%Mfg%=Models,NTx86", Section("Models", longLine + ModelLine(ID)) +
                                                          Section("Models.NTx86", ModelLine(ID))), true));
        out->push_back(Make("field 2 past 255 characters",
                            Inf("%Mfg%=Models", Section("Models", ModelLine(std::string(ID) + Word(r, 250 + Below(r, 400))))), false));
        out->push_back(Make("overlong unused string",
                            Inf("%Mfg%=Models", Section("Models", ModelLine(ID))) +
                                Section("Strings", "Long=\"" + Word(r, 300 + Below(r, 5000)) + "\""), true));
        out->push_back(Make("overlong line in another section",
                            Inf("%Mfg%=Models", Section("Other", "Text=" + Word(r, 600 + Below(r, 60000))) +
                                                    Section("Models", ModelLine(ID))), true));
        out->push_back(Make("models name past 255 characters",
                            Inf("%Mfg%=" + Word(r, 256 + Below(r, 200)) + ",NTx86", Section("Models.NTx86", ModelLine(ID))), false));
        out->push_back(Make("string substituted into a field past 255 characters",
                            Inf("%Mfg%=Models", Section("Models", ModelLine("%LONGID%") + ModelLine(ID))) +
                                Section("Strings", "LONGID=\"" + std::string(ID) + Word(r, 300) + "\""), false));
    }
}

// Up to hundreds of decorations; the ID in the section of one of them, or
// in none.
void AddManyDecorations(Random *r, std::vector<CorpusInf> *out)
{
    for (int i = 0; i < 25; ++i) {
        size_t count = 100 + Below(r, 700);
        bool declares = i % 3 != 2;
        size_t match = Below(r, (uint32_t)count);
        std::string line = "%Mfg%=Models";
        std::string sections;
        for (size_t d = 0; d < count; ++d) {
            std::string decoration = Below(r, 40) == 0 ? "" : "NT" + Word(r, 1 + Below(r, 30));
            if (declares && d == match && decoration.empty())
                decoration = "NTmatch";
            line += "," + decoration;
            if (declares && d == match)
                sections += Section("Models." + decoration, OtherLines(r, Below(r, 3)) + ModelLine(ID));
            else if (!decoration.empty() && Below(r, 10) == 0)
                sections += Section("Models." + decoration, OtherLines(r, 1 + Below(r, 3)));
        }
        if (Coin(r))
            sections += Section("Models", OtherLines(r, 2));
        // Declared only under a later manufacturer: never counts.
        out->push_back(Make(declares ? "hundreds of decorations, one declaring" : "hundreds of decorations, none declaring",
                            Inf(line + "\r\nSecond=Models.Second", sections + Section("Models.Second", ModelLine(ID))),
                            declares));
    }
}

// Models names and decorations whose joined section name passes 255
// characters (the parser refuses longer section names, so no such section
// exists); a decoration past 255 characters ends the search.
void AddOverflowingNames(Random *r, std::vector<CorpusInf> *out)
{
    for (int i = 0; i < 5; ++i) {
        size_t nameLength = 200 + Below(r, 40);
        std::string models = Word(r, nameLength);
        std::string longDecoration = Word(r, SECTION_NAME_LIMIT - nameLength + Below(r, 20));
        std::string shortDecoration = Word(r, 1 + Below(r, (uint32_t)(SECTION_NAME_LIMIT - nameLength - 2)));
        std::string declaring = Section(models + "." + shortDecoration, ModelLine(ID));
        out->push_back(Make("decorated name past 255 characters, then a declaring one",
                            Inf("%Mfg%=" + models + "," + longDecoration + "," + shortDecoration, declaring), true));
        out->push_back(Make("decorated name past 255 characters, none declaring",
                            Inf("%Mfg%=" + models + "," + longDecoration + "," + shortDecoration,
                                Section(models + "." + shortDecoration, OtherLines(r, 2))), false));
        out->push_back(Make("decoration past 255 characters before a declaring one",
                            Inf("%Mfg%=" + models + "," + Word(r, FIELD_LIMIT + 1 + Below(r, 200)) + "," + shortDecoration,
                                declaring), false));
        std::string fullName = Word(r, SECTION_NAME_LIMIT);
        out->push_back(Make("255-character models name with decorations, declaring undecorated",
                            Inf("%Mfg%=" + fullName + ",NTx86,NTamd64", Section(fullName, OtherLines(r, 1) + ModelLine(ID))), true));
        out->push_back(Make("255-character models name with decorations, none declaring",
                            Inf("%Mfg%=" + fullName + ",NTx86," + Word(r, 100), Section(fullName, OtherLines(r, 2))), false));
    }
}

void AddMissingAndEmpty(Random *r, std::vector<CorpusInf> *out)
{
    std::string declaring = Section("Models", ModelLine(ID));
    std::string version = VERSION;
    std::string body = std::string(STRINGS) + "[Manufacturer]\r\n%Mfg%=Models\r\n\r\n" + declaring;
    out->push_back(Make("no manufacturer section", version + STRINGS + declaring, false));
    out->push_back(Make("empty manufacturer section", version + STRINGS + "[Manufacturer]\r\n\r\n" + declaring, false));
    out->push_back(Make("manufacturer line without a value", Inf("%Mfg%=", declaring), false));
    out->push_back(Make("manufacturer line with nothing but commas", Inf("%Mfg%=,,,", declaring), false));
    out->push_back(Make("first manufacturer names a missing section", Inf("%Mfg%=Missing\r\nSecond=Models", declaring), false));
    out->push_back(Make("models section missing, decorated one declaring",
                        Inf("%Mfg%=Models,NTx86", Section("Models.NTx86", ModelLine(ID))), true));
    out->push_back(Make("models section empty, decorated one declaring",
                        Inf("%Mfg%=Models,NTx86", Section("Models", "") + Section("Models.NTx86", ModelLine(ID))), true));
    out->push_back(Make("models section of comments only", Inf("%Mfg%=Models", Section("Models", "; " + std::string(ID) + CRLF)), false));
    out->push_back(Make("model line without field 2 before the ID",
                        Inf("%Mfg%=Models", Section("Models", "%Dev%=Install\r\n" + ModelLine(ID))), false));
    out->push_back(Make("model line without field 2, decorated section declaring",
                        Inf("%Mfg%=Models,NTx86", Section("Models", "%Dev%=Install\r\n" + ModelLine(ID)) +
                                                      Section("Models.NTx86", ModelLine(ID))), true));
    out->push_back(Make("model line with an empty field 2 before the ID",
                        Inf("%Mfg%=Models", Section("Models", "%Dev%=Install,\r\n" + ModelLine(ID))), true));
    out->push_back(Make("no version section", std::string(STRINGS) + "[Manufacturer]\r\n%Mfg%=Models\r\n" + declaring, false));
    out->push_back(Make("no signature", "[Version]\r\nClass=USB\r\n" + body, false));
    out->push_back(Make("unknown signature", "[Version]\r\nSignature=\"$Windows 3.1$\"\r\n" + body, false));
    out->push_back(Make("Chicago signature", "[Version]\r\nSignature=\"$Chicago$\"\r\n" + body, true));
    out->push_back(Make("empty file", "", false));
    out->push_back(Make("version section only", "[Version]\r\nSignature=\"$Windows NT$\"\r\n", false));
    out->push_back(Make("every section empty", "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\n[Models]\r\n[Strings]\r\n", false));
    out->push_back(Make("manufacturer section given twice", Inf("%Mfg%=Models", declaring) + "[Manufacturer]\r\nOther=Nothing\r\n", true));
    out->push_back(Make("blanks around the models name", Inf("%Mfg%=   Models   ,  NTx86  ", declaring), true));
    out->push_back(Make("key's ID only under the second manufacturer",
                        Inf("%Mfg%=Models\r\nSecond=Other", Section("Models", OtherLines(r, 3)) + Section("Other", ModelLine(ID))), false));
    out->push_back(Make("key's ID only as a compatible ID",
                        Inf("%Mfg%=Models", Section("Models", ModelLine(OtherId(r), "," + std::string(ID)))), false));
    out->push_back(Make("ID in other letter case", Inf("%Mfg%=Models", Section("Models", ModelLine("usb\\vid_fe17&PID_0101"))), true));
    out->push_back(Make("ID with a blank inside", Inf("%Mfg%=Models", Section("Models", ModelLine("USB\\VID_FE17 &PID_0101"))), false));
    out->push_back(Make("control-Z before the models", Inf("%Mfg%=Models", "\x1a" + declaring), false));
}

void AddOpenQuotesAndContinuations(Random *r, std::vector<CorpusInf> *out)
{
    std::string other = OtherId(r);
    out->push_back(Make("open quote in an unused string",
                        Inf("%Mfg%=Models", Section("Models", ModelLine(ID))) + Section("Strings", "Open=\"never closed"), true));
    out->push_back(Make("open quote in field 3 of the ID's line",
                        Inf("%Mfg%=Models", Section("Models", ModelLine(ID, ",\"USB\\Class_0B"))), true));
    out->push_back(Make("open quote in field 3 of an earlier line",
                        Inf("%Mfg%=Models", Section("Models", ModelLine(other, ",\"compatible, still quoted") + ModelLine(ID))), true));
    out->push_back(Make("open quote in a comment",
                        Inf("%Mfg%=Models", Section("Models", "; \"never closed\r\n" + ModelLine(ID))), true));
    out->push_back(Make("open quote as the last byte", Inf("%Mfg%=Models", Section("Models", ModelLine(ID))) + "\"", true));
    out->push_back(Make("continuation as the last byte", Inf("%Mfg%=Models", Section("Models", ModelLine(ID))) + "Last=1,\\", true));
    out->push_back(Make("continuation after the ID at the end of the file",
                        Inf("%Mfg%=Models", "[Models]\r\n%Dev%=Install," + std::string(ID) + ",\\"), true));
    out->push_back(Make("continuation inside the ID's line",
                        Inf("%Mfg%=Models", Section("Models", "%Dev%=Install,\\\r\n   " + std::string(ID) + CRLF)), true));
    out->push_back(Make("continuation swallowing the ID's line",
                        Inf("%Mfg%=Models", Section("Models", ModelLine(other, ",\\") + ModelLine(ID))), false));
    // The header right below the continued line: no blank line ends it.
    out->push_back(Make("continuation swallowing the models header",
                        std::string(VERSION) + STRINGS + "[Manufacturer]\r\n%Mfg%=Models,\\\r\n" + Section("Models", ModelLine(ID)),
                        false));
    out->push_back(Make("chain of continuations", Inf("%Mfg%=Models", Section("Models", std::string("%Dev%=Install,\\\r\n\\\r\n\\\r\n") + ID + CRLF)), true));
    out->push_back(Make("section header left open", Inf("%Mfg%=Models", "[Models\r\n" + ModelLine(ID)), false));
    out->push_back(Make("section header left open at the end", Inf("%Mfg%=Models", Section("Models", ModelLine(ID))) + "[Tail", false));
    out->push_back(Make("percent left open before the ID", Inf("%Mfg%=Models", Section("Models", ModelLine("%" + std::string(ID)))), false));
    out->push_back(Make("percent left open in the key", Inf("%Mfg%=Models", Section("Models", "%Dev=Install," + std::string(ID) + CRLF)), true));
    out->push_back(Make("ID through a string", Inf("%Mfg%=Models", Section("Models", ModelLine("%HWID%"))), true));
    out->push_back(Make("ID in closed quotes", Inf("%Mfg%=Models", Section("Models", ModelLine("\"" + std::string(ID) + "\""))), true));
    out->push_back(Make("doubled quotes around the ID", Inf("%Mfg%=Models", Section("Models", ModelLine("\"\"" + std::string(ID) + "\"\""))), true));
    out->push_back(Make("quote opened in the models name's neighbour",
                        Inf("%Mfg%=Models,\"NTx86", Section("Models", ModelLine(ID))), true));
    for (int i = 0; i < 6; ++i) {
        // Random runs of quotes and backslashes before a declaring line.
        std::string noise;
        size_t count = 1 + Below(r, 40);
        for (size_t j = 0; j < count; ++j)
            noise += "\"\\,; %"[Below(r, 6)];
        out->push_back(Make("quotes and continuations in a line of their own",
                            Inf("%Mfg%=Models", Section("Models", ModelLine(ID)) + Section("Noise", "Noise=" + noise + CRLF)), true));
    }
}

} // namespace

std::vector<CorpusInf> MalformedInfCorpus(uint32_t seed, size_t minimumCount)
{
    std::vector<CorpusInf> corpus;
    Random r = {seed ? seed : 1};

    while (corpus.size() < minimumCount) {
        AddGarbage(&r, &corpus);
        AddTokenSoup(&r, &corpus);
        AddTruncated(&r, &corpus);
        AddLongLines(&r, &corpus);
        AddManyDecorations(&r, &corpus);
        AddOverflowingNames(&r, &corpus);
        AddMissingAndEmpty(&r, &corpus);
        AddOpenQuotesAndContinuations(&r, &corpus);
    }
    return corpus;
}

std::string NonMatchingDriverInf(uint32_t seed)
{
    Random r = {seed ? seed : 1};
    static const char *const decorations[] = {"NTx86", "NTx86.5.1", "NTamd64", "NTamd64.6.0", "NTia64"};
    std::string line = "%Mfg%=Models";
    std::string sections = Section("Models", OtherLines(&r, 12));

    for (size_t i = 0; i < sizeof(decorations) / sizeof(decorations[0]); ++i) {
        line += std::string(",") + decorations[i];
        sections += Section(std::string("Models.") + decorations[i], OtherLines(&r, 12));
    }
    sections += Section("Install", "CopyFiles=Install.Files\r\nAddReg=Install.AddReg");
    sections += Section("Install.Files", "device.sys");
    sections += Section("Install.AddReg", "HKR,,DevLoader,,*ntkern\r\nHKR,,NTMPDriver,,device.sys");
    sections += Section("Install.Services", "AddService=device,0x00000002,Install.Service");
    sections += Section("Install.Service", "ServiceType=1\r\nStartType=3\r\nErrorControl=1\r\nServiceBinary=%12%\\device.sys");
    return Inf(line, sections);
}
