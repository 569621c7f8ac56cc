#include "driver_purge.h"

#include "device_removal.h"
#include "inf_purge.h"

int PurgeDriverAndDevices(const char *hardwareId)
{
    int copiesKept = 0;
    int result = PurgeOemInfsKeepingRefused(hardwareId, &copiesKept);

    // Without a complete purge the devices stay, so that Windows does not
    // reinstall them from an INF copy left behind.
    if (result != 0)
        return result;
    result = RemoveDevicesByHardwareId(hardwareId);
    // Windows keeps a package while a device uses it (and on ARM64 ignores
    // the forced removal): what it refused is offered once more now; what
    // it refuses then stays, for removal by name.
    if (copiesKept > 0)
        PurgeOemInfsKeepingRefused(hardwareId, &copiesKept);
    return result;
}
