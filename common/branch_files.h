// Each install branch's files: where the install writes them, from which
// payload resource, in the order it writes them. The install plan writes
// them; keycheck checks the same files.
#pragma once

#include <windows.h>

#include "platform.h"

// A new branch is a value here, its choice in ChooseInstallBranch, its name
// in BranchName and its rows in BRANCH_FILES. BRANCH_WOW64 is 64-bit x64
// Windows, BRANCH_ARM64 64-bit ARM64 Windows (both run the 32-bit programs
// through WOW64).
enum InstallBranch { BRANCH_WIN9X, BRANCH_NT32, BRANCH_WOW64, BRANCH_ARM64 };

// The system directory the branch installs into, and on Windows 98/Me the
// Windows directory's system32\drivers and inf.
enum TargetDir { IN_SYSTEM, IN_DRIVERS, IN_INF };

// Which written file an activation later needs.
enum Keep { KEEP_NONE, KEEP_FIRST, KEEP_SECOND };

struct BranchFile {
    InstallBranch branch;
    TargetDir dir;
    const char *name; // deployed name, backslash first
    const char *type; // payload resource type
    WORD id;          // payload resource ID
    Keep keep;
};

extern const BranchFile BRANCH_FILES[];
extern const size_t BRANCH_FILE_COUNT;

// WOW64 first (a 64-bit Windows may report any version), by the native
// machine (GetWow64Branch), then Windows 98/Me; every other Windows takes
// the 32-bit NT branch.
InstallBranch ChooseInstallBranch(Wow64Branch wow64Branch, bool win9x);

// The branch's name in keycheck's report ("Win9x", "Nt32", "Wow64", "Arm64").
const char *BranchName(InstallBranch branch);
