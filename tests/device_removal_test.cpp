#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device_removal.h"
#include "guarded_bytes.h"
#include "system_names.h"
#include "test_devices.h"

namespace {

const char OTHER_ID[] = "USB\\VID_0BAD&PID_0001";

typedef std::vector<std::string> Ids;

bool Contains(const Ids &ids, const std::string &id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Device names of these tests; leftovers of an earlier run go first.
const char *const TEST_DEVICE_NAMES[] = {"KSTESTRMFOUND", "KSTESTRMKEPT", "KSTESTRMZLAST", "KSTESTRMNONE"};

class DeviceRemoval : public ::testing::Test {
protected:
    void SetUp() override { RemoveAll(); }
    void TearDown() override { RemoveAll(); }

    static void RemoveAll()
    {
        for (size_t i = 0; i < sizeof(TEST_DEVICE_NAMES) / sizeof(TEST_DEVICE_NAMES[0]); ++i)
            RemoveTestDevices(TEST_DEVICE_NAMES[i]);
    }

    // Creates a device and checks that it exists. It is never started; Wine
    // nonetheless lists it under DIGCF_PRESENT as well.
    static std::string Create(int line, const char *name, const std::string &hardwareIds,
                              const std::string &compatibleIds = "", bool withHardwareIds = true)
    {
        SCOPED_TRACE(testing::Message() << "created at line " << line);
        std::string id = CreateTestDevice(name, hardwareIds, compatibleIds, withHardwareIds);
        EXPECT_FALSE(id.empty());
        EXPECT_TRUE(DeviceInstanceExists(id)) << id;
        return id;
    }

    // Runs the removal; checks its result and that exactly removed went.
    static void RemoveAndExpect(int line, const Ids &removed)
    {
        SCOPED_TRACE(testing::Message() << "removal at line " << line);
        Ids before = ListDeviceInstances();
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(0, RemoveDevicesByHardwareId(DEVICE_HARDWARE_ID));
        EXPECT_EQ(0u, GetLastError());
        Ids after = ListDeviceInstances();
        for (size_t i = 0; i < removed.size(); ++i)
            EXPECT_FALSE(Contains(after, removed[i])) << removed[i] << " is still there";
        for (size_t i = 0; i < before.size(); ++i) {
            if (!Contains(removed, before[i])) {
                EXPECT_TRUE(Contains(after, before[i])) << before[i] << " went too";
            }
        }
    }
};

// The ID anywhere in the list, in any case, on several not-present
// devices; a list naming it twice, followed by a device without it.
TEST_F(DeviceRemoval, RemovesEveryDeviceListingTheId)
{
    Ids removed;
    removed.push_back(Create(__LINE__, "KSTESTRMFOUND", MultiSz({OTHER_ID, DEVICE_HARDWARE_ID})));
    removed.push_back(Create(__LINE__, "KSTESTRMFOUND", MultiSz({"usb\\vid_fe17&pid_0101"})));
    removed.push_back(Create(__LINE__, "KSTESTRMFOUND", MultiSz({DEVICE_HARDWARE_ID, OTHER_ID, DEVICE_HARDWARE_ID})));
    removed.push_back(Create(__LINE__, "KSTESTRMFOUND", MultiSz({DEVICE_HARDWARE_ID})));
    std::string kept = Create(__LINE__, "KSTESTRMFOUND", MultiSz({OTHER_ID}));

    RemoveAndExpect(__LINE__, removed);
    EXPECT_TRUE(DeviceInstanceExists(kept));
}

// Devices without the ID as a hardware ID are kept, and the walk goes on
// past them to a matching device later in the set.
TEST_F(DeviceRemoval, KeepsDevicesWithoutTheIdAndWalksPastThem)
{
    Ids kept;
    kept.push_back(Create(__LINE__, "KSTESTRMKEPT", MultiSz({OTHER_ID}), MultiSz({DEVICE_HARDWARE_ID})));
    kept.push_back(Create(__LINE__, "KSTESTRMKEPT", "", MultiSz({DEVICE_HARDWARE_ID}), false));
    kept.push_back(Create(__LINE__, "KSTESTRMKEPT", std::string(1, '\0')));
    kept.push_back(Create(__LINE__, "KSTESTRMKEPT", std::string(2, '\0')));
    kept.push_back(Create(__LINE__, "KSTESTRMKEPT", MultiSz({"USB\\VID_FE17&PID_01011", "USB\\VID_FE17"})));
    // An empty entry ends the list: what follows it is not an entry.
    kept.push_back(Create(__LINE__, "KSTESTRMKEPT", std::string("\0", 1) + MultiSz({DEVICE_HARDWARE_ID})));
    std::string last = Create(__LINE__, "KSTESTRMZLAST", MultiSz({DEVICE_HARDWARE_ID}));

    Ids order = ListDeviceInstances();
    size_t lastPosition = std::find(order.begin(), order.end(), last) - order.begin();
    for (size_t i = 0; i < kept.size(); ++i)
        ASSERT_LT(std::find(order.begin(), order.end(), kept[i]) - order.begin(), (ptrdiff_t)lastPosition)
            << kept[i] << " does not come before " << last;

    RemoveAndExpect(__LINE__, Ids(1, last));
    for (size_t i = 0; i < kept.size(); ++i)
        EXPECT_TRUE(DeviceInstanceExists(kept[i])) << kept[i];
}

TEST_F(DeviceRemoval, NoDeviceWithTheIdRemovesNothing)
{
    std::string other = Create(__LINE__, "KSTESTRMNONE", MultiSz({OTHER_ID}));

    RemoveAndExpect(__LINE__, Ids());
    EXPECT_TRUE(DeviceInstanceExists(other));
}

bool ListContains(const std::string &bytes, const char *hardwareId)
{
    // The list's last byte is the last readable one.
    GuardedBytes guarded(bytes);
    return guarded.ok() && HardwareIdListContains(guarded.data(), (DWORD)bytes.size(), hardwareId);
}

TEST(HardwareIdList, WalkStaysInsideTheListAndComparesEveryEntry)
{
    const std::string id = DEVICE_HARDWARE_ID;

    EXPECT_TRUE(ListContains(MultiSz({OTHER_ID, DEVICE_HARDWARE_ID}), DEVICE_HARDWARE_ID));
    EXPECT_TRUE(ListContains(MultiSz({"Usb\\Vid_Fe17&Pid_0101"}), DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains(MultiSz({OTHER_ID}), DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains(MultiSz({"USB\\VID_FE17&PID_01011"}), DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains(MultiSz({"USB\\VID_FE17&PID_010"}), DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains(std::string("\0", 1) + MultiSz({DEVICE_HARDWARE_ID}), DEVICE_HARDWARE_ID));
    EXPECT_FALSE(HardwareIdListContains(NULL, 0, DEVICE_HARDWARE_ID));
    // Without terminators: the entries end where the list ends.
    EXPECT_TRUE(ListContains(id, DEVICE_HARDWARE_ID));
    EXPECT_TRUE(ListContains(std::string(OTHER_ID) + '\0' + id, DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains(id.substr(0, id.size() - 1), DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains(OTHER_ID, DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains(id + "1", DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains("U", DEVICE_HARDWARE_ID));
    // Odd lengths: a stray byte after the ID, or a list cut inside an entry.
    EXPECT_TRUE(ListContains(id + '\0' + 'X', DEVICE_HARDWARE_ID));
    EXPECT_TRUE(ListContains(id + '\0' + "\xFF\xFF\xFF", DEVICE_HARDWARE_ID));
    EXPECT_FALSE(ListContains(std::string(OTHER_ID) + '\0' + "USB", DEVICE_HARDWARE_ID));
}

// A stand-in for the property query: answers from a script of replies.
struct PropertyReply {
    BOOL ok;
    DWORD error;
    DWORD requiredSize;
    const char *data;
};
const PropertyReply *scriptedReplies = NULL;
size_t scriptedReplyCount = 0;
size_t propertyCalls = 0;
std::vector<DWORD> offeredSizes;

BOOL WINAPI ScriptedProperty(HDEVINFO, PSP_DEVINFO_DATA, DWORD property, PDWORD, PBYTE buffer, DWORD bufferSize,
                             PDWORD requiredSize)
{
    const PropertyReply &reply = scriptedReplies[std::min(propertyCalls, scriptedReplyCount - 1)];

    ++propertyCalls;
    offeredSizes.push_back(bufferSize);
    if (property != SPDRP_HARDWAREID || propertyCalls > 20) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    *requiredSize = reply.requiredSize;
    if (reply.ok && reply.data)
        memcpy(buffer, reply.data, std::min(reply.requiredSize, bufferSize));
    SetLastError(reply.error);
    return reply.ok;
}

int ReadScripted(const PropertyReply *replies, size_t count, char **list, DWORD *size)
{
    scriptedReplies = replies;
    scriptedReplyCount = count;
    propertyCalls = 0;
    offeredSizes.clear();
    *list = (char *)1;
    *size = 77;
    return ReadHardwareIdList(INVALID_HANDLE_VALUE, NULL, ScriptedProperty, list, size);
}

TEST(HardwareIdList, PropertyReadEndsOnEveryAnswer)
{
    char *list = NULL;
    DWORD size = 0;

    // Asked again for the size already given: a failed read, not a loop.
    const PropertyReply stuck[] = {{FALSE, ERROR_INSUFFICIENT_BUFFER, 8, NULL}};
    EXPECT_EQ(-1, ReadScripted(stuck, 1, &list, &size));
    EXPECT_EQ(2u, propertyCalls);
    EXPECT_TRUE(list == NULL);
    const PropertyReply shrinking[] = {{FALSE, ERROR_INSUFFICIENT_BUFFER, 8, NULL},
                                       {FALSE, ERROR_INSUFFICIENT_BUFFER, 4, NULL}};
    EXPECT_EQ(-1, ReadScripted(shrinking, 2, &list, &size));
    EXPECT_EQ(2u, propertyCalls);
    const PropertyReply empty[] = {{FALSE, ERROR_INSUFFICIENT_BUFFER, 0, NULL}};
    EXPECT_EQ(-1, ReadScripted(empty, 1, &list, &size));
    EXPECT_EQ(2u, propertyCalls);

    const PropertyReply absent[] = {{FALSE, ERROR_INVALID_DATA, 0, NULL}};
    EXPECT_EQ(0, ReadScripted(absent, 1, &list, &size));
    EXPECT_TRUE(list == NULL);
    const PropertyReply denied[] = {{FALSE, ERROR_INSUFFICIENT_BUFFER, 8, NULL}, {FALSE, ERROR_ACCESS_DENIED, 8, NULL}};
    EXPECT_EQ(-1, ReadScripted(denied, 2, &list, &size));
    EXPECT_TRUE(list == NULL);
}

// A list reported larger on every answer is given up after a few tries; a
// size the guard bytes would wrap, or above any hardware-ID list, is
// refused before any block is taken for it.
TEST(HardwareIdList, PropertyReadIsBounded)
{
    char *list = NULL;
    DWORD size = 0;

    const DWORD TOO_SMALL = ERROR_INSUFFICIENT_BUFFER;
    const PropertyReply growing[] = {{FALSE, TOO_SMALL, 8, NULL},  {FALSE, TOO_SMALL, 16, NULL},
                                     {FALSE, TOO_SMALL, 24, NULL}, {FALSE, TOO_SMALL, 32, NULL},
                                     {FALSE, TOO_SMALL, 40, NULL}, {TRUE, ERROR_SUCCESS, 40, NULL}};
    EXPECT_EQ(-1, ReadScripted(growing, 6, &list, &size));
    EXPECT_EQ((size_t)PROPERTY_READ_TRIES, propertyCalls);
    EXPECT_TRUE(list == NULL);

    const DWORD refused[] = {0xFFFFFFFF, 0xFFFFFFFE, HARDWARE_ID_LIST_LIMIT + 1};
    for (size_t i = 0; i < sizeof(refused) / sizeof(refused[0]); ++i) {
        const PropertyReply huge[] = {{FALSE, TOO_SMALL, refused[i], NULL}};
        EXPECT_EQ(-1, ReadScripted(huge, 1, &list, &size)) << refused[i];
        EXPECT_EQ(1u, propertyCalls) << refused[i];
        EXPECT_TRUE(list == NULL);
    }

    const PropertyReply largest[] = {{FALSE, TOO_SMALL, HARDWARE_ID_LIST_LIMIT, NULL},
                                     {TRUE, ERROR_SUCCESS, HARDWARE_ID_LIST_LIMIT, NULL}};
    ASSERT_EQ(1, ReadScripted(largest, 2, &list, &size));
    EXPECT_EQ(HARDWARE_ID_LIST_LIMIT, size);
    EXPECT_GE(LocalSize(list), HARDWARE_ID_LIST_LIMIT + 2);
    LocalFree(list);
}

TEST(HardwareIdList, PropertyBufferKeepsTwoZeroBytesBeyondTheList)
{
    char *list = NULL;
    DWORD size = 0;

    // Grown once as asked, then filled without any terminator.
    const PropertyReply growing[] = {{FALSE, ERROR_INSUFFICIENT_BUFFER, 4, NULL},
                                     {FALSE, ERROR_INSUFFICIENT_BUFFER, 6, NULL},
                                     {TRUE, ERROR_SUCCESS, 6, "ABCDEF"}};
    ASSERT_EQ(1, ReadScripted(growing, 3, &list, &size));
    ASSERT_TRUE(list != NULL);
    EXPECT_EQ(3u, propertyCalls);
    EXPECT_EQ(0u, offeredSizes[0]);
    EXPECT_EQ(4u, offeredSizes[1]);
    EXPECT_EQ(6u, offeredSizes[2]);
    EXPECT_EQ(6u, size);
    EXPECT_GE(LocalSize(list), 8u);
    EXPECT_EQ(std::string("ABCDEF\0\0", 8), std::string(list, 8));
    LocalFree(list);

    // A size beyond the buffer handed over is not believed.
    const PropertyReply overstated[] = {{FALSE, ERROR_INSUFFICIENT_BUFFER, 4, NULL}, {TRUE, ERROR_SUCCESS, 50, "ABCD"}};
    ASSERT_EQ(1, ReadScripted(overstated, 2, &list, &size));
    EXPECT_EQ(4u, size);
    LocalFree(list);
}

} // namespace
