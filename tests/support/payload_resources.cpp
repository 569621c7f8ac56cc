#include "payload_resources.h"

#include "resource_ids.h"
#include "wine_test.h"

const PayloadFile PAYLOAD_FILES[PAYLOAD_FILE_COUNT] = {
    {"DLL", IDR_NT32_INF, "ZIVIRIZ.inf", "system"},
    {"DLL", IDR_NT32_DRIVER, "ZIVIRIZ.sys", "system"},
    {"DLL", IDR_NT32_CATALOG, "ziviriz.cat", "system"},
    {"OLDVID", IDR_OLDGEN_INF, "QVUSB.INF", "system"},
    {"OLDVID", IDR_OLDGEN_DRIVER, "QVUSB.SYS", "system"},
    {"UNINSTALL", IDR_UNINSTALLER, "QV_DRVUNI.exe", "system"},
    {"UNINSTALL", IDR_UNINSTALLER_MANIFEST, "QV_DRVUNI.exe.manifest", "system"},
    {"DEV98", IDR_WIN9X_DRIVER, "ziviriz.sys", "drivers"},
    {"DEV98", IDR_WIN9X_INF, "ZIVIRIZ.INF", "inf"},
    {"DEV98", IDR_WIN9X_NEWDEV, "newdev.dll", "system"},
    {"DEV98", IDR_WIN9X_WINSCARD, "WinSCard.dll", "system"},
    {"OLDVID98", IDR_OLDGEN9X_INF, "QVUSB.INF", "inf"},
    {"OLDVID98", IDR_OLDGEN9X_DRIVER, "QVUSB.SYS", "drivers"},
    {"DEV64", IDR_X64_INF, "ZIVIRIZ.inf", "system"},
    {"DEV64", IDR_X64_DRIVER, "ZIVIRIZ.sys", "system"},
    {"DEV64", IDR_X64_CATALOG, "ziviriz.cat", "system"},
    {"DEV64", IDR_X64_INSTALLER, "DrvInst64.exe", "system"},
    {"DEVA64", IDR_ARM64_INF, "ZIVIRIZ.inf", "system"},
    {"DEVA64", IDR_ARM64_DRIVER, "ZIVIRIZ.sys", "system"},
    {"DEVA64", IDR_ARM64_CATALOG, "ziviriz.cat", "system"},
    {"DEVA64", IDR_ARM64_INSTALLER, "DrvInstA64.exe", "system"},
};

std::string KeysetupPayloadBytes(const char *type, WORD id)
{
    std::string bytes;
    HMODULE module = LoadLibraryExA(BinPath("keysetup.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = module ? FindResourceA(module, MAKEINTRESOURCEA(id), type) : NULL;
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;

    if (loaded)
        bytes.assign((const char *)LockResource(loaded), SizeofResource(module, found));
    if (module)
        FreeLibrary(module);
    return bytes;
}

std::string KeysetupPayloadBytes(const PayloadFile &file)
{
    return KeysetupPayloadBytes(file.type, file.id);
}
