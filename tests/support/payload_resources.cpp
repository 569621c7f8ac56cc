#include "payload_resources.h"

#include "branch_files.h"
#include "resource_ids.h"
#include "system_names.h"
#include "wine_test.h"

PayloadFile PAYLOAD_FILES[PAYLOAD_FILE_COUNT];

namespace {

// By TargetDir.
const char *const DEPLOY_DIRS[] = {"system", "drivers", "inf"};

PayloadFile Row(const char *type, WORD id, const char *nameWithBackslash, const char *dir)
{
    PayloadFile file = {type, id, nameWithBackslash + 1, dir};
    return file;
}

// Appends the branch's files at *next; false where a group does not start
// at its offset or the table overflows.
bool AddGroup(size_t offset, InstallBranch branch, size_t *next)
{
    bool fits = *next == offset;

    for (size_t i = 0; i < BRANCH_FILE_COUNT && fits; ++i) {
        const BranchFile &file = BRANCH_FILES[i];
        if (file.branch != branch)
            continue;
        fits = *next < PAYLOAD_FILE_COUNT;
        if (fits)
            PAYLOAD_FILES[(*next)++] = Row(file.type, file.id, file.name, DEPLOY_DIRS[file.dir]);
    }
    return fits;
}

bool FillPayloadTable()
{
    size_t next = 0;
    bool complete = AddGroup(NT32_PAYLOAD, BRANCH_NT32, &next) && next == UNINSTALLER_PAYLOAD;

    if (complete) {
        PAYLOAD_FILES[next++] = Row(TYPE_UNINSTALL, IDR_UNINSTALLER, UNINSTALLER_FILE_NAME, "system");
        PAYLOAD_FILES[next++] = Row(TYPE_UNINSTALL, IDR_UNINSTALLER_MANIFEST, UNINSTALLER_MANIFEST_NAME, "system");
    }
    complete = complete && AddGroup(WIN9X_PAYLOAD, BRANCH_WIN9X, &next) && AddGroup(WOW64_PAYLOAD, BRANCH_WOW64, &next) &&
               AddGroup(ARM64_PAYLOAD, BRANCH_ARM64, &next);
    return complete && next == PAYLOAD_FILE_COUNT;
}

const bool PAYLOAD_TABLE_COMPLETE = FillPayloadTable();

} // namespace

bool PayloadTableComplete()
{
    return PAYLOAD_TABLE_COMPLETE;
}


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
