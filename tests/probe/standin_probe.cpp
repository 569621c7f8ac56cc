// A 64-bit stand-in for the programs the deployment scripts and keycheck
// /wait deal with, its part chosen by its own file name:
//   DrvInst64.exe MS  the helper still installing: runs MS milliseconds.
//   keysetup.exe ...  appends its command line to the file STANDIN_LOG
//                     names and ends with 0.
//   keycheck.exe ...  with /q ends with STANDIN_CODE; otherwise prints a
//                     report ending in "verdict: STANDIN_CODE" and ends with
//                     STANDIN_REPORT_CODE where set (a report run that fails).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int Variable(const char *name, int otherwise)
{
    const char *value = getenv(name);
    return value && value[0] ? atoi(value) : otherwise;
}

} // namespace

int main(int argc, char **argv)
{
    char self[MAX_PATH] = {0};
    const char *commandLine = GetCommandLineA();

    GetModuleFileNameA(NULL, self, MAX_PATH);
    const char *name = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
    if (_stricmp(name, "DrvInst64.exe") == 0) {
        Sleep(argc > 1 ? (DWORD)atoi(argv[1]) : 0);
        return 0;
    }
    if (_stricmp(name, "keysetup.exe") == 0) {
        FILE *log = getenv("STANDIN_LOG") ? fopen(getenv("STANDIN_LOG"), "ab") : NULL;
        if (log) {
            fprintf(log, "%s\r\n", commandLine);
            fclose(log);
        }
        return 0;
    }
    int code = Variable("STANDIN_CODE", 9);
    if (strstr(commandLine, "/q"))
        return code;
    printf("keycheck: stand-in\nverdict: %d\n", code);
    return Variable("STANDIN_REPORT_CODE", code);
}
