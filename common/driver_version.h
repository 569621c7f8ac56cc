// The DriverVer of an INF ("date,version"), read as Windows reads it for
// the key's install: the DDInstall section's before [Version]'s; ANSI or
// UTF-16 files, %strkey% tokens resolved from [Strings]; and how two rank.
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

// Reads the INF's DriverVer: that of the DDInstall section of the first
// model line that names the key's hardware ID (the first manufacturer's
// models sections, decorated ones first; the install section decorated
// .NT<platform of the models decoration, NTx86 for none>, else .NT, else
// undecorated), else [Version]'s. False when the INF cannot be opened or
// declares none.
bool ReadDriverVersion(const char *infPath, DriverVersion *version);

// The same date and version number (letter case ignored).
bool SameDriverVersion(const DriverVersion *first, const DriverVersion *second);

// How an installed driver ranks against another, as Windows ranks drivers
// of one match: the later date, then the higher version number. Not
// comparable when a date is not month/day/year or, on the same date, a
// version number is not up to four numbers.
enum DriverRank { RANK_OLDER, RANK_SAME, RANK_NEWER, RANK_NOT_COMPARABLE };
DriverRank RankDriverVersion(const DriverVersion *installed, const DriverVersion *reference);

// "3.0.2.44 of 2015-06-12" into text (DRIVER_VERSION_TEXT_CAPACITY).
void FormatDriverVersion(const DriverVersion *version, char *text);
