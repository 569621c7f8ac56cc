// The Windows a machine runs, named as people know it ("Windows 11 (build
// 22631), 64-bit, x64", "Windows XP Service Pack 3, 32-bit", "Windows 98
// Second Edition"), from its true version numbers.
#pragma once

#include <windows.h>

#include "platform.h"

const size_t SERVICE_PACK_CAPACITY = 128;
const size_t WINDOWS_NAME_CAPACITY = 192;

struct WindowsVersion {
    DWORD platformId; // VER_PLATFORM_WIN32_WINDOWS or VER_PLATFORM_WIN32_NT
    DWORD major, minor, build;
    BYTE productType; // VER_NT_WORKSTATION, ..._DOMAIN_CONTROLLER, ..._SERVER; 0 unknown
    char servicePack[SERVICE_PACK_CAPACITY]; // the CSD version text as Windows gives it
};

// Names version on a machine of that branch (BRANCH_NOT_WOW64: this
// process's own 32-bit Windows) into name (WINDOWS_NAME_CAPACITY).
void NameWindows(const WindowsVersion *version, Wow64Branch branch, char *name);

// The true version: RtlGetVersion where ntdll has it (it does not shim the
// numbers for a program without the matching manifest entries), else
// GetVersionExA, with the product type where the extended form answers.
// False when nothing answers.
bool ReadWindowsVersion(WindowsVersion *version);
