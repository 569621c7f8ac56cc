// Names that the installer and the uninstaller share.
#pragma once

// The one hardware ID the system installs for and removes; compared
// without regard to case.
extern const char DEVICE_HARDWARE_ID[];

// Add/Remove Programs entry under HKEY_LOCAL_MACHINE.
extern const char UNINSTALL_KEY_PATH[];
extern const char UNINSTALL_DISPLAY_NAME[];

// File names appended to the system directory, backslash included.
extern const char UNINSTALLER_FILE_NAME[];
extern const char UNINSTALLER_MANIFEST_NAME[];
// The 64-bit helper that does the driver work on x64 Windows, and its
// ARM64 build for ARM64 Windows.
extern const char NATIVE_HELPER_FILE_NAME[];
extern const char ARM64_HELPER_FILE_NAME[];

// keysetup.exe's payload resource types, as its resource script names them;
// keycheck looks up the same files by them.
extern const char TYPE_NT32[];
extern const char TYPE_X64[];
extern const char TYPE_ARM64[];
extern const char TYPE_WIN9X[];
extern const char TYPE_OLDGEN[];
extern const char TYPE_OLDGEN9X[];
extern const char TYPE_UNINSTALL[];
