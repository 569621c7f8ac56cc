// Does an INF file's first manufacturer declare a hardware ID?
#pragma once

// Returns 1 when a model line of the models section named by the first line
// of [Manufacturer] (undecorated, or with any of that line's decorations)
// has hardwareId as its first hardware ID (field 2, any letter case);
// 0 otherwise and on every failure. Reads the file only.
int InfDeclaresHardwareId(const char *infPath, const char *hardwareId);
