// Resource IDs of keysetup.exe, shared by its code and its resource script.
#pragma once

#define IDI_KEYSETUP 119
