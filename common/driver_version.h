// The DriverVer of an INF ([Version], "date,version"), read as Windows
// reads it: ANSI or UTF-16 files, %strkey% tokens resolved from [Strings].
#pragma once

#include <windows.h>

const size_t DRIVER_DATE_CAPACITY = 16;
const size_t DRIVER_NUMBER_CAPACITY = 48;
const size_t DRIVER_VERSION_TEXT_CAPACITY = DRIVER_DATE_CAPACITY + DRIVER_NUMBER_CAPACITY + 8;

struct DriverVersion {
    char date[DRIVER_DATE_CAPACITY];     // year-month-day, or the INF's text when not a date
    char number[DRIVER_NUMBER_CAPACITY]; // "3.0.2.44"
};

// Fills version from the two fields of a DriverVer value (date
// "month/day/year", version); the date may hold both, comma-separated,
// where one string token gave the whole value. False when the date is
// empty.
bool ParseDriverVer(const char *date, const char *number, DriverVersion *version);

// Reads the INF's DriverVer; false when the INF cannot be opened or
// declares none.
bool ReadDriverVersion(const char *infPath, DriverVersion *version);

// The same date and version number (letter case ignored).
bool SameDriverVersion(const DriverVersion *first, const DriverVersion *second);

// "3.0.2.44 of 2015-06-12" into text (DRIVER_VERSION_TEXT_CAPACITY).
void FormatDriverVersion(const DriverVersion *version, char *text);
