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

Device Dev(const std::vector<std::string>& ids, bool present = true)
{
    Device d;
    d.hardwareIds = MultiSz(ids);
    d.present = present;
    return d;
}

Device Unreadable(uint32_t error)
{
    Device d;
    d.readError = error;
    return d;
}

// A list that needs more than the 356-byte buffer.
Device LongList() { return Dev({std::string(400, 'L'), "ROOT\\LONG"}); }

struct Buffer {
    char text[200] = {};
    explicit Buffer(const std::string& s) { std::snprintf(text, sizeof text, "%s", s.c_str()); }
};

// ---------------------------------------------------------------- FindDeviceByHardwareId

struct FindCase {
    const char* name;
    std::vector<Device> devices;
    std::string search;
    bool found;
    std::string foundId;
    std::string searchAfter;  // the caller's text after the call
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindTable : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindTable, FindsThePresentDeviceWhoseFirstIdContainsTheText)
{
    const FindCase& c = GetParam();
    sim::SimScope s;
    s.sim.devices = c.devices;
    Buffer search(c.search);
    // One guard byte past the buffer handed over keeps an untouched buffer printable.
    char found[zw::kHardwareIdBufferSize + 1];
    std::memset(found, '#', zw::kHardwareIdBufferSize);
    found[zw::kHardwareIdBufferSize] = '\0';

    bool result = zw::FindDeviceByHardwareId(search.text, found, zw::kHardwareIdBufferSize);

    EXPECT_EQ(result, c.found);
    if (c.found)
        EXPECT_STREQ(found, c.foundId.c_str());
    else
        EXPECT_EQ(std::string(found), std::string(zw::kHardwareIdBufferSize, '#')) << "must stay untouched";
    EXPECT_STREQ(search.text, c.searchAfter.c_str());
    EXPECT_TRUE(s.sim.boxes.empty());  // this search never shows anything
    EXPECT_EQ(s.sim.CountCalls("SetupDiDestroyDeviceInfoList"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Driver, FindTable,
    ::testing::Values(FindCase{"MiddleOfIdLowerCaseText",
                               {Dev({"PCI\\VEN_10EC&DEV_8168&SUBSYS_0001", "PCI\\VEN_10EC"})},
                               "dev_8168",
                               true,
                               "PCI\\VEN_10EC&DEV_8168&SUBSYS_0001",
                               "DEV_8168"},
                      FindCase{"MixedCaseTextAndId",
                               {Dev({"usb\\Vid_0A5c&Pid_21e8"})},
                               "VID_0a5C",
                               true,
                               "USB\\VID_0A5C&PID_21E8",
                               "VID_0A5C"},
                      FindCase{"LaterStringOfTheListNotCounted",
                               {Dev({"PCI\\VEN_8086&DEV_1234", "PCI\\VEN_10EC&DEV_8168"})},
                               "VEN_10EC",
                               false,
                               "",
                               "VEN_10EC"},
                      FindCase{"AbsentMatchPassedOverForAPresentOne",
                               {Dev({"ACPI\\ZW0001&REV_1"}, false), Dev({"PCI\\OTHER"}), Dev({"ACPI\\ZW0001&REV_2"})},
                               "zw0001",
                               true,
                               "ACPI\\ZW0001&REV_2",
                               "ZW0001"},
                      FindCase{"OnlyAbsentMatches", {Dev({"ACPI\\ZW0001"}, false)}, "zw0001", false, "", "ZW0001"},
                      FindCase{"EmptyTextTakesTheFirstPresentReadableDevice",
                               {Unreadable(ERROR_INVALID_DATA), Dev({"ROOT\\GONE"}, false), LongList(),
                                Dev({"root\\first"}), Dev({"ROOT\\SECOND"})},
                               "",
                               true,
                               "ROOT\\FIRST",
                               ""},
                      FindCase{"NoDevicesTextUntouched", {}, "pci\\x", false, "", "pci\\x"},
                      FindCase{"NoReadableListTextUntouched",
                               {Unreadable(ERROR_INVALID_DATA), LongList()},
                               "root\\long",
                               false,
                               "",
                               "root\\long"},
                      FindCase{"TextUpperCasedOnceAListWasCompared", {Dev({"ROOT\\A"})}, "pci\\b", false, "", "PCI\\B"},
                      FindCase{"DeviceWithoutIdsSkipped",
                               {Unreadable(ERROR_INVALID_DATA), Dev({"ROOT\\ZARNOWEL_TEST"})},
                               "zarnowel",
                               true,
                               "ROOT\\ZARNOWEL_TEST",
                               "ZARNOWEL"},
                      FindCase{"LongListSkippedSilently",
                               {LongList(), Dev({"ROOT\\LONG"})},
                               "root\\long",
                               true,
                               "ROOT\\LONG",
                               "ROOT\\LONG"},
                      FindCase{"OtherReadErrorEndsTheSearch",
                               {Unreadable(kAccessDenied), Dev({"ROOT\\ZARNOWEL_TEST"})},
                               "zarnowel",
                               false,
                               "",
                               "zarnowel"},
                      FindCase{
                          "TextLongerThanTheIdNotFound", {Dev({"ROOT\\ZW"})}, "root\\zw1", false, "", "ROOT\\ZW1"}),
    [](const ::testing::TestParamInfo<FindCase>& info) { return std::string(info.param.name); });

TEST(Driver, FindLooksAtDevicesInEnumerationOrderAndStopsAtTheFirstMatch)
{
    sim::SimScope s;
    s.sim.devices = {Dev({"ROOT\\ZW_A"}), Dev({"ROOT\\ZW_B"}), Dev({"ROOT\\ZW_C"})};
    Buffer search("zw_");
    char found[zw::kHardwareIdBufferSize] = {};
    ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    EXPECT_STREQ(found, "ROOT\\ZW_A");
    EXPECT_EQ(s.sim.CountCalls("SetupDiGetDeviceRegistryPropertyA"), 1u);
    // The set of all classes, absent devices included.
    ASSERT_EQ(s.sim.CountCalls("SetupDiGetClassDevsA"), 1u);
    EXPECT_EQ(s.sim.CallsNamed("SetupDiGetClassDevsA")[0].detail, "0x4");
    EXPECT_EQ(s.sim.CallsNamed("SetupDiGetDeviceRegistryPropertyA")[0].detail, "1:356");
    EXPECT_EQ(s.sim.CallsNamed("CM_Get_DevNode_Status")[0].detail, "1:0");
}

TEST(Driver, FindWithoutADeviceSetDoesNothing)
{
    sim::SimScope s;
    s.sim.classDevsFails = true;
    s.sim.devices = {Dev({"ROOT\\ZW"})};
    Buffer search("zw");
    char found[zw::kHardwareIdBufferSize] = {};
    EXPECT_FALSE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    EXPECT_STREQ(found, "");
    EXPECT_STREQ(search.text, "zw");
    EXPECT_EQ(s.sim.CountCalls("SetupDiEnumDeviceInfo"), 0u);
    EXPECT_EQ(s.sim.CountCalls("SetupDiDestroyDeviceInfoList"), 0u);
}

TEST(Driver, FindNeverCutsTheIdIntoASmallerBuffer)
{
    char found[10];
    {
        sim::SimScope s;
        s.sim.devices = {Dev({"ROOT\\ZW_TOO_LONG_FOR_TEN"}), Dev({"ROOT\\ZW"})};
        Buffer search("zw");
        std::memset(found, '#', sizeof found);
        ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
        EXPECT_STREQ(found, "ROOT\\ZW");
    }
    {
        sim::SimScope s;
        s.sim.devices = {Dev({"ROOT\\ZW_TOO_LONG_FOR_TEN"})};
        Buffer search("zw");
        std::memset(found, '#', sizeof found);
        EXPECT_FALSE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
        for (char ch : found) EXPECT_EQ(ch, '#');
    }
}

// The largest lists the buffer takes: a 354-character ID ends a well-formed
// 356-byte list; a list without its terminators that fills the buffer is read
// up to the last byte, which counts as the end.
TEST(Driver, ListsThatFillTheWholeBufferAreReadWithinIt)
{
    const std::string id354 = "ROOT\\" + std::string(349, 'Z');
    {
        sim::SimScope s;
        s.sim.devices = {Dev({id354})};
        ASSERT_EQ(s.sim.devices[0].hardwareIds.size(), 356u);
        Buffer search("zzz");
        char found[zw::kHardwareIdBufferSize];
        ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
        EXPECT_EQ(std::string(found), id354);

        // The found ID is handed back whole and passes the equality check.
        EXPECT_TRUE(zw::UpdateDeviceDriver(nullptr, found, "C:\\setup\\zw.inf", 0, nullptr));
        ASSERT_EQ(s.sim.updates.size(), 1u);
        EXPECT_EQ(s.sim.updates[0].hardwareId, id354);
    }
    {
        sim::SimScope s;
        Device raw;
        raw.hardwareIds.assign(zw::kHardwareIdBufferSize, 'A');  // no NUL anywhere
        s.sim.devices = {raw, Dev({"ROOT\\AFTER"})};
        Buffer search("aaa");
        char found[zw::kHardwareIdBufferSize];
        ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
        EXPECT_EQ(std::string(found), std::string(zw::kHardwareIdBufferSize - 1, 'A'));
    }
    {
        // One byte more is a long list.
        sim::SimScope s;
        s.sim.devices = {Dev({id354 + "Z"}), Dev({"ROOT\\OK"})};
        Buffer search("root\\");
        char found[zw::kHardwareIdBufferSize];
        ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
        EXPECT_STREQ(found, "ROOT\\OK");
    }
}

// A short list must not be read together with what the previous, longer one
// left in the buffer.
TEST(Driver, AShortUnterminatedListIsNotReadWithThePreviousDevicesTail)
{
    sim::SimScope s;
    Device shortRaw;
    shortRaw.hardwareIds = {'R', 'O'};  // no terminator
    s.sim.devices = {Dev({"ROOT\\PREVIOUS_DEVICE"}, false), shortRaw};
    Buffer search("ro");
    char found[zw::kHardwareIdBufferSize];
    ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    EXPECT_STREQ(found, "RO");
}

// ---------------------------------------------------------------- the pump

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

TEST(Driver, BothSearchesPumpBeforeEachDevice)
{
    sim::SimScope s;
    pumped = 0;
    zw::Hwnd w = s.sim.CreateTestWindow(CountingProc);
    s.sim.devices = {Unreadable(ERROR_INVALID_DATA), LongList(), Dev({"ROOT\\A"}), Dev({"ROOT\\ZW"})};
    s.sim.PostMessage(w, WM_USER);
    Buffer search("zw");
    char found[zw::kHardwareIdBufferSize];
    ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    ExpectPumpBeforeEachDevice(s.sim, 4);
    EXPECT_EQ(pumped, 1);

    // A message posted while the box of the long list is up is dispatched by
    // the pump before the next device is read.
    s.sim.calls.clear();
    s.sim.boxAnswerDelayMs = 1000;
    s.sim.After(500, [&] { s.sim.PostMessage(w, WM_USER); });
    ASSERT_TRUE(zw::HardwareIdExists(found));
    ExpectPumpBeforeEachDevice(s.sim, 4);
    EXPECT_EQ(pumped, 2);
    size_t box = 0, dispatch = 0, nextRead = 0;
    for (size_t i = 0; i < s.sim.calls.size(); ++i) {
        const std::string& n = s.sim.calls[i].name;
        if (n == "MessageBoxA") box = i;
        if (n == "Dispatch" && box && !dispatch) dispatch = i;
        if (n == "SetupDiGetDeviceRegistryPropertyA" && box && !nextRead) nextRead = i;
    }
    EXPECT_LT(box, dispatch);
    EXPECT_LT(dispatch, nextRead);
}

TEST(Driver, AQuitRequestTakenByTheSearchPumpIsGivenBack)
{
    sim::SimScope s;
    s.sim.devices = {Dev({"ROOT\\A"}), Dev({"ROOT\\B"})};
    s.sim.PostQuitMessage(0);
    Buffer search("root\\b");
    char found[zw::kHardwareIdBufferSize];
    ASSERT_TRUE(zw::FindDeviceByHardwareId(search.text, found, sizeof found));
    EXPECT_EQ(s.sim.RunMessageLoop(1000), 0);
    EXPECT_FALSE(s.sim.timedOut);
}

// ---------------------------------------------------------------- HardwareIdExists

struct ExistsCase {
    const char* name;
    std::vector<Device> devices;
    std::string id;
    bool exists;
    size_t boxes;
};

void PrintTo(const ExistsCase& c, std::ostream* os) { *os << c.name; }

class ExistsTable : public ::testing::TestWithParam<ExistsCase> {};

TEST_P(ExistsTable, AcceptsOnlyTheWholeFirstId)
{
    const ExistsCase& c = GetParam();
    sim::SimScope s;
    s.sim.devices = c.devices;
    Buffer id(c.id);
    EXPECT_EQ(zw::HardwareIdExists(id.text), c.exists);
    EXPECT_EQ(s.sim.boxes.size(), c.boxes);
    EXPECT_EQ(s.sim.CountCalls("CM_Get_DevNode_Status"), 0u);  // presence plays no part
}

INSTANTIATE_TEST_SUITE_P(
    Driver, ExistsTable,
    ::testing::Values(
        ExistsCase{"ExactIdOtherCase", {Dev({"ROOT\\ZARNOWEL_TEST", "ZARNOWEL_TEST"})}, "root\\zarnowel_test", true, 0},
        ExistsCase{"PrefixNotAccepted", {Dev({"ROOT\\ZARNOWEL_TEST"})}, "root\\zarnowel", false, 0},
        ExistsCase{"LongerTextNotAccepted", {Dev({"ROOT\\ZARNOWEL_TEST"})}, "root\\zarnowel_test2", false, 0},
        ExistsCase{"FragmentNotAccepted", {Dev({"ROOT\\ZARNOWEL_TEST"})}, "zarnowel_test", false, 0},
        ExistsCase{"LaterStringNotAccepted", {Dev({"ROOT\\A", "ROOT\\ZW"})}, "ROOT\\ZW", false, 0},
        ExistsCase{"AbsentDeviceCounts", {Dev({"ROOT\\ZW"}, false)}, "root\\zw", true, 0},
        ExistsCase{"NoDevices", {}, "root\\zw", false, 0},
        ExistsCase{"NoIdsSkipped", {Unreadable(ERROR_INVALID_DATA), Dev({"ROOT\\ZW"})}, "root\\zw", true, 0},
        ExistsCase{"LongListBoxThenGoesOn", {LongList(), Dev({"ROOT\\ZW"})}, "root\\zw", true, 1},
        ExistsCase{"BoxForEachLongList",
                   {LongList(), Dev({"ROOT\\A"}), LongList(), Dev({"ROOT\\ZW"}), LongList()},
                   "root\\zw",
                   true,
                   2},
        ExistsCase{"BoxesAndNoMatch", {LongList(), LongList()}, "root\\long", false, 2},
        ExistsCase{"OtherErrorEnds", {Unreadable(kAccessDenied), Dev({"ROOT\\ZW"})}, "root\\zw", false, 0},
        ExistsCase{"OtherErrorAfterLongList", {LongList(), Unreadable(87), Dev({"ROOT\\ZW"})}, "root\\zw", false, 1}),
    [](const ::testing::TestParamInfo<ExistsCase>& info) { return std::string(info.param.name); });

TEST(Driver, TheLongListBoxIsKoreanWithoutOwner)
{
    sim::SimScope s;
    s.sim.devices = {LongList(), Dev({"ROOT\\ZW"})};
    Buffer id("root\\zw");
    ASSERT_TRUE(zw::HardwareIdExists(id.text));
    ASSERT_EQ(s.sim.boxes.size(), 1u);
    const sim::BoxShown& box = s.sim.boxes[0];
    EXPECT_EQ(box.owner, nullptr);
    // 버퍼가 부족합니다. / 오류 in code page 949
    EXPECT_EQ(box.text, "\xB9\xF6\xC6\xDB\xB0\xA1\x20\xBA\xCE\xC1\xB7\xC7\xD5\xB4\xCF\xB4\xD9\x2E");
    EXPECT_EQ(box.caption, "\xBF\xC0\xB7\xF9");
    EXPECT_EQ(box.type, MB_OK);
    EXPECT_STREQ(id.text, "ROOT\\ZW");
}

// ---------------------------------------------------------------- UpdateDeviceDriver

const zw::Hwnd kDialog = reinterpret_cast<zw::Hwnd>(0x4242);

TEST(Driver, UpdateHandsThePlatformTheUpperCasedIdAndTheFlagsAsTheyAre)
{
    for (uint32_t flags : {0u, 1u, 0x80000001u}) {
        sim::SimScope s;
        s.sim.devices = {Dev({"ROOT\\ZARNOWEL_TEST"}, false)};
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

struct UpdateOutcome {
    bool succeeds;
    int32_t platformReboot;
    int32_t rebootBefore;
    bool result;
    int32_t rebootAfter;
};

TEST(Driver, RebootRequiredComesOnlyFromTheUpdate)
{
    const UpdateOutcome outcomes[] = {
        {true, 0, 0, true, 0},
        {true, 1, 0, true, 1},
        {false, 1, 0, false, 0},  // a failed update leaves it
        {false, 1, 7, false, 7},
    };
    for (const UpdateOutcome& o : outcomes) {
        sim::SimScope s;
        s.sim.devices = {Dev({"ROOT\\ZW"})};
        s.sim.updateFails = !o.succeeds;
        s.sim.updateReboot = o.platformReboot;
        s.sim.updateError = 0xE0000203;
        char id[zw::kHardwareIdBufferSize] = "ROOT\\ZW";
        int32_t reboot = o.rebootBefore;
        EXPECT_EQ(zw::UpdateDeviceDriver(kDialog, id, "C:\\x.inf", 0, &reboot), o.result);
        EXPECT_EQ(reboot, o.rebootAfter);
        EXPECT_EQ(s.sim.updates.size(), 1u);
        EXPECT_TRUE(s.sim.boxes.empty());  // a failure is not shown
    }
}

TEST(Driver, NoUpdateWithoutAFirstIdEqualToTheText)
{
    struct Case {
        std::vector<Device> devices;
        bool classDevsFails;
        const char* id;
    };
    const Case cases[] = {
        {{Dev({"ROOT\\ZARNOWEL_TEST"})}, false, "ROOT\\ZARNOWEL"},
        {{Dev({"ROOT\\A", "ROOT\\ZW"})}, false, "ROOT\\ZW"},
        {{Unreadable(kAccessDenied), Dev({"ROOT\\ZW"})}, false, "ROOT\\ZW"},
        {{Dev({"ROOT\\ZW"})}, true, "ROOT\\ZW"},
        {{}, false, "ROOT\\ZW"},
    };
    for (const Case& c : cases) {
        sim::SimScope s;
        s.sim.devices = c.devices;
        s.sim.classDevsFails = c.classDevsFails;
        s.sim.updateReboot = 1;
        char id[zw::kHardwareIdBufferSize];
        std::snprintf(id, sizeof id, "%s", c.id);
        int32_t reboot = 0;
        EXPECT_FALSE(zw::UpdateDeviceDriver(kDialog, id, "C:\\x.inf", 0, &reboot)) << c.id;
        EXPECT_TRUE(s.sim.updates.empty());
        EXPECT_EQ(reboot, 0);
    }
}

TEST(Driver, BadArgumentsAreRefusedWithoutTouchingThePlatform)
{
    sim::SimScope s;
    s.sim.devices = {Dev({"ROOT\\ZW"})};
    char id[8] = "ROOT\\ZW";
    char found[zw::kHardwareIdBufferSize];
    EXPECT_FALSE(zw::FindDeviceByHardwareId(nullptr, found, sizeof found));
    EXPECT_FALSE(zw::FindDeviceByHardwareId(id, nullptr, 0));
    EXPECT_FALSE(zw::HardwareIdExists(nullptr));
    EXPECT_FALSE(zw::UpdateDeviceDriver(nullptr, nullptr, "C:\\x.inf", 0, nullptr));
    EXPECT_FALSE(zw::UpdateDeviceDriver(nullptr, id, nullptr, 0, nullptr));
    EXPECT_TRUE(s.sim.calls.empty());
}

// ---------------------------------------------------------------- the driver step as the dialog runs it

struct StepResult {
    bool updated;
    int32_t rebootPending;
};

// Find into the dialog's zero-filled buffer, update only when something was
// found, take the restart need from the update.
StepResult RunDriverStep(char* parameters, int32_t rebootPending)
{
    char foundHardwareId[zw::kHardwareIdBufferSize] = {};
    int32_t rebootRequired = 0;
    zw::FindDeviceByHardwareId(parameters, foundHardwareId, sizeof foundHardwareId);
    bool updated = false;
    if (foundHardwareId[0] != '\0') {
        updated = zw::UpdateDeviceDriver(kDialog, foundHardwareId, "C:\\setup\\zwtest.inf", 0, &rebootRequired);
        if (rebootRequired == 1) rebootPending = 1;
    }
    return {updated, rebootPending};
}

TEST(Driver, StepWithoutAMatchingPresentDeviceInstallsNothingAndShowsNothing)
{
    sim::SimScope s;
    s.sim.devices = {LongList(), Dev({"ROOT\\ZARNOWEL_TEST"}, false), Dev({"PCI\\VEN_8086"})};
    s.sim.updateReboot = 1;
    Buffer parameters("zarnowel_test");
    StepResult r = RunDriverStep(parameters.text, 0);
    EXPECT_FALSE(r.updated);
    EXPECT_EQ(r.rebootPending, 0);
    EXPECT_TRUE(s.sim.updates.empty());
    EXPECT_TRUE(s.sim.boxes.empty());
    EXPECT_STREQ(parameters.text, "ZARNOWEL_TEST");
    EXPECT_EQ(s.sim.CountCalls("SetupDiGetClassDevsA"), 1u);
}

TEST(Driver, StepWithALongListBeforeTheMatchShowsTheBoxDuringTheUpdateThenInstalls)
{
    sim::SimScope s;
    s.sim.devices = {LongList(), Dev({"ROOT\\ZARNOWEL_TEST", "ROOT\\COMPAT"})};
    s.sim.boxAnswerDelayMs = 2000;  // the user takes two seconds to close it
    s.sim.updateReboot = 1;
    Buffer parameters("Zarnowel");
    StepResult r = RunDriverStep(parameters.text, 0);
    EXPECT_TRUE(r.updated);
    EXPECT_EQ(r.rebootPending, 1);
    ASSERT_EQ(s.sim.boxes.size(), 1u);  // from the check inside the update, not from the search
    ASSERT_EQ(s.sim.updates.size(), 1u);
    EXPECT_EQ(s.sim.updates[0].hardwareId, "ROOT\\ZARNOWEL_TEST");
    EXPECT_EQ(s.sim.boxes[0].time, 0u);
    EXPECT_EQ(s.sim.updates[0].time, 2000u);                  // after the box was closed
    EXPECT_EQ(s.sim.CountCalls("SetupDiGetClassDevsA"), 2u);  // the list is walked twice
}

TEST(Driver, StepKeepsAnEarlierRestartNeedWhenTheUpdateFails)
{
    sim::SimScope s;
    s.sim.devices = {Dev({"ROOT\\ZARNOWEL_TEST"})};
    s.sim.updateFails = true;
    Buffer parameters("zarnowel");
    EXPECT_EQ(RunDriverStep(parameters.text, 1).rebootPending, 1);
    Buffer again("zarnowel");
    EXPECT_EQ(RunDriverStep(again.text, 0).rebootPending, 0);
    EXPECT_EQ(s.sim.updates.size(), 2u);
}

}  // namespace
