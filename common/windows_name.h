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
    DWORD productInfo; // GetProductInfo's PRODUCT_* (Vista and later); 0 unknown
    WORD suiteMask;    // VER_SUITE_*; 0 unknown
    bool serverR2;     // GetSystemMetrics(SM_SERVERR2) nonzero (5.2 only)
};

// GetProductInfo's PRODUCT_SERVERRDSH: Windows 10 and 11 Enterprise
// multi-session, which report a server's product type.
const DWORD PRODUCT_ENTERPRISE_MULTI_SESSION = 0xAF;

// NT before 4.0 Service Pack 6 gives no product type; ProductOptions'
// ProductType does ("WinNT", "ServerNT", "LanmanNT"). 0 when it is none
// of them.
BYTE ProductTypeFromOptions(const char *productOptions);

// Names version on a machine of that branch (BRANCH_NOT_WOW64: this
// process's own 32-bit Windows) into name (WINDOWS_NAME_CAPACITY).
void NameWindows(const WindowsVersion *version, Wow64Branch branch, char *name);

// The true version: RtlGetVersion where ntdll has it (it does not shim the
// numbers for a program without the matching manifest entries), else
// GetVersionExA, with the product type and suites where the extended form
// answers (else the registry's product type), the product from
// GetProductInfo where it exists, and on 5.2 whether it is R2. False when
// nothing answers.
bool ReadWindowsVersion(WindowsVersion *version);
