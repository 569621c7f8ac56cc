// INF files written from text for the INF parser to read, and the texts
// the tests plant.
#pragma once

#include <string>

// The smallest INF whose model declares the key's hardware ID: what a
// stale stored copy of the key's INF is to the uninstall.
extern const char KEY_INF_TEXT[];
// Another device's INF that names the key's ID only as a compatible ID.
extern const char FOREIGN_INF_TEXT[];

// text as it is, in the ANSI code page.
bool WriteInfAnsi(const std::string &path, const std::string &text);
// text (ASCII) as UTF-16LE with a byte-order mark.
bool WriteInfUtf16(const std::string &path, const std::string &text);
