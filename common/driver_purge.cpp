#include "driver_purge.h"

#include "device_removal.h"
#include "inf_purge.h"

int PurgeDriverAndDevices(const char *hardwareId)
{
    int result = PurgeOemInfs(hardwareId);

    // Without a complete purge the devices stay, so that Windows does not
    // reinstall them from an INF copy left behind.
    if (result != 0)
        return result;
    return RemoveDevicesByHardwareId(hardwareId);
}
