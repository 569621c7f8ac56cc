// The driver half of the uninstall: stored INF copies, then devices. The
// 32-bit uninstall runs it itself; on 64-bit Windows DrvInst64 runs it.
#pragma once

// Purges the stale INF copies and, only when that ran through, removes the
// devices: the purge's result when not 0, else the removal's.
int PurgeDriverAndDevices(const char *hardwareId);
