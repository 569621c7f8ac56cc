// Reads the key's installed state on this machine, reports each finding
// and judges them. Changes nothing.
#pragma once

#include "report.h"

// The whole check: the report opens with its summary and ends with the
// next step and the verdict; withLog adds the setup log's sections that
// name the key. Returns the exit code (install_check.h).
int RunKeyCheck(const Report *report, bool withLog);
