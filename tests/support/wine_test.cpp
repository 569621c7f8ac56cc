#include "wine_test.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace {

// How long a program file may stay mapped by its ended process, and how
// often its delete is tried again.
const DWORD RELEASE_WAIT_MS = 10000;
const DWORD RELEASE_POLL_MS = 50;

} // namespace

std::string WindowsPath(std::string path)
{
    for (size_t i = 0; i < path.size(); ++i)
        if (path[i] == '/')
            path[i] = '\\';
    return path;
}

std::string BinDir()
{
    const char *value = getenv("KEYSETUP_BIN_DIR");
    return WindowsPath(value ? value : ".");
}

std::string BinPath(const char *name)
{
    return BinDir() + "\\" + name;
}

std::string BesideThisProgram(const char *name)
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string self(path);
    return self.substr(0, self.rfind('\\') + 1) + name;
}

std::string MakeScratchDir(const char *tag)
{
    char temp[MAX_PATH] = {0};
    std::ostringstream name;

    GetTempPathA(MAX_PATH, temp);
    name << temp << "kstest_" << tag << "_" << GetCurrentProcessId();
    RemoveTree(name.str());
    CreateDirectoryA(name.str().c_str(), NULL);
    return name.str();
}

void RemoveTree(const std::string &path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);

    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            std::string child = path + "\\" + name;
            if (name == "." || name == "..")
                continue;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteWhenReleased(const std::string &path)
{
    DWORD waited = 0;

    while (!DeleteFileA(path.c_str()) && FileExists(path) && waited < ScaledTimeout(RELEASE_WAIT_MS)) {
        Sleep(RELEASE_POLL_MS);
        waited += RELEASE_POLL_MS;
    }
    return !FileExists(path);
}

bool WriteBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    return out.good();
}

std::string ReadBytes(const std::string &path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool WineOverwritesReadOnlyFiles(const std::string &directory)
{
    std::string probe = directory + "\\readonly.probe";
    bool overwrites = false;

    if (WriteBytes(probe, "probe") && SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_READONLY)) {
        HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        overwrites = file != INVALID_HANDLE_VALUE;
        if (overwrites)
            CloseHandle(file);
    }
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(probe.c_str());
    return overwrites;
}

std::string CopyProgram(const char *name, const std::string &directory, const std::string &newName)
{
    std::string target = directory + "\\" + newName;
    CopyFileA(BinPath(name).c_str(), target.c_str(), FALSE);
    return target;
}

void SetEmulatedVersion(const std::string &exeName, const char *version)
{
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName;
    HKEY handle = NULL;

    if (!version || !*version) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        return;
    }
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE *)version, (DWORD)strlen(version) + 1);
    RegCloseKey(handle);
}

DWORD RunAs(const char *program, const char *version, const std::string &tail)
{
    std::string dir = MakeScratchDir("emulated");
    std::string name = std::string("as_") + version + ".exe";
    std::string copy = CopyProgram(program, dir, name);
    SetEmulatedVersion(name, version);
    DWORD code = RunProgram("\"" + copy + "\"" + tail);
    SetEmulatedVersion(name, "");
    RemoveTree(dir);
    return code;
}

void SetDllOverride(const std::string &exeName, const char *dll, const char *value)
{
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName + "\\DllOverrides";
    HKEY handle = NULL;

    if (!value) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        return;
    }
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, dll, 0, REG_SZ, (const BYTE *)value, (DWORD)strlen(value) + 1);
    RegCloseKey(handle);
}

namespace {

// Beside the system file; an empty one says there was no original.
const char KEPT_SUFFIX[] = ".kstest-original";

// Moved aside, or copied when it is to stay in place.
bool KeepOriginal(const std::string &systemPath, bool inPlace)
{
    std::string kept = systemPath + KEPT_SUFFIX;

    if (FileExists(kept))
        return true;
    if (!FileExists(systemPath))
        return WriteBytes(kept, "");
    if (inPlace)
        return CopyFileA(systemPath.c_str(), kept.c_str(), TRUE) != FALSE;
    return MoveFileA(systemPath.c_str(), kept.c_str()) != FALSE;
}

} // namespace

bool ReplaceSystemFile(const std::string &systemPath, const std::string &replacement)
{
    if (!KeepOriginal(systemPath, false))
        return false;
    if (!replacement.empty())
        return CopyFileA(replacement.c_str(), systemPath.c_str(), FALSE) != FALSE;
    DeleteFileA(systemPath.c_str());
    return !FileExists(systemPath);
}

bool KeepSystemFile(const std::string &systemPath)
{
    return KeepOriginal(systemPath, true);
}

bool RestoreSystemFile(const std::string &systemPath)
{
    std::string kept = systemPath + KEPT_SUFFIX;

    if (!FileExists(kept))
        return true;
    DeleteFileA(systemPath.c_str());
    if (ReadBytes(kept).empty())
        return DeleteFileA(kept.c_str()) != FALSE;
    return MoveFileA(kept.c_str(), systemPath.c_str()) != FALSE;
}

std::string SystemDir()
{
    char dir[MAX_PATH] = {0};
    GetSystemDirectoryA(dir, MAX_PATH);
    return dir;
}

std::string WindowsDir()
{
    char dir[MAX_PATH] = {0};
    GetWindowsDirectoryA(dir, MAX_PATH);
    return dir;
}

std::string InfDir()
{
    return WindowsDir() + "\\inf\\";
}

bool UnderWow64()
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}

std::string Quoted(const std::string &path)
{
    return "\"" + path + "\"";
}

bool RegKeyExists(HKEY root, const char *path, REGSAM view)
{
    HKEY key = NULL;
    LONG status = RegOpenKeyExA(root, path, 0, KEY_READ | view, &key);

    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

DWORD ScaledTimeout(DWORD timeoutMs)
{
    const char *text = getenv("KEYSETUP_TEST_TIMEOUT_SCALE");
    unsigned long scale = text ? strtoul(text, NULL, 10) : 1;

    if (scale == 0 || timeoutMs == INFINITE)
        return timeoutMs;
    return timeoutMs > (INFINITE - 1) / scale ? INFINITE - 1 : (DWORD)(timeoutMs * scale);
}

bool SetSetupLogPath(const std::string &dir)
{
    HKEY key = NULL;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup", 0, NULL, 0,
                                  KEY_SET_VALUE | (UnderWow64() ? KEY_WOW64_64KEY : 0), NULL, &key, NULL);
    if (status == ERROR_SUCCESS) {
        status = dir.empty() ? RegDeleteValueA(key, "LogPath")
                             : RegSetValueExA(key, "LogPath", 0, REG_SZ, (const BYTE *)dir.c_str(), (DWORD)dir.size() + 1);
        RegCloseKey(key);
    }
    return status == ERROR_SUCCESS;
}
