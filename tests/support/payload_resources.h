// The payload resources that the built keysetup.exe carries, and where the
// install deploys each of them.
#pragma once

#include <windows.h>

#include <string>

struct PayloadFile {
    const char *type;
    WORD id;
    const char *name; // deployed name
    const char *dir;  // "system" (the install's system directory), "drivers" or "inf"
};

// Every payload resource, grouped by what deploys it and each group in the
// order keysetup writes it: the 32-bit NT packages, the uninstaller (these
// two groups are the 32-bit NT install), the Windows 98/Me files, the
// 64-bit package and the ARM64 package. Filled before main from the
// installer's own tables (the branch file table and the uninstaller's
// names), so the tests expect what the install is built from;
// PayloadTableComplete says whether the groups filled the offsets below.
extern PayloadFile PAYLOAD_FILES[];
bool PayloadTableComplete();
const size_t PAYLOAD_FILE_COUNT = 21;
const size_t NT32_PAYLOAD = 0;
const size_t UNINSTALLER_PAYLOAD = 5;
const size_t WIN9X_PAYLOAD = 7;
const size_t WOW64_PAYLOAD = 13;
const size_t ARM64_PAYLOAD = 17;

// The bytes of resource type/id in the built keysetup.exe; empty when it
// carries no such resource.
std::string KeysetupPayloadBytes(const char *type, WORD id);
std::string KeysetupPayloadBytes(const PayloadFile &file);
