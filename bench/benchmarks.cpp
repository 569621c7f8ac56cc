// Cost of the uninstall's purge and device walk against the bare SetupAPI
// work they cannot avoid, of keycheck's whole report against that purge
// plus walk, and of a re-install against a fresh one, each pair measured
// in the same run. Prints Markdown table rows; bench/run.sh
// runs it in a private Wine prefix.
#include <windows.h>
#include <setupapi.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device_removal.h"
#include "inf_corpus.h"
#include "inf_purge.h"
#include "installed_state.h"
#include "system_names.h"
#include "test_devices.h"
#include "wine_test.h"

namespace {

const unsigned INF_COUNT = 2000;
const unsigned DEVICE_COUNT = 500;
const int REPEATS = 5;
const int INSTALL_REPEATS = 3;
const double PAUSE_SECONDS = 0.5;
const char DEVICE_NAME[] = "KSBENCHDEV";
const DWORD PROPERTY_CAPACITY = 4096;

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string OemName(const std::string &dir, unsigned number)
{
    char name[32];
    snprintf(name, sizeof(name), "\\oem%u.inf", number);
    return dir + name;
}

// What any purge must do: find each oem*.inf, open it with SetupAPI, read
// field 1 of its first [Manufacturer] line and close it.
unsigned BareInfPass(const std::string &infDir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((infDir + "\\oem*.inf").c_str(), &found);
    unsigned opened = 0;

    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        HINF inf = SetupOpenInfFileA((infDir + "\\" + found.cFileName).c_str(), NULL, INF_STYLE_WIN4, NULL);
        INFCONTEXT line;
        char field[256];
        DWORD required = 0;
        if (inf == INVALID_HANDLE_VALUE)
            continue;
        if (SetupFindFirstLineA(inf, "Manufacturer", NULL, &line) &&
            SetupGetStringFieldA(&line, 1, field, sizeof(field), &required))
            ++opened;
        SetupCloseInfFile(inf);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return opened;
}

// What any device walk must do: every device of every class, present or
// not, and one read of its hardware IDs.
unsigned BareDevicePass()
{
    HDEVINFO devices = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA device;
    BYTE buffer[PROPERTY_CAPACITY];
    unsigned count = 0;

    if (devices == INVALID_HANDLE_VALUE)
        return 0;
    ZeroMemory(&device, sizeof(device));
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        DWORD type = 0, size = 0;
        SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID, &type, buffer, sizeof(buffer), &size);
        ++count;
    }
    SetupDiDestroyDeviceInfoList(devices);
    return count;
}

void Row(const char *what, double measured, double reference, const char *referenceName)
{
    printf("| %s | %.3f s | %s: %.3f s | %.2f |\n", what, measured, referenceName, reference, measured / reference);
}

bool BenchmarkPurge()
{
    std::string scratch = MakeScratchDir("benchpurge");
    std::string windows = scratch + "\\windows";
    std::string inf = windows + "\\inf";
    std::vector<double> purge, bare;

    CreateDirectoryA(windows.c_str(), NULL);
    CreateDirectoryA(inf.c_str(), NULL);
    for (unsigned i = 0; i < INF_COUNT; ++i)
        if (!WriteBytes(OemName(inf, i + 1), NonMatchingDriverInf(i + 1)))
            return false;
    _putenv(("windir=" + windows).c_str());
    // One untimed pass of each warms the file cache.
    PurgeOemInfs(DEVICE_HARDWARE_ID);
    if (BareInfPass(inf) != INF_COUNT)
        return false;
    for (int r = 0; r < REPEATS; ++r) {
        double start = Seconds();
        int result = PurgeOemInfs(DEVICE_HARDWARE_ID);
        purge.push_back(Seconds() - start);
        start = Seconds();
        unsigned opened = BareInfPass(inf);
        bare.push_back(Seconds() - start);
        if (result != 0 || opened != INF_COUNT)
            return false;
    }
    Row("purge over 2,000 non-matching oem*.inf", Median(purge), Median(bare), "open, first [Manufacturer] line, close");
    RemoveTree(scratch);
    return true;
}

// DEVICE_COUNT root devices, none with the key's hardware ID.
bool CreateBenchDevices()
{
    RemoveTestDevices(DEVICE_NAME);
    for (unsigned i = 0; i < DEVICE_COUNT; ++i) {
        char id[64];
        snprintf(id, sizeof(id), "USB\\VID_0BAD&PID_%04X", i);
        if (CreateTestDevice(DEVICE_NAME, MultiSz({id, "USB\\VID_0BAD"})).empty())
            return false;
    }
    return true;
}

bool BenchmarkDeviceWalk()
{
    std::vector<double> walk, bare;
    unsigned seen = 0;

    if (!CreateBenchDevices())
        return false;
    RemoveDevicesByHardwareId(DEVICE_HARDWARE_ID);
    BareDevicePass();
    for (int r = 0; r < REPEATS; ++r) {
        double start = Seconds();
        int result = RemoveDevicesByHardwareId(DEVICE_HARDWARE_ID);
        walk.push_back(Seconds() - start);
        start = Seconds();
        seen = BareDevicePass();
        bare.push_back(Seconds() - start);
        if (result != 0 || seen < DEVICE_COUNT)
            return false;
    }
    char what[96];
    snprintf(what, sizeof(what), "device removal walk, %u test devices (%u in all)", DEVICE_COUNT, seen);
    Row(what, Median(walk), Median(bare), "enumeration, one property read each");
    return RemoveTestDevices(DEVICE_NAME) == (int)DEVICE_COUNT;
}

// keycheck.exe with its report, written to a file as a script would.
double TimeKeycheck(const std::string &reportPath)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE report = CreateFileA(reportPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    std::string line = "\"" + BinPath("keycheck.exe") + "\"";
    double start = Seconds(), elapsed = -1;

    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = report;
    if (CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            elapsed = Seconds() - start;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(report);
    return elapsed;
}

// keycheck reads the system's own INF directory: the 2,000 INFs go there,
// and the uninstall's purge and walk are pointed at it too.
bool BenchmarkKeycheck()
{
    std::string inf = WindowsDir() + "\\inf";
    std::string scratch = MakeScratchDir("benchkeycheck");
    std::vector<double> check, uninstall;
    const unsigned FIRST = 5000;
    bool ok = CreateBenchDevices();

    for (unsigned i = 0; ok && i < INF_COUNT; ++i)
        ok = WriteBytes(OemName(inf, FIRST + i), NonMatchingDriverInf(i + 1));
    _putenv(("windir=" + WindowsDir()).c_str());
    ok = ok && TimeKeycheck(scratch + "\\warm.txt") >= 0;
    for (int r = 0; ok && r < REPEATS; ++r) {
        double elapsed = TimeKeycheck(scratch + "\\report" + std::to_string(r) + ".txt");
        check.push_back(elapsed);
        double start = Seconds();
        int purged = PurgeOemInfs(DEVICE_HARDWARE_ID);
        int walked = RemoveDevicesByHardwareId(DEVICE_HARDWARE_ID);
        uninstall.push_back(Seconds() - start);
        ok = elapsed >= 0 && purged == 0 && walked == 0;
    }
    if (ok)
        Row("keycheck.exe report, 2,000 oem*.inf and 500 test devices", Median(check), Median(uninstall),
            "the uninstall's purge plus device walk");
    for (unsigned i = 0; i < INF_COUNT; ++i)
        DeleteFileA(OemName(inf, FIRST + i).c_str());
    RemoveTree(scratch);
    return RemoveTestDevices(DEVICE_NAME) == (int)DEVICE_COUNT && ok;
}

double TimeKeysetup()
{
    double start = Seconds();
    DWORD code = RunProgram("\"" + BinPath("keysetup.exe") + "\"");
    return code == 0 ? Seconds() - start : -1;
}

bool BenchmarkReinstall()
{
    std::vector<double> fresh, again;

    DeleteNt32Install();
    TimeKeysetup();
    for (int r = 0; r < INSTALL_REPEATS; ++r) {
        DeleteNt32Install();
        fresh.push_back(TimeKeysetup());
        again.push_back(TimeKeysetup());
        if (fresh.back() < 0 || again.back() < 0)
            return false;
    }
    DeleteNt32Install();
    double expected = Median(fresh) + NT32_INSTALLED_COUNT * PAUSE_SECONDS;
    printf("| re-install over an installed system (%u files present) | %.3f s | fresh install %.3f s + %u x 0.5 s: %.3f s | %.2f |\n",
           (unsigned)NT32_INSTALLED_COUNT, Median(again), Median(fresh), (unsigned)NT32_INSTALLED_COUNT, expected,
           Median(again) / expected);
    return true;
}

} // namespace

int main()
{
    printf("| measured | time (median of %d) | reference, same run | ratio |\n|---|---|---|---|\n", REPEATS);
    fflush(stdout);
    bool ok = BenchmarkPurge();
    fflush(stdout);
    ok = BenchmarkDeviceWalk() && ok;
    fflush(stdout);
    ok = BenchmarkKeycheck() && ok;
    fflush(stdout);
    ok = BenchmarkReinstall() && ok;
    if (!ok)
        fprintf(stderr, "a benchmark could not run as set up\n");
    return ok ? 0 : 1;
}
