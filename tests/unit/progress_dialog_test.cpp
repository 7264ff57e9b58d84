// Supervised and driver items under the ProgressDialog, on the virtual clock.
#include <gtest/gtest.h>

#include <string>

#include "platform/win_values.h"
#include "sequencer/installer_window.h"
#include "sequencer/progress_dialog.h"
#include "state/run_state.h"
#include "setuplist/setup_list.h"
#include "sim/launcher_test.h"
#include "sim/sim_windows.h"

namespace {

using namespace zw::win;

constexpr uint64_t kSec = 1000;

class Dialog : public sim::LauncherTest {
protected:
    const sim::Process* ProcessNamed(const std::string& image) const
    {
        for (const sim::Process& p : sim.processes)
            if (p.image == image) return &p;
        return nullptr;
    }
};

TEST_F(Dialog, ClosesSoonAfterItsProgramEndsWhenNothingElseIsNamed)
{
    Program("C:\\setup\\a.exe", 3 * kSec);
    List("Setup1=1,a.exe,/quiet\n");
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(sim.dialogs.size(), 1u);
    const sim::DialogRun& d = sim.dialogs[0];
    EXPECT_EQ(d.templateId, 103);
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
    EXPECT_EQ(sim.dialogs[0].templateId, 132);
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
        sim::SimScope inner;
        zw::ResetRunState();
        zw::ResetSetupList();
        inner.sim.AddFile(inner.sim.modulePath);
        inner.sim.AddFile("C:\\setup\\a.exe");
        inner.sim.programs["A.EXE"] = {"", 1000, {}};
        inner.sim.AddProcess(c.runningImage, 0, 20 * kSec);
        inner.sim.AddFile("C:\\setup\\Zarnowel.ini", std::string("[SetupList]\nSetup1=1,a.exe,p,") + c.waitList + "\n");
        inner.sim.CreateTestWindow(zw::InstallerWindowProc);
        inner.sim.RunMessageLoop(120 * kSec);
        ASSERT_EQ(inner.sim.dialogs.size(), 1u) << c.waitList;
        const uint64_t closed = inner.sim.dialogs[0].closed;
        if (c.waits) {
            EXPECT_GE(closed, 20 * kSec) << c.waitList;
        } else {
            EXPECT_LT(closed, 3 * kSec) << c.waitList;
        }
    }
}

TEST_F(Dialog, PackageWithNoWaitListIsWaitedForThroughItsProcess)
{
    sim.AddFile("C:\\setup\\setup.msi");
    sim.programs["SETUP.MSI"] = {"msiexec.exe", 60 * kSec, {}};
    List("Setup1=1,setup.msi,/qn\n");
    Run();
    ASSERT_EQ(sim.dialogs.size(), 1u);
    // The installation's own process holds the dialog; the tick after it has
    // ended, and its 300 ms sleep, close it.
    const uint64_t ended = sim.starts[0].time + 60 * kSec;
    EXPECT_GE(sim.dialogs[0].closed, ended);
    EXPECT_LE(sim.dialogs[0].closed, ended + 500 + 300);
}

TEST_F(Dialog, PackageWaitsForTheInstallerNamedInItsWaitList)
{
    sim.AddFile("C:\\setup\\setup.msi");
    sim.programs["SETUP.MSI"] = {"msiexec.exe", 30 * kSec, {}};
    List("Setup1=1,setup.msi,/qn,msiexec.exe\n");
    Run();
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_GE(sim.dialogs[0].closed, sim.starts[0].time + 30 * kSec);
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
    const sim::Process* a = ProcessNamed("a.exe");
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->terminated);
    ASSERT_EQ(sim.starts.size(), 2u);
    // The next item is taken up 500 ms later.
    EXPECT_GE(sim.starts[1].time, 5 * kSec + 500);
    EXPECT_LE(sim.starts[1].time, 5 * kSec + 500 + 10);
}

TEST_F(Dialog, CopiedFileWithParametersIsStartedAndWaitedFor)
{
    sim.AddFile("C:\\setup\\b.exe");
    sim.programs["B.EXE"] = {"", 4 * kSec, {}};
    List("Setup1=2,b.exe,/x\n");
    Run();
    ASSERT_EQ(sim.starts.size(), 1u);
    EXPECT_EQ(sim.starts[0].file, "C:\\windows\\b.exe");
    EXPECT_EQ(sim.starts[0].parameters, "/x");
    ASSERT_EQ(sim.dialogs.size(), 1u);
    EXPECT_EQ(sim.dialogs[0].result, zw::kDialogWaitDone);
    EXPECT_GE(sim.dialogs[0].closed, sim.starts[0].time + 4 * kSec);
}

class DriverDialog : public Dialog {
protected:
    void Device(const std::vector<std::string>& ids, bool present = true)
    {
        sim.devices.push_back({sim::MultiSz(ids), 0, present});
    }
};

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

TEST_F(DriverDialog, RestartNeedComesFromTheDriverUpdateAlone)
{
    sim.AddFile("C:\\setup\\drv.inf");
    Device({"USB\\VID_0001"});
    sim.updateReboot = 1;
    List("Setup1=0,drv.inf,VID_0001\n");
    Run();
    EXPECT_EQ(zw::rebootPending, 1);
    ASSERT_FALSE(sim.boxes.empty());
    EXPECT_EQ(sim.boxes.back().caption, "System Rebooting");
}

TEST_F(DriverDialog, NoMatchingDeviceInstallsNothingAndSaysNothing)
{
    sim.AddFile("C:\\setup\\drv.inf");
    Device({"USB\\VID_0001"});
    List("Setup1=0,drv.inf,VID_9999,x,1\n");
    Run();
    EXPECT_TRUE(sim.updates.empty());
    EXPECT_TRUE(sim.boxes.empty());
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

}  // namespace
