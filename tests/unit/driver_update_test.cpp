#include "driver/driver_update.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform/win_values.h"
#include "sim/sim_windows.h"

namespace {

using namespace zw::win;
using sim::Device;
using sim::MultiSz;

constexpr uint32_t kAccessDenied = 5;

template <class... Id>
Device Dev(Id... ids)
{
    return {MultiSz({ids...}), 0, true};
}

template <class... Id>
Device Absent(Id... ids)
{
    return {MultiSz({ids...}), 0, false};
}

Device Unreadable(uint32_t error) { return {{}, error, true}; }

// A list as raw bytes, terminators only where BYTES has them.
Device Raw(const std::string& bytes) { return {std::vector<uint8_t>(bytes.begin(), bytes.end()), 0, true}; }

// A list that needs more than the 356-byte buffer.
Device LongList() { return Dev(std::string(400, 'L'), "ROOT\\LONG"); }

template <class... D>
std::vector<Device> Devices(D... devices)
{
    return {devices...};
}

struct Buffer {
    char text[200] = {};
    explicit Buffer(const std::string& s) { std::snprintf(text, sizeof text, "%s", s.c_str()); }
};

class Driver : public ::testing::Test {
protected:
    sim::SimScope scope;
    sim::SimWindows& sim = scope.sim;
};

const std::string kId354 = "ROOT\\" + std::string(349, 'Z');

// The present device whose first ID contains the text.
TEST_F(Driver, FindTable)
{
    struct {
        const char* name;
        std::string search;
        std::string foundId;      // empty: nothing found
        std::string searchAfter;  // the caller's text after the call
        std::vector<Device> devices;
    } const cases[] = {
        {"MiddleOfIdLowerCaseText", "dev_8168", "PCI\\VEN_10EC&DEV_8168&SUBSYS_0001", "DEV_8168",
         Devices(Dev("PCI\\VEN_10EC&DEV_8168&SUBSYS_0001", "PCI\\VEN_10EC"))},
        {"MixedCaseTextAndId", "VID_0a5C", "USB\\VID_0A5C&PID_21E8", "VID_0A5C",
         Devices(Dev("usb\\Vid_0A5c&Pid_21e8"))},
        {"LaterStringOfTheListNotCounted", "VEN_10EC", "", "VEN_10EC",
         Devices(Dev("PCI\\VEN_8086&DEV_1234", "PCI\\VEN_10EC&DEV_8168"))},
        {"AbsentMatchPassedOverForAPresentOne", "zw0001", "ACPI\\ZW0001&REV_2", "ZW0001",
         Devices(Absent("ACPI\\ZW0001&REV_1"), Dev("PCI\\OTHER"), Dev("ACPI\\ZW0001&REV_2"))},
        {"OnlyAbsentMatches", "zw0001", "", "ZW0001", Devices(Absent("ACPI\\ZW0001"))},
        {"EmptyTextTakesTheFirstPresentReadableDevice", "", "ROOT\\FIRST", "",
         Devices(Unreadable(ERROR_INVALID_DATA), Absent("ROOT\\GONE"), LongList(), Dev("root\\first"),
                 Dev("ROOT\\SECOND"))},
        {"NoDevicesTextUntouched", "pci\\x", "", "pci\\x", {}},
        {"NoReadableListTextUntouched", "root\\long", "", "root\\long",
         Devices(Unreadable(ERROR_INVALID_DATA), LongList())},
        {"TextUpperCasedOnceAListWasCompared", "pci\\b", "", "PCI\\B", Devices(Dev("ROOT\\A"))},
        {"DeviceWithoutIdsSkipped", "zarnowel", "ROOT\\ZARNOWEL_TEST", "ZARNOWEL",
         Devices(Unreadable(ERROR_INVALID_DATA), Dev("ROOT\\ZARNOWEL_TEST"))},
        {"LongListSkippedSilently", "root\\long", "ROOT\\LONG", "ROOT\\LONG", Devices(LongList(), Dev("ROOT\\LONG"))},
        {"OtherReadErrorEndsTheSearch", "zarnowel", "", "zarnowel",
         Devices(Unreadable(kAccessDenied), Dev("ROOT\\ZARNOWEL_TEST"))},
        {"TextLongerThanTheIdNotFound", "root\\zw1", "", "ROOT\\ZW1", Devices(Dev("ROOT\\ZW"))},
        // The largest lists the buffer takes: a list without its terminators
        // that fills the buffer is read up to the last byte, which counts as
        // the end; one byte more than a 354-character ID is a long list.
        {"UnterminatedListFillingTheBuffer", "aaa", std::string(zw::kHardwareIdBufferSize - 1, 'A'), "AAA",
         Devices(Raw(std::string(zw::kHardwareIdBufferSize, 'A')), Dev("ROOT\\AFTER"))},
        {"OneByteMoreIsALongList", "root\\", "ROOT\\OK", "ROOT\\", Devices(Dev(kId354 + "Z"), Dev("ROOT\\OK"))},
        // A short list must not be read together with what the previous,
        // longer one left in the buffer.
        {"ShortUnterminatedListWithoutThePreviousTail", "ro", "RO", "RO",
         Devices(Absent("ROOT\\PREVIOUS_DEVICE"), Raw("RO"))},
    };
    for (const auto& c : cases) {
        sim::SimScope s;
        s.sim.devices = c.devices;
        Buffer search(c.search);
        // One guard byte past the buffer handed over keeps an untouched buffer printable.
        char found[zw::kHardwareIdBufferSize + 1];
        std::memset(found, '#', zw::kHardwareIdBufferSize);
        found[zw::kHardwareIdBufferSize] = '\0';

        EXPECT_EQ(zw::FindDeviceByHardwareId(search.text, found, zw::kHardwareIdBufferSize), !c.foundId.empty())
            << c.name;
        if (!c.foundId.empty())
            EXPECT_STREQ(found, c.foundId.c_str()) << c.name;
        else
            EXPECT_EQ(std::string(found), std::string(zw::kHardwareIdBufferSize, '#')) << c.name << ": untouched";
        EXPECT_STREQ(search.text, c.searchAfter.c_str()) << c.name;
        EXPECT_TRUE(s.sim.boxes.empty()) << c.name;  // this search never shows anything
        EXPECT_EQ(s.sim.CountCalls("SetupDiDestroyDeviceInfoList"), 1u) << c.name;
    }
}

TEST_F(Driver, FindLooksAtDevicesInEnumerationOrderAndStopsAtTheFirstMatch)
{
    sim.devices = Devices(Dev("ROOT\\ZW_A"), Dev("ROOT\\ZW_B"), Dev("ROOT\\ZW_C"));
    Buffer search("zw_");
    char found[zw::kHardwareIdBufferSize] = {};
    ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    EXPECT_STREQ(found, "ROOT\\ZW_A");
    EXPECT_EQ(sim.CountCalls("SetupDiGetDeviceRegistryPropertyA"), 1u);
    // The set of all classes, absent devices included.
    ASSERT_EQ(sim.CountCalls("SetupDiGetClassDevsA"), 1u);
    EXPECT_EQ(sim.CallsNamed("SetupDiGetClassDevsA")[0].detail, "0x4");
    EXPECT_EQ(sim.CallsNamed("SetupDiGetDeviceRegistryPropertyA")[0].detail, "1:356");
    EXPECT_EQ(sim.CallsNamed("CM_Get_DevNode_Status")[0].detail, "1:0");
}

TEST_F(Driver, FindWithoutADeviceSetDoesNothing)
{
    sim.classDevsFails = true;
    sim.devices = Devices(Dev("ROOT\\ZW"));
    Buffer search("zw");
    char found[zw::kHardwareIdBufferSize] = {};
    EXPECT_FALSE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    EXPECT_STREQ(found, "");
    EXPECT_STREQ(search.text, "zw");
    EXPECT_EQ(sim.CountCalls("SetupDiEnumDeviceInfo"), 0u);
    EXPECT_EQ(sim.CountCalls("SetupDiDestroyDeviceInfoList"), 0u);
}

TEST_F(Driver, FindNeverCutsTheIdIntoASmallerBuffer)
{
    for (const bool fitsLater : {true, false}) {
        sim::SimScope s;
        s.sim.devices = Devices(Dev("ROOT\\ZW_TOO_LONG_FOR_TEN"));
        if (fitsLater) s.sim.devices.push_back(Dev("ROOT\\ZW"));
        Buffer search("zw");
        char found[10];
        std::memset(found, '#', sizeof found);
        ASSERT_EQ(zw::FindDeviceByHardwareId(search.text, found, sizeof found), fitsLater);
        if (fitsLater)
            EXPECT_STREQ(found, "ROOT\\ZW");
        else
            for (char ch : found) EXPECT_EQ(ch, '#');
    }
}

// A 354-character ID ends a well-formed 356-byte list: it is handed back
// whole and passes the update's equality check.
TEST_F(Driver, AnIdThatFillsTheWholeBufferIsFoundAndUpdated)
{
    sim.devices = Devices(Dev(kId354));
    ASSERT_EQ(sim.devices[0].hardwareIds.size(), 356u);
    Buffer search("zzz");
    char found[zw::kHardwareIdBufferSize];
    ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    EXPECT_EQ(std::string(found), kId354);
    EXPECT_TRUE(zw::UpdateDeviceDriver(nullptr, found, "C:\\setup\\zw.inf", 0, nullptr));
    ASSERT_EQ(sim.updates.size(), 1u);
    EXPECT_EQ(sim.updates[0].hardwareId, kId354);
}

int pumped = 0;
intptr_t CountingProc(zw::Hwnd, uint32_t msg, uintptr_t, intptr_t)
{
    if (msg == WM_USER) ++pumped;
    return 0;
}

// Each device is looked at only after the messages pending at that moment were
// dispatched.
void ExpectPumpBeforeEachDevice(const sim::SimWindows& sim, size_t devicesSeen)
{
    size_t seen = 0;
    bool pumpedSinceEnum = false;
    bool inDevice = false;
    for (const sim::Call& c : sim.calls) {
        if (c.name == "SetupDiEnumDeviceInfo") {
            inDevice = true;
            pumpedSinceEnum = false;
        } else if (c.name == "PeekMessageA") {
            pumpedSinceEnum = true;
        } else if (c.name == "SetupDiGetDeviceRegistryPropertyA") {
            ASSERT_TRUE(inDevice);
            EXPECT_TRUE(pumpedSinceEnum) << "device " << seen << " read without a pump";
            ++seen;
            inDevice = false;
        }
    }
    EXPECT_EQ(seen, devicesSeen);
}

TEST_F(Driver, BothSearchesPumpBeforeEachDevice)
{
    pumped = 0;
    zw::Hwnd w = sim.CreateTestWindow(CountingProc);
    sim.devices = {Unreadable(ERROR_INVALID_DATA), LongList(), Dev("ROOT\\A"), Dev("ROOT\\ZW")};
    sim.PostMessage(w, WM_USER);
    Buffer search("zw");
    char found[zw::kHardwareIdBufferSize];
    ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    ExpectPumpBeforeEachDevice(sim, 4);
    EXPECT_EQ(pumped, 1);

    // A message posted while the box of the long list is up is dispatched by
    // the pump before the next device is read.
    sim.calls.clear();
    sim.boxAnswerDelayMs = 1000;
    sim.After(500, [&] { sim.PostMessage(w, WM_USER); });
    ASSERT_TRUE(zw::HardwareIdExists(found));
    ExpectPumpBeforeEachDevice(sim, 4);
    EXPECT_EQ(pumped, 2);
    size_t box = 0, dispatch = 0, nextRead = 0;
    for (size_t i = 0; i < sim.calls.size(); ++i) {
        const std::string& n = sim.calls[i].name;
        if (n == "MessageBoxA") box = i;
        if (n == "Dispatch" && box && !dispatch) dispatch = i;
        if (n == "SetupDiGetDeviceRegistryPropertyA" && box && !nextRead) nextRead = i;
    }
    EXPECT_LT(box, dispatch);
    EXPECT_LT(dispatch, nextRead);
}

TEST_F(Driver, AQuitRequestTakenByTheSearchPumpIsGivenBack)
{
    sim.devices = {Dev("ROOT\\A"), Dev("ROOT\\B")};
    sim.PostQuitMessage(0);
    Buffer search("root\\b");
    char found[zw::kHardwareIdBufferSize];
    ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    EXPECT_EQ(sim.RunMessageLoop(1000), 0);
    EXPECT_FALSE(sim.timedOut);
}

// Only the whole first ID counts, whatever the device's presence.
TEST_F(Driver, ExistsTable)
{
    struct {
        const char* name;
        std::string id;
        bool exists;
        size_t boxes;
        std::vector<Device> devices;
        const char* idAfter = nullptr;  // the caller's text after the call, where the row says
    } const cases[] = {
        {"ExactIdOtherCase", "root\\zarnowel_test", true, 0, Devices(Dev("ROOT\\ZARNOWEL_TEST", "ZARNOWEL_TEST"))},
        {"PrefixNotAccepted", "root\\zarnowel", false, 0, Devices(Dev("ROOT\\ZARNOWEL_TEST"))},
        {"LongerTextNotAccepted", "root\\zarnowel_test2", false, 0, Devices(Dev("ROOT\\ZARNOWEL_TEST"))},
        {"FragmentNotAccepted", "zarnowel_test", false, 0, Devices(Dev("ROOT\\ZARNOWEL_TEST"))},
        {"LaterStringNotAccepted", "ROOT\\ZW", false, 0, Devices(Dev("ROOT\\A", "ROOT\\ZW"))},
        {"AbsentDeviceCounts", "root\\zw", true, 0, Devices(Absent("ROOT\\ZW"))},
        {"NoDevices", "root\\zw", false, 0, {}},
        {"NoIdsSkipped", "root\\zw", true, 0, Devices(Unreadable(ERROR_INVALID_DATA), Dev("ROOT\\ZW"))},
        {"LongListBoxThenGoesOn", "root\\zw", true, 1, Devices(LongList(), Dev("ROOT\\ZW")), "ROOT\\ZW"},
        {"BoxForEachLongList", "root\\zw", true, 2,
         Devices(LongList(), Dev("ROOT\\A"), LongList(), Dev("ROOT\\ZW"), LongList())},
        {"BoxesAndNoMatch", "root\\long", false, 2, Devices(LongList(), LongList())},
        {"OtherErrorEnds", "root\\zw", false, 0, Devices(Unreadable(kAccessDenied), Dev("ROOT\\ZW"))},
        {"OtherErrorAfterLongList", "root\\zw", false, 1, Devices(LongList(), Unreadable(87), Dev("ROOT\\ZW"))},
    };
    for (const auto& c : cases) {
        sim::SimScope s;
        s.sim.devices = c.devices;
        Buffer id(c.id);
        EXPECT_EQ(zw::HardwareIdExists(id.text), c.exists) << c.name;
        EXPECT_EQ(s.sim.boxes.size(), c.boxes) << c.name;
        EXPECT_EQ(s.sim.CountCalls("CM_Get_DevNode_Status"), 0u) << c.name;  // presence plays no part
        if (c.idAfter != nullptr) {
            EXPECT_STREQ(id.text, c.idAfter) << c.name;
        }
        // The long list's box, in Korean whatever the run's language, without owner.
        for (const sim::BoxShown& box : s.sim.boxes) {
            EXPECT_EQ(box.owner, nullptr) << c.name;
            EXPECT_EQ(box.text, zw::kBufferTooSmallText) << c.name;
            EXPECT_EQ(box.caption, zw::kBufferTooSmallCaption) << c.name;
            EXPECT_EQ(box.type, MB_OK) << c.name;
        }
    }
}

const zw::Hwnd kDialog = reinterpret_cast<zw::Hwnd>(0x4242);

TEST_F(Driver, UpdateHandsThePlatformTheUpperCasedIdAndTheFlagsAsTheyAre)
{
    for (uint32_t flags : {0u, 1u, 0x80000001u}) {
        sim::SimScope s;
        s.sim.devices = {Absent("ROOT\\ZARNOWEL_TEST")};
        char id[zw::kHardwareIdBufferSize] = "root\\Zarnowel_Test";
        int32_t reboot = 0;
        EXPECT_TRUE(zw::UpdateDeviceDriver(kDialog, id, "C:\\setup\\drv\\zwtest.inf", flags, &reboot));
        EXPECT_STREQ(id, "ROOT\\ZARNOWEL_TEST");
        ASSERT_EQ(s.sim.updates.size(), 1u);
        EXPECT_EQ(s.sim.updates[0].owner, kDialog);
        EXPECT_EQ(s.sim.updates[0].hardwareId, "ROOT\\ZARNOWEL_TEST");
        EXPECT_EQ(s.sim.updates[0].infPath, "C:\\setup\\drv\\zwtest.inf");
        EXPECT_EQ(s.sim.updates[0].flags, flags);
        EXPECT_EQ(reboot, 0);
    }
}

// The platform is asked only for a device whose first ID equals the text,
// and the restart need comes from its update alone.
TEST_F(Driver, UpdateOnlyForAnEqualFirstIdRebootOnlyFromIt)
{
    struct {
        const char* id;
        std::vector<Device> devices;
        bool classDevsFails, updateFails;
        int32_t platformReboot, rebootBefore;
        bool result;
        int32_t rebootAfter;
        size_t updates;
    } const cases[] = {
        {"ROOT\\ZW", Devices(Dev("ROOT\\ZW")), false, false, 0, 0, true, 0, 1},
        {"ROOT\\ZW", Devices(Dev("ROOT\\ZW")), false, false, 1, 0, true, 1, 1},
        {"ROOT\\ZW", Devices(Dev("ROOT\\ZW")), false, true, 1, 0, false, 0, 1},  // a failed update leaves it
        {"ROOT\\ZW", Devices(Dev("ROOT\\ZW")), false, true, 1, 7, false, 7, 1},
        {"ROOT\\ZARNOWEL", Devices(Dev("ROOT\\ZARNOWEL_TEST")), false, false, 1, 0, false, 0, 0},
        {"ROOT\\ZW", Devices(Dev("ROOT\\A", "ROOT\\ZW")), false, false, 1, 0, false, 0, 0},
        {"ROOT\\ZW", Devices(Unreadable(kAccessDenied), Dev("ROOT\\ZW")), false, false, 1, 0, false, 0, 0},
        {"ROOT\\ZW", Devices(Dev("ROOT\\ZW")), true, false, 1, 0, false, 0, 0},
        {"ROOT\\ZW", {}, false, false, 1, 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.id) + " over " + std::to_string(c.devices.size()) + " devices";
        sim::SimScope s;
        s.sim.devices = c.devices;
        s.sim.classDevsFails = c.classDevsFails;
        s.sim.updateFails = c.updateFails;
        s.sim.updateReboot = c.platformReboot;
        s.sim.updateError = 0xE0000203;
        char id[zw::kHardwareIdBufferSize];
        std::snprintf(id, sizeof id, "%s", c.id);
        int32_t reboot = c.rebootBefore;
        EXPECT_EQ(zw::UpdateDeviceDriver(kDialog, id, "C:\\x.inf", 0, &reboot), c.result) << what;
        EXPECT_EQ(reboot, c.rebootAfter) << what;
        EXPECT_EQ(s.sim.updates.size(), c.updates) << what;
        EXPECT_TRUE(s.sim.boxes.empty()) << what;  // a failure is not shown
    }
}

TEST_F(Driver, BadArgumentsAreRefusedWithoutTouchingThePlatform)
{
    sim.devices = {Dev("ROOT\\ZW")};
    char id[8] = "ROOT\\ZW";
    char found[zw::kHardwareIdBufferSize];
    EXPECT_FALSE(zw::FindDeviceByHardwareId(nullptr, found, sizeof found));
    EXPECT_FALSE(zw::FindDeviceByHardwareId(id, nullptr, 0));
    EXPECT_FALSE(zw::HardwareIdExists(nullptr));
    EXPECT_FALSE(zw::UpdateDeviceDriver(nullptr, nullptr, "C:\\x.inf", 0, nullptr));
    EXPECT_FALSE(zw::UpdateDeviceDriver(nullptr, id, nullptr, 0, nullptr));
    EXPECT_TRUE(sim.calls.empty());
}

}  // namespace
