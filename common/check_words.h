// keycheck's words for support staff: what a device problem code means
// as Device Manager says it, and for each verdict and its cause the
// report's opening line and its next step. Pure tables.
#pragma once

#include <windows.h>

#include "install_check.h"

// Why a verdict was given, where the next step depends on it.
enum CheckCause {
    CAUSE_ANY,
    CAUSE_KEY_USES_DRIVER,  // 0: a plugged key uses the driver
    CAUSE_FILES_MISSING,    // 2: files of the install are missing
    CAUSE_NO_DRIVER_YET,    // 3: a plugged key has no driver yet
    CAUSE_SIGNATURE,        // 7: signature not verified, blocked, not loaded
    CAUSE_DRIVER_FAILED,    // 7: the driver failed to start
    CAUSE_DEVICE_FAILED,    // 7: the device cannot start
    CAUSE_DISABLED,         // 7: the device is disabled
    CAUSE_DEVICE_STOPPED,   // 7: the device reported problems, or waits to be unplugged
    CAUSE_KEPT_BY_STORE     // 4: Windows keeps stored packages until a restart
};

// The cause of code as the findings show it.
CheckCause CauseOfVerdict(int code, const InstallFindings *findings);

// The report's opening line, in plain words.
const char *SummaryWords(int code, CheckCause cause);
// What to do next.
const char *NextStepWords(int code, CheckCause cause);

// Device Manager's meaning of a CM_PROB_ code; NULL for a code it does not
// define.
const char *ProblemWords(ULONG problem);
