// Marks that planted code leaves when it runs: the newdev.dll double's
// load log (NEWDEV_DOUBLE_LOAD_LOG, see newdev_double.h) and the file that
// mark_probe.exe writes beside itself.
#pragma once

#include <string>
#include <vector>

// Load log for this process and the ones it starts; deletes the old file.
void SetNewdevLoadLog(const std::string &logPath);
void ClearNewdevLoadLog();
// The module path of every load logged so far, in order.
std::vector<std::string> LoadedNewdevModules(const std::string &logPath);
// How many of them are path (any letter case).
size_t LoadsOf(const std::vector<std::string> &modules, const std::string &path);

// Copies mark_probe.exe to path, removing an old mark.
bool PlantMarkProbe(const std::string &path);
// True when the probe planted at path has run.
bool MarkProbeRan(const std::string &path);
