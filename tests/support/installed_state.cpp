#include "installed_state.h"

#include <gtest/gtest.h>

#include "system_names.h"
#include "wine_test.h"

namespace {

// Where Wine's SetupCopyOEMInfA keeps a stored package's catalogue.
const char CATROOT[] = "\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\";

} // namespace

std::string InstallSystemDir()
{
    return UnderWow64() ? WindowsDir() + "\\syswow64" : SystemDir();
}

std::string InstalledPath(const char *name)
{
    return InstallSystemDir() + "\\" + name;
}

std::string DeployedPath(const PayloadFile &file)
{
    std::string dir = file.dir;

    if (dir == "drivers")
        return WindowsDir() + "\\system32\\drivers\\" + file.name;
    if (dir == "inf")
        return InfDir() + file.name;
    return InstalledPath(file.name);
}

void DeleteNt32Install()
{
    for (size_t i = 0; i < NT32_INSTALLED_COUNT; ++i) {
        std::string path = InstalledPath(PAYLOAD_FILES[i].name);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        RemoveDirectoryA(path.c_str());
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH);
}

bool WriteUninstallEntry(REGSAM view)
{
    const char value[] = "C:\\QV_DRVUNI.exe";
    HKEY key = NULL;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, NULL, 0, KEY_ALL_ACCESS | view, NULL,
                                  &key, NULL);

    if (status != ERROR_SUCCESS)
        return false;
    status = RegSetValueExA(key, "DisplayIcon", 0, REG_SZ, (const BYTE *)value, sizeof(value));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void ExpectUninstallEntryFor(const std::string &uninstaller, int line)
{
    SCOPED_TRACE(testing::Message() << "entry checked at line " << line);
    EXPECT_EQ(uninstaller, UninstallEntryValue("DisplayIcon"));
    EXPECT_EQ(std::string(UNINSTALL_DISPLAY_NAME), UninstallEntryValue("DisplayName"));
    EXPECT_EQ(uninstaller + " -u", UninstallEntryValue("UninstallString"));
    EXPECT_EQ("3.0.2.44", UninstallEntryValue("DisplayVersion"));
}

std::string UninstallEntryValue(const char *name)
{
    char data[1024] = {0};
    DWORD size = sizeof(data) - 1;
    HKEY key = NULL;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    RegQueryValueExA(key, name, NULL, NULL, (BYTE *)data, &size);
    RegCloseKey(key);
    return data;
}

std::string StoredInfHolding(const std::string &content)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((InfDir() + "*.inf").c_str(), &entry);
    std::string found;

    if (search == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (found.empty() && ReadBytes(InfDir() + entry.cFileName) == content)
            found = entry.cFileName;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

std::string StoredCataloguePath(const char *catalogueName)
{
    return SystemDir() + CATROOT + catalogueName;
}

void RemoveStoredCopies(const std::string &content, const char *catalogueName)
{
    std::string stored;

    while (!content.empty() && !(stored = StoredInfHolding(content)).empty()) {
        std::string base = InfDir() + stored.substr(0, stored.size() - 4);
        SetFileAttributesA((base + ".inf").c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA((base + ".inf").c_str()))
            break;
        DeleteFileA((base + ".pnf").c_str());
    }
    if (catalogueName) {
        DeleteFileA(StoredCataloguePath(catalogueName).c_str());
        // The 64-bit store's, under WOW64.
        DeleteFileA((WindowsDir() + "\\sysnative" + CATROOT + catalogueName).c_str());
    }
}
