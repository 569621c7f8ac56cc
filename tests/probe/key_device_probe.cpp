// Stands for the key being plugged in or pulled out: "plug" creates a
// root-enumerated device ROOT\KSTRYKEY\nnnn with the key's hardware ID and
// prints its instance ID, "unplug" removes every such device.
#include <stdio.h>
#include <string.h>

#include "system_names.h"
#include "test_devices.h"

int main(int argc, char **argv)
{
    const char DEVICE_NAME[] = "KSTRYKEY";

    if (argc == 2 && strcmp(argv[1], "plug") == 0) {
        std::string instanceId = CreateTestDevice(DEVICE_NAME, MultiSz({DEVICE_HARDWARE_ID}));
        printf("%s\n", instanceId.empty() ? "no device created" : instanceId.c_str());
        return instanceId.empty() ? 1 : 0;
    }
    if (argc == 2 && strcmp(argv[1], "unplug") == 0) {
        printf("%d removed\n", RemoveTestDevices(DEVICE_NAME));
        return 0;
    }
    fprintf(stderr, "usage: key_device_probe plug|unplug\n");
    return 2;
}
