// Resource IDs of keysetup.exe's payload, shared by the branch file table,
// the installer's resource script and the build that lists the payload.
// Type names are the bare custom types of the resource script ("DLL",
// "DEV64", "DEVA64", "DEV98", "OLDVID", "OLDVID98", "UNINSTALL").
#pragma once

#define IDR_NT32_CATALOG 165
#define IDR_NT32_DRIVER 166
#define IDR_NT32_INF 167
#define IDR_WIN9X_NEWDEV 185
#define IDR_WIN9X_WINSCARD 186
#define IDR_WIN9X_DRIVER 187
#define IDR_WIN9X_INF 188
#define IDR_X64_INF 193
#define IDR_X64_DRIVER 194
#define IDR_X64_CATALOG 195
#define IDR_X64_INSTALLER 196
#define IDR_OLDGEN_DRIVER 199
#define IDR_OLDGEN_INF 200
#define IDR_OLDGEN9X_DRIVER 201
#define IDR_OLDGEN9X_INF 202
#define IDR_UNINSTALLER 204
#define IDR_UNINSTALLER_MANIFEST 205
#define IDR_ARM64_INF 206
#define IDR_ARM64_DRIVER 207
#define IDR_ARM64_CATALOG 208
#define IDR_ARM64_INSTALLER 209
