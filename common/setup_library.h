// SetupAPI, the device-installation library, taken at run time from the
// system directory. Windows 95 may have no setupapi.dll and NT 4's lacks
// the device functions: a static import would keep the programs from
// starting there, with a loader error box. Each user looks up by name the
// functions it needs; a missing library or function fails only its step.
#pragma once

#include <windows.h>
#include <setupapi.h>

// The INF parser.
typedef HINF(WINAPI *SetupOpenInfFileAProc)(PCSTR, PCSTR, DWORD, PUINT);
typedef VOID(WINAPI *SetupCloseInfFileProc)(HINF);
typedef BOOL(WINAPI *SetupFindFirstLineAProc)(HINF, PCSTR, PCSTR, PINFCONTEXT);
typedef BOOL(WINAPI *SetupFindNextLineProc)(PINFCONTEXT, PINFCONTEXT);
typedef BOOL(WINAPI *SetupGetLineTextAProc)(PINFCONTEXT, HINF, PCSTR, PCSTR, PSTR, DWORD, PDWORD);
typedef BOOL(WINAPI *SetupGetStringFieldAProc)(PINFCONTEXT, DWORD, PSTR, DWORD, PDWORD);

// Device information sets.
typedef HDEVINFO(WINAPI *SetupDiGetClassDevsAProc)(const GUID *, PCSTR, HWND, DWORD);
typedef BOOL(WINAPI *SetupDiEnumDeviceInfoProc)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
typedef BOOL(WINAPI *SetupDiGetDeviceRegistryPropertyAProc)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD,
                                                            PDWORD);
typedef BOOL(WINAPI *SetupDiCallClassInstallerProc)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA);
typedef BOOL(WINAPI *SetupDiDestroyDeviceInfoListProc)(HDEVINFO);

// The INF store.
typedef BOOL(WINAPI *SetupCopyOEMInfAProc)(PCSTR, PCSTR, DWORD, DWORD, PSTR, DWORD, PDWORD, PSTR *);
// Windows XP and later: removes a stored INF by name, with its .pnf and
// catalogue, and on Vista and later its package in the driver store.
typedef BOOL(WINAPI *SetupUninstallOEMInfAProc)(PCSTR, DWORD, PVOID);

// Windows XP and later: SetupAPI shows no dialog in this process (a step
// that would needs one fails instead).
typedef BOOL(WINAPI *SetupSetNonInteractiveModeProc)(BOOL);

// setupapi.dll of the system directory, never a copy found elsewhere;
// NULL when there is none. The caller frees it with FreeLibrary.
HMODULE LoadSetupLibrary(void);

// The address of the named function in setupapi (NULL when it lacks it),
// to be cast to its prototype above.
void *FindSetupFunction(HMODULE setupapi, const char *name);
