// The command-line tail: what a program's command line holds after the
// program's own name, as the programs read it from GetCommandLineA.
#pragma once

// Skips the program name and the blanks and control characters after it.
// A name that starts with a double quote runs to the next double quote,
// which belongs to the name ("C:\dir\keysetup.exe"uninstall gives
// "uninstall"); any other name ends at the first character at or below the
// blank. Characters above 0x7F are never blanks: a code-page letter in a
// name or a tail is kept. A line without a closing quote has no tail.
inline const char *CommandLineTail(const char *commandLine)
{
    const unsigned char *cursor = (const unsigned char *)commandLine;
    const unsigned char QUOTE = '"';
    const unsigned char BLANK = ' ';

    if (*cursor == QUOTE) {
        ++cursor;
        while (*cursor != '\0' && *cursor != QUOTE)
            ++cursor;
        if (*cursor == QUOTE)
            ++cursor;
    } else {
        while (*cursor > BLANK)
            ++cursor;
    }
    while (*cursor != '\0' && *cursor <= BLANK)
        ++cursor;
    return (const char *)cursor;
}
