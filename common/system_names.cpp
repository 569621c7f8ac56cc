#include "system_names.h"

const char DEVICE_HARDWARE_ID[] = "USB\\VID_FE17&PID_0101";
const char UNINSTALL_KEY_PATH[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VORevizeRidarorar";
const char UNINSTALL_DISPLAY_NAME[] = "VORevizeRidarorar";
const char UNINSTALLER_FILE_NAME[] = "\\QV_DRVUNI.exe";
const char UNINSTALLER_MANIFEST_NAME[] = "\\QV_DRVUNI.exe.manifest";
const char NATIVE_HELPER_FILE_NAME[] = "\\DrvInst64.exe";
const char ARM64_HELPER_FILE_NAME[] = "\\DrvInstA64.exe";
const char TYPE_NT32[] = "DLL";
const char TYPE_X64[] = "DEV64";
const char TYPE_ARM64[] = "DEVA64";
const char TYPE_WIN9X[] = "DEV98";
const char TYPE_OLDGEN[] = "OLDVID";
const char TYPE_OLDGEN9X[] = "OLDVID98";
const char TYPE_UNINSTALL[] = "UNINSTALL";
