// Resource IDs of QV_DRVUNI.exe.
#pragma once

#define IDI_QV_DRVUNI 118
