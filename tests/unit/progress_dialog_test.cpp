// Supervised and driver items under the ProgressDialog, on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/driver_update.h"
#include "platform/win_values.h"
#include "restart/restart.h"
#include "sequencer/progress_dialog.h"
#include "setuplist/setup_list.h"
#include "resource.h"
#include "sim/launcher_test.h"
#include "state/run_state.h"

namespace {

using namespace zw::win;

constexpr uint64_t kSec = 1000;

class Dialog : public sim::LauncherTest {};
class DriverDialog : public sim::LauncherTest {};

TEST_F(Dialog, ClosesSoonAfterItsProgramEndsWhenNothingElseIsNamed)
{
    Program("C:\\setup\\a.exe", 3 * kSec);
    List("Setup1=1,a.exe,/quiet\n");
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(sim.dialogs.size(), 1u);
    const sim::DialogRun& d = sim.dialogs[0];
    EXPECT_EQ(d.templateId, IDD_PROGRESS_ENG);
    EXPECT_EQ(d.owner, window);
    EXPECT_EQ(d.result, zw::kDialogWaitDone);
    ASSERT_EQ(sim.starts.size(), 1u);
    EXPECT_EQ(sim.starts[0].parameters, "/quiet");
    const uint64_t programEnd = sim.starts[0].time + 3 * kSec;
    EXPECT_GT(d.closed, programEnd);
    EXPECT_LE(d.closed - programEnd, 800u);
}

TEST_F(Dialog, KoreanLocaleOpensTheKoreanTemplate)
{
    sim.lcid = 0x0412;
    Program("C:\\setup\\a.exe", 100);
    List("Setup1=1,a.exe,x\n");
    Run();
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_EQ(sim.dialogs[0].templateId, IDD_PROGRESS_KOR);
}

TEST_F(Dialog, WaitListUsesStarSeparatedExactNames)
{
    struct {
        const char* waitList;
        const char* runningImage;
        bool waits;
    } const cases[] = {
        {"b.exe*c.exe", "c.exe", true},                             // two entries, the second runs
        {"b.exe~c.exe", "c.exe", false},                            // one entry "b.exe~c.exe": matches nothing
        {"*.tmp", "x.tmp", false},                                  // split at the star into ".tmp", an exact name
        {"*.tmp", ".tmp", true},         {"C.EXE", "c.exe", true},  // ASCII case ignored
    };
    for (const auto& c : cases) {
        sim::Launcher inner;
        inner.Program("C:\\setup\\a.exe", 1000);
        inner.sim.AddProcess(c.runningImage, 0, 20 * kSec);
        inner.List(std::string("Setup1=1,a.exe,p,") + c.waitList + "\n");
        inner.Run(120 * kSec);
        ASSERT_EQ(inner.sim.dialogs.size(), 1u) << c.waitList;
        const uint64_t closed = inner.sim.dialogs[0].closed;
        if (c.waits) {
            EXPECT_GE(closed, 20 * kSec) << c.waitList;
        } else {
            EXPECT_LT(closed, 3 * kSec) << c.waitList;
        }
    }
}

// A package with no wait list is waited for through the installation's own
// process: the tick after it has ended, and its 300 ms sleep, close the
// dialog. One that names the installer waits for it.
TEST_F(Dialog, PackageWaitsForItsProcessOrTheInstallerNamed)
{
    for (const bool named : {false, true}) {
        sim::Launcher l;
        const uint64_t runsMs = named ? 30 * kSec : 60 * kSec;
        l.Program("C:\\setup\\setup.msi", runsMs, "msiexec.exe");
        l.List(named ? "Setup1=1,setup.msi,/qn,msiexec.exe\n" : "Setup1=1,setup.msi,/qn\n");
        l.Run();
        ASSERT_EQ(l.sim.dialogs.size(), 1u) << named;
        const uint64_t ended = l.sim.starts[0].time + runsMs;
        EXPECT_GE(l.sim.dialogs[0].closed, ended) << named;
        if (!named) {
            EXPECT_LE(l.sim.dialogs[0].closed, ended + 500 + 300);
        }
    }
}

TEST_F(Dialog, EscEndsTheDialogButNotTheProgram)
{
    Program("C:\\setup\\a.exe", 60 * kSec);
    Program("C:\\setup\\b.exe", 100);
    List("Setup1=1,a.exe,x\nSetup2=1,b.exe, ,\n");
    sim.At(5 * kSec, [&] { sim.PostMessage(sim.OpenDialog(), WM_COMMAND, IDCANCEL); });
    Run();
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_EQ(sim.dialogs[0].result, IDCANCEL);
    EXPECT_EQ(sim.dialogs[0].closed, 5 * kSec);
    const auto a = std::find_if(sim.processes.begin(), sim.processes.end(),
                                [](const sim::Process& p) { return p.image == "a.exe"; });
    ASSERT_NE(a, sim.processes.end());
    EXPECT_TRUE(sim.Running(*a));  // left running: nothing is ever ended
    ASSERT_EQ(sim.starts.size(), 2u);
    // The next item is taken up 500 ms later.
    EXPECT_GE(sim.starts[1].time, 5 * kSec + 500);
    EXPECT_LE(sim.starts[1].time, 5 * kSec + 500 + 10);
}

TEST_F(Dialog, CopiedFileWithParametersIsStartedAndWaitedFor)
{
    Program("C:\\setup\\b.exe", 4 * kSec);
    List("Setup1=2,b.exe,/x\n");
    Run();
    ASSERT_EQ(sim.starts.size(), 1u);
    EXPECT_EQ(sim.starts[0].file, "C:\\windows\\b.exe");
    EXPECT_EQ(sim.starts[0].parameters, "/x");
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_EQ(sim.dialogs[0].result, zw::kDialogWaitDone);
    EXPECT_GE(sim.dialogs[0].closed, sim.starts[0].time + 4 * kSec);
}

TEST_F(DriverDialog, InstallsForThePresentDeviceWithTheInfFromTheProgramDirectory)
{
    // An earlier relative item moved the current directory to sub, where a
    // file of the same name lies: the existence test finds that one, the
    // update is given the one beside the list.
    Program("C:\\setup\\sub\\a.exe", 100);
    sim.AddFile("C:\\setup\\sub\\drv.inf");
    sim.AddFile("C:\\setup\\drv.inf");
    Device({"PCI\\VEN_1234&DEV_0001", "PCI\\VEN_1234"});
    List("Setup1=1,sub\\a.exe, ,\nSetup2=0,drv.inf,ven_1234&dev\n");
    Run();
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_EQ(sim.dialogs[0].result, zw::kDialogDriverDone);
    ASSERT_EQ(sim.updates.size(), 1u);
    EXPECT_EQ(sim.updates[0].infPath, "C:\\setup\\drv.inf");
    EXPECT_EQ(sim.updates[0].hardwareId, "PCI\\VEN_1234&DEV_0001");
    EXPECT_EQ(sim.updates[0].flags, 0u);
    EXPECT_EQ(sim.updates[0].owner, sim.dialogs[0].hwnd);
    // The device work starts only after the dialog's first timer.
    EXPECT_EQ(sim.updates[0].time - sim.dialogs[0].opened, 500u);
    // The item's own hardware-ID text reads upper-cased afterwards.
    EXPECT_EQ(zw::SetupItemAt(2).parameters, "VEN_1234&DEV");
}

// A list longer than the buffer before the device: the search passes over
// it without a word, the check inside the update shows its box, and the
// update waits until that box is closed.
TEST_F(DriverDialog, RestartNeedComesFromTheDriverUpdateAlone)
{
    sim.AddFile("C:\\setup\\drv.inf");
    Device({std::string(400, 'L'), "ROOT\\LONG"});
    Device({"USB\\VID_0001"});
    sim.updateReboot = 1;
    sim.boxAnswerDelayMs = 2000;
    List("Setup1=0,drv.inf,VID_0001\n");
    Run();
    EXPECT_EQ(zw::rebootPending, 1);
    ASSERT_EQ(sim.boxes.size(), 2u);
    EXPECT_EQ(sim.boxes[0].caption, zw::kBufferTooSmallCaption);
    EXPECT_EQ(sim.boxes[1].caption, zw::kRestartCaptionEnglish);
    ASSERT_EQ(sim.updates.size(), 1u);
    EXPECT_EQ(sim.updates[0].time, sim.boxes[0].time + 2000);
    EXPECT_EQ(sim.CountCalls("SetupDiGetClassDevsA"), 2u);  // the search, then the check
}

// A failed update leaves the restart need an earlier item left.
TEST_F(DriverDialog, AFailedUpdateKeepsAnEarlierRestartNeed)
{
    Program("C:\\setup\\a.exe", 100);
    sim.AddFile("C:\\setup\\drv.inf");
    Device({"USB\\VID_0001"});
    sim.updateFails = true;
    sim.updateReboot = 1;
    List("Setup1=1,a.exe, , ,1\nSetup2=0,drv.inf,VID_0001\n");
    Run();
    EXPECT_EQ(sim.updates.size(), 1u);
    EXPECT_EQ(zw::rebootPending, 1);
}

// The named device is there but absent, and a list too long for the buffer
// stands before it: nothing is installed and nothing shown.
TEST_F(DriverDialog, NoMatchingDeviceInstallsNothingAndSaysNothing)
{
    sim.AddFile("C:\\setup\\drv.inf");
    Device({std::string(400, 'L'), "ROOT\\LONG"});
    Device({"USB\\VID_9999"}, false);
    Device({"USB\\VID_0001"});
    sim.updateReboot = 1;
    List("Setup1=0,drv.inf,vid_9999,x,1\n");
    Run();
    EXPECT_TRUE(sim.updates.empty());
    EXPECT_TRUE(sim.boxes.empty());
    EXPECT_EQ(zw::rebootPending, 0);
    EXPECT_EQ(zw::SetupItemAt(1).parameters, "VID_9999");
    EXPECT_EQ(sim.CountCalls("SetupDiGetClassDevsA"), 1u);
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_EQ(sim.dialogs[0].closed - sim.dialogs[0].opened, 500u);
}

TEST_F(DriverDialog, ClosingDuringTheDriverStepDoesNotStopIt)
{
    sim.AddFile("C:\\setup\\drv.inf");
    for (int i = 0; i < 5; ++i) Device({"ACPI\\OTHER" + std::to_string(i)});
    Device({"USB\\VID_0001"});
    List("Setup1=0,drv.inf,VID_0001\n");
    // The Esc arrives while the device list is being walked: the walk's own
    // pump hands it to the dialog.
    sim.onCall = [&](const sim::Call& c) {
        if (c.name == "SetupDiEnumDeviceInfo" && c.detail == "2" && sim.updates.empty())
            sim.PostMessage(sim.OpenDialog(), WM_COMMAND, IDCANCEL);
    };
    Run();
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_EQ(sim.dialogs[0].result, IDCANCEL);
    EXPECT_EQ(sim.updates.size(), 1u);
}

// Where no box may come up (a silent run, a window station nobody sees) the
// update may not ask either: an untrusted package then fails, and the log
// says with what.
TEST_F(DriverDialog, UpdateIsNonInteractiveWhereNoBoxMayComeUp)
{
    struct {
        bool silent, hidden;
        uint32_t flags;
    } const cases[] = {
        {false, false, 0},
        {true, false, INSTALLFLAG_NONINTERACTIVE},
        {false, true, INSTALLFLAG_NONINTERACTIVE},
        {true, true, INSTALLFLAG_NONINTERACTIVE},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.silent ? "silent" : "asked") + (c.hidden ? ", hidden" : "");
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.stationVisible = !c.hidden;
        s.updateFails = true;
        s.updateError = 0xE0000242;  // ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED
        s.AddFile("C:\\setup\\drv.inf");
        l.Device({"USB\\VID_0001"});
        s.AddLauncher(std::string(c.silent ? "[SetupSilent]" : "[SetupList]") + "\nSetup1=0,drv.inf,VID_0001\n");
        l.RunWhole(std::string(c.silent ? "/s " : "") + "/log:" + sim::kLog, 600 * kSec);
        ASSERT_EQ(s.updates.size(), 1u) << what;
        EXPECT_EQ(s.updates[0].flags, c.flags) << what;
        EXPECT_TRUE(s.boxes.empty()) << what;
        EXPECT_EQ(zw::rebootPending, 0) << what;
        const std::string failed =
            std::string("drv.inf") + (c.flags != 0 ? " (no interaction)" : "") + " failed: error (0xE0000242)";
        EXPECT_NE(l.Log().find(failed), std::string::npos) << what << ":\n" << l.Log();
    }
}

// The update runs on a thread of its own: while it installs, the dialog's
// messages are dispatched as they come, and the run goes on only once it is
// done. Made on the dialog's thread (no thread to be had), it holds them all
// until the dialog is gone: none is served while it stands.
TEST_F(DriverDialog, DialogIsServedWhileTheDriverInstalls)
{
    for (const bool threadFails : {false, true}) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.threadCreateFails = threadFails;
        s.updateDurationMs = 60 * kSec;
        s.updateReboot = 1;
        s.AddFile("C:\\setup\\drv.inf");
        s.AddFile("C:\\setup\\b.exe");
        l.Device({"USB\\VID_0001"});
        l.List("Setup1=0,drv.inf,VID_0001\nSetup2=1,b.exe, ,\n");
        // A message for the dialog every 10 s while it stands (a repaint, a mouse move).
        std::vector<uint64_t> posted;
        for (uint64_t t = 2 * kSec; t < 60 * kSec; t += 10 * kSec)
            s.At(t, [&s, &posted] {
                posted.push_back(s.now);
                s.PostMessage(s.OpenDialog(), WM_USER);
            });
        l.Run();
        ASSERT_EQ(s.updates.size(), 1u) << threadFails;
        EXPECT_EQ(s.updates[0].onThread, !threadFails);
        // Its own thread joins the multithreaded apartment around the update;
        // the window's thread keeps its own.
        std::vector<std::string> com;
        for (const sim::Call& call : s.calls)
            if (call.name.rfind("Co", 0) == 0 || call.name.rfind("UpdateDriver", 0) == 0)
                com.push_back(call.name.substr(0, 12) + ":" + (call.name[0] == 'C' ? call.detail : ""));
        const std::vector<std::string> onThread = {"CoInitialize:0|thread", "UpdateDriver:", "CoUninitiali:thread"};
        EXPECT_EQ(com, threadFails ? std::vector<std::string>{"UpdateDriver:"} : onThread);
        const uint64_t installed = s.updates[0].time + 60 * kSec;
        std::vector<uint64_t> dispatched;
        for (const sim::Call& call : s.CallsNamed("Dispatch"))
            if (call.detail == std::to_string(WM_USER) + ":0") dispatched.push_back(call.time);
        EXPECT_EQ(posted.size(), 6u);
        EXPECT_EQ(dispatched, threadFails ? std::vector<uint64_t>{} : posted) << threadFails;
        ASSERT_EQ(s.dialogs.size(), 1u);
        EXPECT_EQ(s.dialogs[0].closed, installed);
        EXPECT_EQ(s.dialogs[0].result, zw::kDialogDriverDone);
        ASSERT_EQ(s.starts.size(), 1u);
        EXPECT_GE(s.starts[0].time, installed + 500);  // the next item waits for the driver
        EXPECT_EQ(zw::rebootPending, 1);
    }
}

// Closing the dialog while the driver installs closes it once the driver is
// installed: the next item, or the end of the run, never starts under a
// driver installation still going on. The run log keeps its order.
TEST_F(DriverDialog, CloseWhileTheDriverInstallsWaitsForIt)
{
    sim.updateDurationMs = 60 * kSec;
    sim.updateReboot = 1;
    sim.AddFile("C:\\setup\\drv.inf");
    Device({"USB\\VID_0001"});
    Program("C:\\setup\\b.exe", 100);
    List("Setup1=0,drv.inf,VID_0001\nSetup2=1,b.exe, ,\n");
    sim.At(10 * kSec, [&] { sim.PostMessage(sim.OpenDialog(), WM_COMMAND, IDCANCEL); });
    sim.At(20 * kSec, [&] { sim.PostMessage(sim.OpenDialog(), WM_COMMAND, IDOK); });
    EXPECT_EQ(RunWhole(std::string("/log:") + sim::kLog), 3010);  // the driver's restart is still needed at the end
    ASSERT_EQ(sim.updates.size(), 1u);
    const uint64_t installed = sim.updates[0].time + 60 * kSec;
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_EQ(sim.dialogs[0].result, IDCANCEL);  // the first close asked for
    EXPECT_EQ(sim.dialogs[0].closed, installed);
    EXPECT_EQ(sim.CountCalls("EndDialog"), 1u);
    ASSERT_EQ(sim.starts.size(), 1u);
    EXPECT_GE(sim.starts[0].time, installed + 500);
    EXPECT_EQ(zw::rebootPending, 1);
    EXPECT_TRUE(sim::InOrder(Log(), {"item 1: device found by \"VID_0001\"",
                                     "item 1: the dialog was closed by the user (Esc or its close box); it closes once",
                                     "item 1: the dialog was closed by the user (Enter); it closes once",
                                     "driver: C:\\setup\\drv.inf installed for USB\\VID_0001; the system asks",
                                     "item 1: driver installed; it asks for a restart", "item 2: "}));
}

}  // namespace
