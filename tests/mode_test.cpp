#include <gtest/gtest.h>

#include <string>

#include "command_line.h"
#include "mode.h"

namespace {

TEST(ModeSelection, LastNineCharactersDecide)
{
    const char *uninstall[] = {"uninstall", "/UNINSTALL", "-Uninstall", "reuninstall", "a b c uNiNsTaLl"};
    const char *install[] = {"", "uninstall x", "uninstal", "uninstall ", "install", "-u", "UNINSTALL\t"};

    for (size_t i = 0; i < sizeof(uninstall) / sizeof(uninstall[0]); ++i)
        EXPECT_TRUE(TailSelectsUninstall(uninstall[i])) << "'" << uninstall[i] << "'";
    for (size_t i = 0; i < sizeof(install) / sizeof(install[0]); ++i)
        EXPECT_FALSE(TailSelectsUninstall(install[i])) << "'" << install[i] << "'";
}

struct CutCase {
    const char *commandLine;
    const char *tail;
};

void ExpectTails(const CutCase *cases, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(std::string(cases[i].tail), CommandLineTail(cases[i].commandLine))
            << "'" << cases[i].commandLine << "'";
}

// A quoted name ends at its closing quote, blank or not after it.
TEST(CommandLineTail, QuotedNameEndsAfterItsClosingQuote)
{
    const CutCase cases[] = {
        {"\"C:\\dir\\keysetup.exe\"uninstall", "uninstall"},
        {"\"C:\\dir\\keysetup.exe\" uninstall", "uninstall"},
        {"\"C:\\Program Files\\keysetup.exe\"  /x uninstall", "/x uninstall"},
        {"\"\"-install", "-install"},
        {"\"C:\\dir\\keysetup.exe\"", ""},
        {"\"C:\\no closing quote\\keysetup.exe uninstall", ""},
        {"\"", ""},
    };
    ExpectTails(cases, sizeof(cases) / sizeof(cases[0]));
    EXPECT_TRUE(TailSelectsUninstall(CommandLineTail("\"C:\\dir\\keysetup.exe\"uninstall")));
}

// An unquoted name ends at the first blank or control character; a quote
// inside it is part of it. What follows a name keeps its own blanks.
TEST(CommandLineTail, UnquotedNameEndsAtTheFirstBlankOrControl)
{
    const CutCase cases[] = {
        {"C:\\dir\\keysetup.exe uninstall", "uninstall"},
        {"keysetup.exe\tuninstall", "uninstall"},
        {"keysetup.exe\x01uninstall", "uninstall"},
        {"key\"setup\".exe uninstall", "uninstall"},
        {"keysetup.exe uninstall ", "uninstall "},
        {"keysetup.exe", ""},
        {"", ""},
    };
    ExpectTails(cases, sizeof(cases) / sizeof(cases[0]));
}

// Blanks, tabs and control characters after the name are skipped; bytes
// above 0x7F are letters of the code page, in the name and in the tail.
TEST(CommandLineTail, ControlsAfterTheNameSkippedCodePageLettersKept)
{
    const CutCase cases[] = {
        {"\"C:\\dir\\keysetup.exe\"\t\r\n\x1f uninstall", "uninstall"},
        {"keysetup.exe \t \x7f", "\x7f"},
        {"C:\\caf\xe9\\keysetup.exe", ""},
        {"keysetup.exe \xe9t\xe9", "\xe9t\xe9"},
        {"keysetup.exe\t\t", ""},
    };
    ExpectTails(cases, sizeof(cases) / sizeof(cases[0]));
}

} // namespace
