// keycheck's judgement and its SHA-256, in process.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "branch_files.h"
#include "check_words.h"
#include "footprint_table.h"
#include "install_check.h"
#include "payload_resources.h"
#include "platform.h"
#include "sha256.h"
#include "system_names.h"
#include "wine_test.h"

namespace {

std::string HexDigest(const std::string &message, size_t piece)
{
    Sha256State state;
    BYTE digest[SHA256_DIGEST_SIZE];
    char hex[2 * SHA256_DIGEST_SIZE + 1] = {0};

    Sha256Begin(&state);
    for (size_t i = 0; i < message.size(); i += piece)
        Sha256Add(&state, message.data() + i, std::min(piece, message.size() - i));
    Sha256End(&state, digest);
    for (size_t i = 0; i < SHA256_DIGEST_SIZE; ++i)
        sprintf(hex + 2 * i, "%02x", digest[i]);
    return hex;
}

// An install on Windows 2000 or later (7 files ok, entry, manifest, a
// stored copy of this build's INF) or what an uninstall leaves (the
// manifest gone, no entry, nothing stored), changed by one finding.
int Judge(bool installed, void (*change)(InstallFindings *))
{
    InstallFindings f;
    memset(&f, 0, sizeof(f));
    f.filesOk = installed ? 7 : 6;
    f.filesMissing = installed ? 0 : 1;
    f.manifestPresent = installed;
    f.entry = installed ? ENTRY_OK : ENTRY_ABSENT;
    f.storeExpected = f.infStoreRead = true;
    f.oemInfsDeclaring = f.oemInfsThisBuild = installed ? 1 : 0;
    if (change)
        change(&f);
    return JudgeInstallState(&f);
}

// Where the install writes a file of the branch table, as the footprint
// writes it.
std::string FootprintPath(const BranchFile &file)
{
    const char *dir = file.dir == IN_DRIVERS ? "%Windows%\\system32\\drivers"
                      : file.dir == IN_INF   ? "%Windows%\\inf"
                                             : "%System%";
    return dir + std::string(file.name);
}

} // namespace

// docs/footprint.md states each branch's files, row for row, as the table
// the install writes them from: checked here too, where no 32-bit program
// runs, and not only by the end-to-end entries.
TEST(BranchFiles, FootprintStatesEachBranchsFiles)
{
    const InstallBranch branches[] = {BRANCH_WIN9X, BRANCH_NT32, BRANCH_WOW64, BRANCH_ARM64};
    std::vector<FootprintRow> rows;
    std::string reason;

    ASSERT_TRUE(ReadFootprintTable(WindowsPath(KEYSETUP_FOOTPRINT_DOC), &rows, &reason)) << reason;
    for (InstallBranch branch : branches) {
        std::vector<std::string> table, document;
        for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i)
            if (BRANCH_FILES[i].branch == branch)
                table.push_back(FootprintPath(BRANCH_FILES[i]) + " " + BRANCH_FILES[i].type + " " +
                                std::to_string(BRANCH_FILES[i].id));
        for (const FootprintRow &row : RowsOf(rows, BranchName(branch), "install"))
            if (row.object == "file" && row.change == "written" && row.branches[0] != "all")
                document.push_back(row.path + " " + row.content);
        EXPECT_EQ(table, document) << BranchName(branch);
    }
    // The 32-bit tests' table of every payload file is made from it too.
    EXPECT_TRUE(PayloadTableComplete());
}

// FIPS 180-4 examples: empty, one block, the padding spilling into a second
// block (56 bytes), and a million bytes added in odd pieces.
// The branch keycheck judges is the one the install takes. ARM64 Windows
// gets the x64 branch's files under the same names, from its own package,
// with its own helper kept for the launch.
TEST(BranchFiles, Arm64BranchMirrorsTheX64OneFromItsOwnPackage)
{
    std::vector<std::string> x64, arm64;

    EXPECT_EQ(BRANCH_ARM64, ChooseInstallBranch(BRANCH_WOW64_ARM64, false));
    EXPECT_EQ(BRANCH_WOW64, ChooseInstallBranch(BRANCH_WOW64_X64, true));
    EXPECT_EQ(BRANCH_WIN9X, ChooseInstallBranch(BRANCH_NOT_WOW64, true));
    EXPECT_EQ(BRANCH_NT32, ChooseInstallBranch(BRANCH_NOT_WOW64, false));
    EXPECT_STREQ("Arm64", BranchName(BRANCH_ARM64));
    for (size_t i = 0; i < BRANCH_FILE_COUNT; ++i) {
        const BranchFile &file = BRANCH_FILES[i];
        bool helper = file.keep == KEEP_FIRST;
        if (file.branch == BRANCH_WOW64)
            x64.push_back(helper ? std::string("(helper)") : std::string(file.name));
        if (file.branch == BRANCH_ARM64) {
            EXPECT_STREQ(TYPE_ARM64, file.type) << file.name;
            EXPECT_EQ(IN_SYSTEM, file.dir) << file.name;
            arm64.push_back(helper ? std::string("(helper)") : std::string(file.name));
            if (helper) {
                EXPECT_STREQ(ARM64_HELPER_FILE_NAME, file.name);
            }
        }
    }
    EXPECT_EQ(x64, arm64);
}

TEST(KeycheckSha256, KnownDigests)
{
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", HexDigest("", 1));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", HexDigest("abc", 1));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              HexDigest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 5));
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
              HexDigest(std::string(1000000, 'a'), 997));
}

// Each code from its state; what could not be read is never taken for
// "installed" or "not installed".
TEST(KeycheckJudgement, EachStateGivesItsCode)
{
    EXPECT_EQ(CHECK_INSTALLED, Judge(true, NULL));
    EXPECT_EQ(CHECK_DEVICE_WITHOUT_DRIVER, Judge(true, [](InstallFindings *f) { f->devicesWithoutKeysDriver = 1; }));
    EXPECT_EQ(CHECK_PARTLY_INSTALLED, Judge(true, [](InstallFindings *f) {
                  f->devicesWithoutKeysDriver = 1; // a wrong file is worse news than the device
                  f->filesOtherBytes = 1;
              }));
    EXPECT_EQ(CHECK_PARTLY_INSTALLED, Judge(true, [](InstallFindings *f) { f->entry = ENTRY_OTHER_VALUES; }));
    EXPECT_EQ(CHECK_PARTLY_INSTALLED, Judge(true, [](InstallFindings *f) { f->manifestPresent = false; }));
    EXPECT_EQ(CHECK_NOT_INSTALLED, Judge(false, NULL));
    EXPECT_EQ(CHECK_LEFTOVERS, Judge(false, [](InstallFindings *f) { f->oemInfsDeclaring = 1; }));
    EXPECT_EQ(CHECK_LEFTOVERS, Judge(false, [](InstallFindings *f) {
                  f->deviceInstances = 1;
                  f->cannotRead = true; // what was seen is enough
              }));
    EXPECT_EQ(CHECK_LEFTOVERS, Judge(false, [](InstallFindings *f) { f->deviceInstances = 1; }));

    EXPECT_EQ(CHECK_CANNOT_CHECK, Judge(true, [](InstallFindings *f) { f->filesNotCompared = 1; }));
    EXPECT_EQ(CHECK_CANNOT_CHECK, Judge(true, [](InstallFindings *f) { f->cannotRead = true; }));
    EXPECT_EQ(CHECK_CANNOT_CHECK, Judge(true, [](InstallFindings *f) { f->entry = ENTRY_UNREADABLE; }));
    EXPECT_EQ(CHECK_CANNOT_CHECK, Judge(false, [](InstallFindings *f) { f->cannotRead = true; }));
    // An unreadable presence or driver key never hides a device seen without the driver.
    EXPECT_EQ(CHECK_DEVICE_WITHOUT_DRIVER, Judge(true, [](InstallFindings *f) {
                  f->devicesWithoutKeysDriver = 1;
                  f->cannotRead = true;
              }));
}

// Installed means stored: a copy of this build's INF, where Windows keeps
// copies; another version's copy is not the key's.
TEST(KeycheckJudgement, InstalledMeansStored)
{
    EXPECT_EQ(CHECK_PARTLY_INSTALLED, Judge(true, [](InstallFindings *f) { f->oemInfsThisBuild = 0; }));
    EXPECT_EQ(CHECK_PARTLY_INSTALLED, Judge(true, [](InstallFindings *f) {
                  f->oemInfsDeclaring = 0;
                  f->oemInfsThisBuild = 0;
              }));
    EXPECT_EQ(CHECK_INSTALLED, Judge(true, [](InstallFindings *f) {
                  f->storeExpected = false; // Windows 98/Me, NT 4
                  f->oemInfsDeclaring = f->oemInfsThisBuild = 0;
              }));
    EXPECT_EQ(CHECK_CANNOT_CHECK, Judge(true, [](InstallFindings *f) {
                  f->infStoreRead = false;
                  f->cannotRead = true;
                  f->oemInfsDeclaring = f->oemInfsThisBuild = 0;
              }));
    EXPECT_TRUE(StoresInfCopies(PLATFORM_WIN2000, false));
    EXPECT_TRUE(StoresInfCopies(PLATFORM_OTHER, false));
    EXPECT_TRUE(StoresInfCopies(PLATFORM_WIN98, true));
    EXPECT_FALSE(StoresInfCopies(PLATFORM_WINME, false));
    EXPECT_FALSE(StoresInfCopies(PLATFORM_NT4, false));

    BYTE digest[SHA256_DIGEST_SIZE] = {1, 2, 3};
    BYTE other[SHA256_DIGEST_SIZE] = {1, 2, 4};
    EXPECT_EQ(INF_THIS_BUILD, JudgeInf(true, digest, digest));
    EXPECT_EQ(INF_OTHER_VERSION, JudgeInf(true, other, digest));
    EXPECT_EQ(INF_OTHER_VERSION, JudgeInf(true, digest, NULL));
    EXPECT_EQ(INF_UNRELATED, JudgeInf(false, digest, digest));
}

// A device Windows holds for a restart or for its removal: 5, in place of
// 3 or 4, read like 3010.
TEST(KeycheckJudgement, RestartPending)
{
    EXPECT_EQ(CHECK_RESTART_NEEDED, Judge(true, [](InstallFindings *f) {
                  f->devicesAwaitingRestart = 1;
                  f->devicesWithoutKeysDriver = 1;
              }));
    EXPECT_EQ(CHECK_RESTART_NEEDED, Judge(false, [](InstallFindings *f) {
                  f->deviceInstances = 1;
                  f->devicesAwaitingRestart = 1;
              }));
    EXPECT_EQ(CHECK_PARTLY_INSTALLED, Judge(true, [](InstallFindings *f) {
                  f->devicesAwaitingRestart = 1;
                  f->filesMissing = 1;
              }));
    EXPECT_STREQ("restart needed", VerdictWords(CHECK_RESTART_NEEDED));

    const ULONG HAS_PROBLEM = 0x400;
    EXPECT_TRUE(AwaitsRestart(0x100, 0));     // DN_NEED_RESTART
    EXPECT_TRUE(AwaitsRestart(0x40000, 0));   // DN_WILL_BE_REMOVED
    EXPECT_TRUE(AwaitsRestart(HAS_PROBLEM, 14)); // CM_PROB_NEED_RESTART
    EXPECT_TRUE(AwaitsRestart(HAS_PROBLEM, 21)); // CM_PROB_WILL_BE_REMOVED
    EXPECT_FALSE(AwaitsRestart(0, 14));       // no problem flagged
    EXPECT_FALSE(AwaitsRestart(HAS_PROBLEM, 28));
    EXPECT_EQ(DRIVER_RESTART_PENDING, JudgeDriver(true, "oem12.inf", INF_THIS_BUILD, HAS_PROBLEM, 21));
}

// Stored INF names in any letter case, compared by ASCII alone: no locale
// that Windows before XP lacks.
TEST(KeycheckJudgement, NamesInMixedCase)
{
    EXPECT_TRUE(IsOemInfName("OeM12.iNf"));
    EXPECT_TRUE(IsOemInfName("OEM7.INF"));
    EXPECT_TRUE(IsKeyInfName("zIvIrIz.InF"));
    EXPECT_FALSE(IsOemInfName("oem1.inf.bak"));
    EXPECT_FALSE(IsOemInfName("oe.inf"));
    EXPECT_FALSE(IsKeyInfName("ZIVIRIZ.in"));
    EXPECT_TRUE(EqualsIgnoringAsciiCase("VID_fe17", "vid_FE17", 8));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC9", "\xE9", 1)); // no letter beyond ASCII is folded
    EXPECT_FALSE(EqualsIgnoringAsciiCase("[", "{", 1));
}

TEST(KeycheckJudgement, FilesAndDrivers)
{
    BYTE digest[SHA256_DIGEST_SIZE] = {1, 2, 3};
    BYTE other[SHA256_DIGEST_SIZE] = {1, 2, 4};
    EXPECT_EQ(FILE_OK, JudgeFile(true, true, 10, digest, 10, digest));
    EXPECT_EQ(FILE_OTHER_BYTES, JudgeFile(true, true, 10, other, 10, digest));
    EXPECT_EQ(FILE_OTHER_BYTES, JudgeFile(true, false, 11, NULL, 10, digest));
    EXPECT_EQ(FILE_MISSING, JudgeFile(false, false, 0, NULL, 10, digest));
    EXPECT_EQ(FILE_NOT_COMPARED, JudgeFile(true, false, 10, NULL, 10, digest));
    EXPECT_EQ(FILE_NOT_COMPARED, JudgeFile(true, true, 10, digest, 0, NULL));

    EXPECT_EQ(DRIVER_KEYS, JudgeDriver(true, "OEM12.INF", INF_THIS_BUILD, 0, 0));
    EXPECT_EQ(DRIVER_KEYS, JudgeDriver(true, "ziviriz.inf", INF_THIS_BUILD, 0, 0));
    EXPECT_EQ(DRIVER_OTHER_VERSION, JudgeDriver(true, "oem12.inf", INF_OTHER_VERSION, 0, 0));
    EXPECT_EQ(DRIVER_OTHER_INF, JudgeDriver(true, "oem12.inf", INF_UNRELATED, 0, 0));
    EXPECT_EQ(DRIVER_OTHER_INF, JudgeDriver(true, "usb.inf", INF_THIS_BUILD, 0, 0));
    EXPECT_EQ(DRIVER_OTHER_INF, JudgeDriver(true, "oem1.inf.bak", INF_THIS_BUILD, 0, 0));
    EXPECT_EQ(DRIVER_NONE, JudgeDriver(false, NULL, INF_UNRELATED, 0, 0));
    EXPECT_EQ(DRIVER_PROBLEM, JudgeDriver(true, "usb.inf", INF_THIS_BUILD, 0x400, 28));
    EXPECT_EQ(DRIVER_KEYS, JudgeDriver(true, "oem12.inf", INF_THIS_BUILD, 0, 28)); // no problem flagged
    EXPECT_EQ(DRIVER_NOT_RECORDED, JudgeDriver(true, "", INF_UNRELATED, 0, 0));
}

// Files of another build under an INF of another DriverVer: 6, an upgrade,
// or 11 when it ranks above this build's; the same bytes under this
// build's DriverVer: damaged, 2. The key's driver with a problem: 7, below
// a pending restart; 14, 21, 38 wait for one; 24 and 45 are no device
// plugged in.
TEST(KeycheckJudgement, AnotherVersionAndRefusedDriver)
{
    EXPECT_EQ(CHECK_OTHER_VERSION, Judge(true, [](InstallFindings *f) {
                  f->filesOtherBytes = 5;
                  f->oemInfsThisBuild = 0;
                  f->otherVersionInstalled = true;
              }));
    EXPECT_EQ(CHECK_PARTLY_INSTALLED, Judge(true, [](InstallFindings *f) { f->filesOtherBytes = 1; }));
    EXPECT_EQ(CHECK_PARTLY_INSTALLED, Judge(true, [](InstallFindings *f) {
                  f->filesOtherBytes = f->filesMissing = 1;
                  f->otherVersionInstalled = true;
              }));

    const ULONG HAS_PROBLEM = 0x400;
    EXPECT_EQ(DRIVER_REFUSED, JudgeDriver(true, "oem12.inf", INF_THIS_BUILD, HAS_PROBLEM, 52));
    EXPECT_EQ(DRIVER_REFUSED, JudgeDriver(true, "oem12.inf", INF_OTHER_VERSION, HAS_PROBLEM, 39));
    EXPECT_EQ(DRIVER_PROBLEM, JudgeDriver(true, "usb.inf", INF_UNRELATED, HAS_PROBLEM, 52));
    // The key's driver: every problem is 7 but a restart's and an unplugged key's.
    for (ULONG problem : {28, 32, 43, 19})
        EXPECT_EQ(DRIVER_REFUSED, JudgeDriver(true, "oem12.inf", INF_THIS_BUILD, HAS_PROBLEM, problem)) << problem;
    for (ULONG problem : {14, 21, 38})
        EXPECT_EQ(DRIVER_RESTART_PENDING, JudgeDriver(true, "oem12.inf", INF_THIS_BUILD, HAS_PROBLEM, problem));
    EXPECT_EQ(DRIVER_RESTART_PENDING, JudgeDriver(true, "oem12.inf", INF_THIS_BUILD, 0x100, 0));
    EXPECT_EQ(DRIVER_PROBLEM, JudgeDriver(true, "oem12.inf", INF_THIS_BUILD, HAS_PROBLEM, 24));
    EXPECT_EQ(DRIVER_PROBLEM, JudgeDriver(true, "oem12.inf", INF_THIS_BUILD, HAS_PROBLEM, 45));
    EXPECT_EQ(CHECK_NEWER_VERSION, Judge(true, [](InstallFindings *f) {
                  f->filesOtherBytes = 2;
                  f->otherVersionInstalled = f->newerVersionInstalled = true;
              }));
    EXPECT_TRUE(ProblemMeansNotPresent(HAS_PROBLEM, 45));
    EXPECT_FALSE(ProblemMeansNotPresent(0, 24));
    EXPECT_EQ(CHECK_DRIVER_REFUSED, Judge(true, [](InstallFindings *f) {
                  f->devicesRefused = 1;
                  f->devicesWithoutKeysDriver = 1;
              }));
    EXPECT_EQ(CHECK_RESTART_NEEDED, Judge(true, [](InstallFindings *f) {
                  f->devicesRefused = f->devicesAwaitingRestart = 1;
              }));

    // Device Manager's words for every code it defines; the next step by cause.
    EXPECT_STREQ("Windows cannot verify the digital signature for the drivers required for this device.",
                 ProblemWords(52));
    EXPECT_STREQ("This device could not be assigned to a virtual machine.", ProblemWords(57));
    EXPECT_EQ(nullptr, ProblemWords(58));
    InstallFindings f;
    memset(&f, 0, sizeof(f));
    f.refusedProblem = 39;
    EXPECT_EQ(0, strncmp("ask the vendor for a driver signed", NextStepWords(7, CauseOfVerdict(7, &f)), 34));
    f.refusedProblem = 10;
    EXPECT_NE(nullptr, strstr(NextStepWords(7, CauseOfVerdict(7, &f)), "another USB port"));
    f.refusedProblem = 43;
    EXPECT_NE(nullptr, strstr(NextStepWords(7, CauseOfVerdict(7, &f)), "another USB port of the computer directly; "
                                                                        "if keycheck still says 7, restart Windows"));
    // A stored copy Windows keeps goes with the uninstall run again after a
    // restart; elsewhere the leftovers go with the installer and uninstall.
    f.oemInfsDeclaring = 1;
    f.storeKeepsCopies = true;
    EXPECT_EQ(0, strncmp("restart Windows, then run the uninstall again", NextStepWords(4, CauseOfVerdict(4, &f)), 45));
    f.storeKeepsCopies = false;
    EXPECT_EQ(0, strncmp("run the installer", NextStepWords(4, CauseOfVerdict(4, &f)), 17));
}
