#include "windows_name.h"

#include <string.h>

#include "bounded_string.h"

namespace {

typedef LONG(WINAPI *RtlGetVersionProc)(OSVERSIONINFOEXW *);
typedef BOOL(WINAPI *GetProductInfoProc)(DWORD, DWORD, DWORD, DWORD, DWORD *);

const DWORD FIRST_WINDOWS_11_BUILD = 22000;
const DWORD WIN9X_BUILD_MASK = 0xFFFF;
const DWORD FIRST_98_SECOND_EDITION_BUILD = 2222;
const LONG STATUS_SUCCESS_CODE = 0;
const DWORD FIRST_PRODUCT_INFO_MAJOR = 6; // GetProductInfo: Vista and later
const char PRODUCT_OPTIONS_KEY[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const char PRODUCT_TYPE_VALUE[] = "ProductType";
const size_t PRODUCT_OPTIONS_CAPACITY = 32;

struct ProductOption {
    const char *text;
    BYTE productType;
};

const ProductOption PRODUCT_OPTIONS[] = {
    {"WinNT", VER_NT_WORKSTATION},
    {"ServerNT", VER_NT_SERVER},
    {"LanmanNT", VER_NT_DOMAIN_CONTROLLER},
};

struct NamedRelease {
    DWORD platformId, major, minor;
    const char *workstation;
    const char *server;
};

const NamedRelease RELEASES[] = {
    {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "Windows 95", "Windows 95"},
    {VER_PLATFORM_WIN32_WINDOWS, 4, 10, "Windows 98", "Windows 98"},
    {VER_PLATFORM_WIN32_WINDOWS, 4, 90, "Windows Me", "Windows Me"},
    {VER_PLATFORM_WIN32_NT, 3, 51, "Windows NT 3.51", "Windows NT 3.51 Server"},
    {VER_PLATFORM_WIN32_NT, 4, 0, "Windows NT 4.0", "Windows NT 4.0 Server"},
    {VER_PLATFORM_WIN32_NT, 5, 0, "Windows 2000", "Windows 2000 Server"},
    {VER_PLATFORM_WIN32_NT, 5, 1, "Windows XP", "Windows XP"},
    {VER_PLATFORM_WIN32_NT, 5, 2, "Windows XP Professional x64 Edition", "Windows Server 2003"},
    {VER_PLATFORM_WIN32_NT, 6, 0, "Windows Vista", "Windows Server 2008"},
    {VER_PLATFORM_WIN32_NT, 6, 1, "Windows 7", "Windows Server 2008 R2"},
    {VER_PLATFORM_WIN32_NT, 6, 2, "Windows 8", "Windows Server 2012"},
    {VER_PLATFORM_WIN32_NT, 6, 3, "Windows 8.1", "Windows Server 2012 R2"},
};

// Windows Server on NT 10.0: each release has a build of its own.
struct ServerBuild {
    DWORD build;
    const char *name;
};

const ServerBuild SERVER_BUILDS[] = {
    {14393, "Windows Server 2016"},
    {17763, "Windows Server 2019"},
    {20348, "Windows Server 2022"},
    {26100, "Windows Server 2025"},
};

bool IsServer(const WindowsVersion *version)
{
    return version->productType != 0 && version->productType != VER_NT_WORKSTATION;
}

bool IsNt52(const WindowsVersion *version)
{
    return version->platformId == VER_PLATFORM_WIN32_NT && version->major == 5 && version->minor == 2;
}

// Enterprise multi-session reports a server's product type: only its
// product tells it from Windows Server.
const char *Win10Name(const WindowsVersion *version)
{
    bool windows11 = version->build >= FIRST_WINDOWS_11_BUILD;

    if (version->productInfo == PRODUCT_ENTERPRISE_MULTI_SESSION)
        return windows11 ? "Windows 11 Enterprise multi-session" : "Windows 10 Enterprise multi-session";
    if (!IsServer(version))
        return windows11 ? "Windows 11" : "Windows 10";
    for (size_t i = 0; i < sizeof(SERVER_BUILDS) / sizeof(SERVER_BUILDS[0]); ++i)
        if (SERVER_BUILDS[i].build == version->build)
            return SERVER_BUILDS[i].name;
    return "Windows Server";
}

const char *ReleaseName(const WindowsVersion *version)
{
    if (version->platformId == VER_PLATFORM_WIN32_NT && version->major >= 10)
        return Win10Name(version);
    // Home Server is a 5.2 server of its own suite; R2 only a metric says.
    if (IsNt52(version) && (version->suiteMask & VER_SUITE_WH_SERVER))
        return "Windows Home Server";
    if (IsNt52(version) && IsServer(version) && version->serverR2)
        return "Windows Server 2003 R2";
    for (size_t i = 0; i < sizeof(RELEASES) / sizeof(RELEASES[0]); ++i)
        if (RELEASES[i].platformId == version->platformId && RELEASES[i].major == version->major &&
            RELEASES[i].minor == version->minor)
            return IsServer(version) ? RELEASES[i].server : RELEASES[i].workstation;
    return NULL;
}

// Windows 95 OSR2 says " B" or " C"; 98 Second Edition has its own build.
const char *Win9xEdition(const WindowsVersion *version)
{
    DWORD build = version->build & WIN9X_BUILD_MASK;
    char letter = version->servicePack[0] == ' ' ? version->servicePack[1] : version->servicePack[0];

    if (version->minor == 0 && (letter == 'B' || letter == 'C'))
        return " OSR2";
    if (version->minor == 10 && build >= FIRST_98_SECOND_EDITION_BUILD)
        return " Second Edition";
    return "";
}

void AppendVersionDetail(const WindowsVersion *version, char *name)
{
    char piece[WINDOWS_NAME_CAPACITY];

    memset(piece, 0, sizeof(piece));
    if (version->platformId == VER_PLATFORM_WIN32_WINDOWS) {
        BoundedAppend(name, WINDOWS_NAME_CAPACITY, Win9xEdition(version));
        return;
    }
    if (version->major >= 10)
        wsprintfA(piece, " (build %lu)", (unsigned long)version->build);
    else if (version->servicePack[0])
        wsprintfA(piece, " %.100s", version->servicePack);
    BoundedAppend(name, WINDOWS_NAME_CAPACITY, piece);
}

const char *Architecture(Wow64Branch branch)
{
    switch (branch) {
    case BRANCH_WOW64_X64: return ", 64-bit, x64";
    case BRANCH_WOW64_ARM64: return ", 64-bit, ARM64";
    default: return ", 32-bit";
    }
}

void CopyServicePack(const WCHAR *text, char *servicePack)
{
    for (size_t i = 0; i + 1 < SERVICE_PACK_CAPACITY && text[i]; ++i)
        servicePack[i] = text[i] < 0x80 ? (char)text[i] : '?';
}

bool ReadTrueVersion(WindowsVersion *version)
{
    OSVERSIONINFOEXW info;
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    RtlGetVersionProc getVersion = ntdll ? (RtlGetVersionProc)(void *)GetProcAddress(ntdll, "RtlGetVersion") : NULL;

    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!getVersion || getVersion(&info) != STATUS_SUCCESS_CODE)
        return false;
    version->platformId = info.dwPlatformId;
    version->major = info.dwMajorVersion;
    version->minor = info.dwMinorVersion;
    version->build = info.dwBuildNumber;
    version->productType = info.wProductType;
    version->suiteMask = info.wSuiteMask;
    CopyServicePack(info.szCSDVersion, version->servicePack);
    return true;
}

// GetVersionExA: the extended form from NT 4.0 SP6 on, the plain one
// before and on Windows 95/98/Me.
bool ReadReportedVersion(WindowsVersion *version)
{
    OSVERSIONINFOEXA info;

    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA((OSVERSIONINFOA *)&info)) {
        memset(&info, 0, sizeof(info));
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA((OSVERSIONINFOA *)&info))
            return false;
    }
    version->platformId = info.dwPlatformId;
    version->major = info.dwMajorVersion;
    version->minor = info.dwMinorVersion;
    version->build = info.dwBuildNumber;
    if (info.dwOSVersionInfoSize == sizeof(info)) {
        version->productType = info.wProductType;
        version->suiteMask = info.wSuiteMask;
    }
    BoundedCopy(version->servicePack, SERVICE_PACK_CAPACITY, info.szCSDVersion);
    return true;
}

// NT before 4.0 Service Pack 6: the product type the registry keeps.
BYTE ReadProductOptionsType(void)
{
    char text[PRODUCT_OPTIONS_CAPACITY];
    HKEY key = NULL;
    DWORD type = 0;
    DWORD size = sizeof(text) - 1;

    memset(text, 0, sizeof(text));
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_OPTIONS_KEY, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExA(key, PRODUCT_TYPE_VALUE, NULL, &type, (BYTE *)text, &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            memset(text, 0, sizeof(text));
        RegCloseKey(key);
    }
    return ProductTypeFromOptions(text);
}

// The product (Vista and later), asked for the true version, so that it
// is not mapped to an older Windows' products.
DWORD ReadProductInfo(const WindowsVersion *version)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    GetProductInfoProc productInfo =
        kernel ? (GetProductInfoProc)(void *)GetProcAddress(kernel, "GetProductInfo") : NULL;
    DWORD product = 0;

    if (!productInfo || version->major < FIRST_PRODUCT_INFO_MAJOR ||
        !productInfo(version->major, version->minor, 0, 0, &product))
        product = 0;
    return product;
}

} // namespace

BYTE ProductTypeFromOptions(const char *productOptions)
{
    for (size_t i = 0; i < sizeof(PRODUCT_OPTIONS) / sizeof(PRODUCT_OPTIONS[0]); ++i)
        if (lstrcmpiA(productOptions, PRODUCT_OPTIONS[i].text) == 0)
            return PRODUCT_OPTIONS[i].productType;
    return 0;
}

void NameWindows(const WindowsVersion *version, Wow64Branch branch, char *name)
{
    const char *release = ReleaseName(version);

    memset(name, 0, WINDOWS_NAME_CAPACITY);
    if (!release) {
        wsprintfA(name, "Windows %lu.%lu (build %lu)", (unsigned long)version->major, (unsigned long)version->minor,
                  (unsigned long)(version->build & WIN9X_BUILD_MASK));
    } else {
        BoundedCopy(name, WINDOWS_NAME_CAPACITY, release);
        AppendVersionDetail(version, name);
    }
    if (version->platformId == VER_PLATFORM_WIN32_NT)
        BoundedAppend(name, WINDOWS_NAME_CAPACITY, Architecture(branch));
}

bool ReadWindowsVersion(WindowsVersion *version)
{
    bool read = false;

    memset(version, 0, sizeof(*version));
    read = ReadTrueVersion(version) || ReadReportedVersion(version);
    if (read && version->platformId == VER_PLATFORM_WIN32_NT && version->productType == 0)
        version->productType = ReadProductOptionsType();
    if (read && version->platformId == VER_PLATFORM_WIN32_NT)
        version->productInfo = ReadProductInfo(version);
    if (read && IsNt52(version))
        version->serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
    return read;
}
