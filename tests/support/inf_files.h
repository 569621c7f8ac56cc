// INF files written from text for the INF parser to read.
#pragma once

#include <string>

// text as it is, in the ANSI code page.
bool WriteInfAnsi(const std::string &path, const std::string &text);
// text (ASCII) as UTF-16LE with a byte-order mark.
bool WriteInfUtf16(const std::string &path, const std::string &text);
