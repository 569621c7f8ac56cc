#include "payload_resources.h"

#include "wine_test.h"

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
