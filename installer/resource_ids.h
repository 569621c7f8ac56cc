// Resource IDs of keysetup.exe, shared by its code and its resource script.
#pragma once

#define IDI_KEYSETUP 119
// The application manifest Windows reads at start-up (its fixed ID).
#define IDR_APPLICATION_MANIFEST 1

// Payload resources (common/, beside the table of each branch's files).
#include "payload_ids.h"
