#include "check_words.h"

namespace {

const ULONG PROBLEM_SIGNATURE = 52;
const ULONG PROBLEM_NOT_LOADED = 39;
const ULONG PROBLEM_BLOCKED = 48;
const ULONG PROBLEM_FAILED_START = 10;
const ULONG PROBLEM_DISABLED = 22;
const ULONG PROBLEM_FAILED_POST_START = 43;
const ULONG PROBLEM_HELD_FOR_EJECT = 47;

struct StepRow {
    int code;
    CheckCause cause; // CAUSE_ANY: every cause not matched by an earlier row
    const char *summary;
    const char *nextStep;
};

const char REFUSED[] = "The key's driver is installed, but Windows does not let it work.";

const StepRow STEPS[] = {
    {CHECK_INSTALLED, CAUSE_KEY_USES_DRIVER, "The key's driver is installed and the plugged key uses it.",
     "none, the key is ready to use."},
    {CHECK_INSTALLED, CAUSE_ANY, "The key's driver is installed; no key is plugged in.",
     "none; plug the key in to use it."},
    {CHECK_NOT_INSTALLED, CAUSE_ANY, "The key's driver is not installed.", "run the installer (keysetup.exe)."},
    {CHECK_PARTLY_INSTALLED, CAUSE_FILES_MISSING, "The key's driver is only partly installed: files are missing.",
     "run the installer (keysetup.exe)."},
    {CHECK_PARTLY_INSTALLED, CAUSE_ANY,
     "The key's driver is only partly installed: files are damaged, or Windows did not store the driver package.",
     "run the installer (keysetup.exe) again."},
    {CHECK_DEVICE_WITHOUT_DRIVER, CAUSE_NO_DRIVER_YET, "The key's driver is installed, but the plugged key has no "
                                                       "driver yet.",
     "plug the key into a USB port of the computer directly (no hub or dock) and wait until Windows has finished "
     "setting it up, then run keycheck again."},
    {CHECK_DEVICE_WITHOUT_DRIVER, CAUSE_ANY,
     "The key's driver is installed, but the plugged key uses another driver or has a problem.",
     "unplug the key, run the installer (keysetup.exe) again, then plug the key into a USB port of the computer "
     "directly."},
    {CHECK_LEFTOVERS, CAUSE_KEPT_BY_STORE,
     "The key's driver is uninstalled, but Windows keeps its driver package until the uninstall runs again after "
     "a restart.",
     "restart Windows, then run the uninstall again (keysetup.exe uninstall, or the deployment's uninstall)."},
    {CHECK_LEFTOVERS, CAUSE_ANY, "The key's driver is not installed, but an earlier install left parts of it behind.",
     "run the installer (keysetup.exe) again; to remove the key's driver instead, uninstall it afterwards from Apps "
     "(Programs and Features on older Windows)."},
    {CHECK_RESTART_NEEDED, CAUSE_ANY, "Windows must restart to finish installing or removing the key's driver.",
     "restart Windows, then run keycheck again."},
    {CHECK_OTHER_VERSION, CAUSE_ANY,
     "An older version of the key's driver, or one whose version cannot be compared, is installed.",
     "run the new version's installer (keysetup.exe)."},
    {CHECK_NEWER_VERSION, CAUSE_ANY, "A newer version of the key's driver than this keycheck's is installed.",
     "none; installing this version would replace the newer driver with an older one."},
    {CHECK_DRIVER_REFUSED, CAUSE_SIGNATURE, REFUSED,
     "ask the vendor for a driver signed for this Windows; turn off memory integrity (Windows Security, Device "
     "security, Core isolation) only if your organisation allows it."},
    {CHECK_DRIVER_REFUSED, CAUSE_DEVICE_FAILED, REFUSED,
     "plug the key into another USB port of the computer directly; if it still fails, try another key: the "
     "hardware can cause this too."},
    {CHECK_DRIVER_REFUSED, CAUSE_DEVICE_STOPPED, REFUSED,
     "unplug the key and plug it into another USB port of the computer directly; if keycheck still says 7, "
     "restart Windows."},
    {CHECK_DRIVER_REFUSED, CAUSE_DISABLED, REFUSED,
     "enable the key in Device Manager (right-click it, Enable device)."},
    {CHECK_DRIVER_REFUSED, CAUSE_ANY, REFUSED,
     "restart Windows; if keycheck still says 7, run the installer (keysetup.exe) again, then ask the vendor."},
    {CHECK_NO_ARM64_DRIVER, CAUSE_ANY, "This build has no driver for ARM64 Windows.",
     "ask the vendor for a build with a driver for ARM64 Windows."},
    {CHECK_INSTALL_RUNNING, CAUSE_ANY, "An install of the key's driver is still running.",
     "wait a few minutes, then run keycheck again."},
    {CHECK_CANNOT_CHECK, CAUSE_ANY, "keycheck could not read everything it needs.",
     "run keycheck as administrator (right-click it, Run as administrator), or copy it to a local disk and run it "
     "from there."},
};

// Device Manager's words for each CM_PROB_ code (cfg.h), by code - 1.
const char *const PROBLEMS[] = {
    "This device is not configured correctly.",
    "Windows cannot load the driver for this device.",
    "The driver for this device might be damaged, or Windows may be low on memory.",
    "This device is not working properly: a registry value has the wrong type.",
    "The driver for this device requested a resource that Windows does not know how to handle.",
    "The boot configuration for this device conflicts with other devices.",
    "Cannot filter.",
    "The driver loader for the device is missing.",
    "This device is not working properly because its firmware reports its resources incorrectly.",
    "This device cannot start.",
    "This device failed.",
    "This device cannot find enough free resources that it can use.",
    "Windows cannot verify this device's resources.",
    "This device cannot work properly until you restart your computer.",
    "This device is not working properly because there is probably a re-enumeration problem.",
    "Windows cannot identify all the resources this device uses.",
    "This device is asking for an unknown resource type.",
    "Reinstall the drivers for this device.",
    "Windows cannot start this device because its configuration in the registry is incomplete or damaged.",
    "Failure using the VxD loader.",
    "Windows is removing this device.",
    "This device is disabled.",
    "The loaders for this device are not ready.",
    "This device is not present, is not working properly, or does not have all its drivers installed.",
    "Windows is still setting up this device.",
    "Windows is still setting up this device.",
    "This device does not have a valid resource configuration.",
    "The drivers for this device are not installed.",
    "This device is disabled because its firmware did not give it the required resources.",
    "This device is using an interrupt (IRQ) that another device is using.",
    "This device is not working properly because Windows cannot load the drivers required for this device.",
    "A driver (service) for this device has been disabled.",
    "Windows cannot determine which resources are required for this device.",
    "Windows cannot determine the settings for this device.",
    "The computer's firmware does not include enough information to configure and use this device.",
    "This device is requesting a PCI interrupt but is configured for an ISA interrupt, or the other way round.",
    "Windows cannot initialize the device driver for this hardware.",
    "Windows cannot load the device driver for this hardware because a previous instance of it is still in memory.",
    "Windows cannot load the device driver for this hardware. The driver may be damaged or missing.",
    "Windows cannot access this hardware because its service key in the registry is missing or wrong.",
    "Windows loaded the device driver for this hardware but cannot find the hardware device.",
    "Windows cannot load the device driver for this hardware because a duplicate device is already running.",
    "Windows has stopped this device because it has reported problems.",
    "An application or service has shut down this hardware device.",
    "Currently, this hardware device is not connected to the computer.",
    "Windows cannot gain access to this hardware device because it is shutting down.",
    "Windows cannot use this hardware device because it has been prepared for safe removal, but it has not been "
    "removed from the computer.",
    "The software for this device has been blocked from starting because it is known to have problems with Windows.",
    "Windows cannot start new hardware devices because the system hive is too large.",
    "Windows cannot apply all of the properties for this device.",
    "This device is waiting on another device or set of devices to start.",
    "Windows cannot verify the digital signature for the drivers required for this device.",
    "This device has been reserved for use by the Windows kernel debugger.",
    "This device has failed and is undergoing a reset.",
    "This device cannot start while the console is locked.",
    "Windows is still setting up the class configuration for this device.",
    "This device could not be assigned to a virtual machine.",
};

CheckCause CauseOfRefusal(ULONG problem)
{
    switch (problem) {
    case PROBLEM_SIGNATURE:
    case PROBLEM_NOT_LOADED:
    case PROBLEM_BLOCKED: return CAUSE_SIGNATURE;
    case PROBLEM_FAILED_START: return CAUSE_DEVICE_FAILED;
    case PROBLEM_DISABLED: return CAUSE_DISABLED;
    case PROBLEM_FAILED_POST_START:
    case PROBLEM_HELD_FOR_EJECT: return CAUSE_DEVICE_STOPPED;
    default: return CAUSE_DRIVER_FAILED;
    }
}

static_assert(sizeof(PROBLEMS) / sizeof(PROBLEMS[0]) == 57, "one row per code, 1 to CM_PROB_GUEST_ASSIGNMENT_FAILED");

const StepRow *FindStep(int code, CheckCause cause)
{
    for (size_t i = 0; i < sizeof(STEPS) / sizeof(STEPS[0]); ++i)
        if (STEPS[i].code == code && (STEPS[i].cause == cause || STEPS[i].cause == CAUSE_ANY))
            return &STEPS[i];
    return FindStep(CHECK_CANNOT_CHECK, CAUSE_ANY);
}

} // namespace

CheckCause CauseOfVerdict(int code, const InstallFindings *findings)
{
    switch (code) {
    case CHECK_INSTALLED: return findings->devicesUsingKeysDriver > 0 ? CAUSE_KEY_USES_DRIVER : CAUSE_ANY;
    case CHECK_PARTLY_INSTALLED: return findings->filesMissing > 0 ? CAUSE_FILES_MISSING : CAUSE_ANY;
    case CHECK_DEVICE_WITHOUT_DRIVER: return findings->devicesNoDriver > 0 ? CAUSE_NO_DRIVER_YET : CAUSE_ANY;
    case CHECK_DRIVER_REFUSED: return CauseOfRefusal(findings->refusedProblem);
    case CHECK_LEFTOVERS:
        return findings->storeKeepsCopies && findings->oemInfsDeclaring > 0 ? CAUSE_KEPT_BY_STORE : CAUSE_ANY;
    default: return CAUSE_ANY;
    }
}

const char *SummaryWords(int code, CheckCause cause)
{
    return FindStep(code, cause)->summary;
}

const char *NextStepWords(int code, CheckCause cause)
{
    return FindStep(code, cause)->nextStep;
}

const char *ProblemWords(ULONG problem)
{
    if (problem == 0 || problem > sizeof(PROBLEMS) / sizeof(PROBLEMS[0]))
        return NULL;
    return PROBLEMS[problem - 1];
}
