// Reads the key's installed state on this machine, reports each finding
// and judges them. Changes nothing.
#pragma once

#include "report.h"

// The whole check; returns the exit code (install_check.h).
int RunKeyCheck(const Report *report);
