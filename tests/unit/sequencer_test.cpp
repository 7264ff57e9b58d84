// The install sequence on the simulated Windows: whole runs of the
// InstallerWindow, timed on the virtual clock.
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

constexpr uint64_t kMs = 1;
constexpr uint64_t kSec = 1000;

class Sequence : public sim::LauncherTest {
protected:
    // Times at which the next item was armed: the end of each item.
    std::vector<uint64_t> Advances() const
    {
        std::vector<uint64_t> out;
        for (const sim::Call& c : sim.CallsNamed("SetTimer"))
            if (c.detail == "200:500") out.push_back(c.time);
        return out;
    }
    const sim::Start* StartOf(const std::string& resolved) const
    {
        for (const sim::Start& s : sim.starts)
            if (sim::UpperAscii(s.resolved) == sim::UpperAscii(resolved)) return &s;
        return nullptr;
    }
    bool Asked() const
    {
        for (const sim::BoxShown& b : sim.boxes)
            if (b.caption == "System Rebooting") return true;
        return false;
    }
};

TEST_F(Sequence, NoListEndsHalfASecondAfterCreationWithoutAQuestion)
{
    EXPECT_EQ(Run(), 2);
    EXPECT_FALSE(sim.IsAlive(window));
    ASSERT_EQ(sim.CountCalls("DestroyWindow"), 1u);
    EXPECT_EQ(sim.CallsNamed("DestroyWindow")[0].time, 500 * kMs);
    EXPECT_TRUE(sim.starts.empty());
    EXPECT_TRUE(sim.boxes.empty());
    EXPECT_EQ(sim.ArmedTimers(), 0u);
}

TEST_F(Sequence, UnknownKindEndsTheRunButEarlierItemsStillCountForTheRestart)
{
    for (const char* name : {"a.exe", "b.exe", "d.exe", "e.exe"}) Program(std::string("C:\\setup\\") + name, 1000);
    List("Setup1=1,a.exe, , ,1\nSetup2=1,b.exe, ,\nSetup3=3,c.exe, ,\nSetup4=1,d.exe, ,\nSetup5=1,e.exe, ,\n");
    EXPECT_EQ(Run(), 13);
    ASSERT_EQ(sim.starts.size(), 2u);
    EXPECT_EQ(sim.starts[0].resolved, "C:\\setup\\a.exe");
    EXPECT_EQ(sim.starts[1].resolved, "C:\\setup\\b.exe");
    EXPECT_TRUE(Asked());
}

TEST_F(Sequence, OnlyASingleBlankStartsDirectly)
{
    struct {
        const char* value;
        bool direct;
    } const cases[] = {
        {"1,a.exe, ,", true},      {"1,a.exe, , ,1", true},  // the restart question is answered No: 3010
        {"\"1,a.exe, \"", true},                             // quoted, so the reader keeps the blank
        {"1,a.exe, ", false},                                // the profile reader drops a blank at the end of a value
        {"1,a.exe,  ", false},                               // two blanks
        {"1,a.exe", false},                                  // no parameters field at all
        {"1,a.exe,/quiet", false},
    };
    for (const auto& c : cases) {
        sim::SimScope inner;
        zw::ResetRunState();
        zw::ResetSetupList();
        inner.sim.AddFile(inner.sim.modulePath);
        inner.sim.AddFile("C:\\setup\\a.exe");
        inner.sim.AddFile("C:\\setup\\Zarnowel.ini", std::string("[SetupList]\nSetup1=") + c.value + "\n");
        inner.sim.CreateTestWindow(zw::InstallerWindowProc);
        EXPECT_EQ(inner.sim.RunMessageLoop(60 * kSec), std::string(c.value).find(",1") != std::string::npos ? 3010 : 0)
            << c.value;
        ASSERT_EQ(inner.sim.starts.size(), 1u) << c.value;
        EXPECT_EQ(inner.sim.dialogs.empty(), c.direct) << c.value;
        if (c.direct) {
            EXPECT_EQ(inner.sim.starts[0].parameters, " ");
        } else {
            EXPECT_EQ(inner.sim.dialogs[0].templateId, 103);
        }
    }
}

TEST_F(Sequence, RestartFlagCountsOnlyForAFoundFileOfKindOneOrTwo)
{
    sim.AddFile("C:\\setup\\d.inf");
    List("Setup1=1,missing.exe, , ,1\nSetup2=0,d.inf,NOSUCHDEVICE,x,1\n");
    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(zw::rebootPending, 0);
    EXPECT_FALSE(Asked());
}

TEST_F(Sequence, RestartFlagMustBeExactlyOne)
{
    Program("C:\\setup\\a.exe", 100);
    List("Setup1=1,a.exe, , ,10\nSetup2=1,a.exe, , ,1 x\n");
    Run();
    EXPECT_EQ(zw::rebootPending, 0);
}

TEST_F(Sequence, ARelativeProgramMovesTheCurrentDirectoryForTheRestOfTheRun)
{
    Program("C:\\setup\\sub\\a.exe", 500);
    Program("C:\\setup\\b.exe", 500);  // beside the list, not in sub
    sim.AddFile("C:\\setup\\d.inf");
    Program("C:\\setup\\c.exe", 500);
    List("Setup1=1,sub\\a.exe, ,\nSetup2=2,b.exe, ,\nSetup3=0,d.inf,X\nSetup4=1,c.exe, ,\n");
    EXPECT_EQ(Run(), 2);
    ASSERT_EQ(sim.starts.size(), 2u);
    EXPECT_EQ(sim.starts[0].resolved, "C:\\setup\\sub\\a.exe");
    EXPECT_EQ(sim.starts[0].file, ".\\a.exe");
    EXPECT_EQ(sim.starts[0].directory, "C:\\setup\\sub");
    // kind '2' looked in sub and was skipped without a word; kind '0' said so.
    EXPECT_FALSE(sim.HasFile("C:\\windows\\b.exe"));
    ASSERT_EQ(sim.boxes.size(), 1u);
    EXPECT_EQ(sim.boxes[0].caption, "file open error");
    EXPECT_EQ(sim.boxes[0].text, ".\\d.inf");
    EXPECT_EQ(sim.boxes[0].owner, nullptr);
    // A later relative item counts from programDirectory again.
    EXPECT_EQ(sim.starts[1].resolved, "C:\\setup\\c.exe");
    EXPECT_EQ(sim.currentDirectory, "C:\\setup");
}

TEST_F(Sequence, ANetworkPathCountsAsRelative)
{
    Program("C:\\setup\\server\\share\\a.exe", 100);
    List("Setup1=1,\\\\server\\share\\a.exe, ,\n");
    Run();
    ASSERT_EQ(sim.starts.size(), 1u);
    EXPECT_EQ(sim.starts[0].file, ".\\a.exe");
    EXPECT_EQ(sim.starts[0].resolved, "C:\\setup\\server\\share\\a.exe");
}

TEST_F(Sequence, AbsoluteProgramLeavesTheCurrentDirectory)
{
    Program("D:\\tools\\a.exe", 100);
    List("Setup1=1,D:\\tools\\a.exe, ,\n");
    Run();
    ASSERT_EQ(sim.starts.size(), 1u);
    EXPECT_EQ(sim.starts[0].file, "D:\\tools\\a.exe");
    EXPECT_EQ(sim.currentDirectory, "C:\\setup");
}

TEST_F(Sequence, KindTwoIsCopiedIntoTheWindowsDirectoryOverAnOlderCopyAndRunThere)
{
    sim.AddFile("C:\\windows\\b.exe", "old");
    sim.AddFile("C:\\setup\\b.exe", "new");
    List("Setup1=2,b.exe, ,\n");
    Run();
    EXPECT_EQ(sim.FileContent("C:\\windows\\b.exe"), "new");
    ASSERT_EQ(sim.starts.size(), 1u);
    EXPECT_EQ(sim.starts[0].file, "C:\\windows\\b.exe");
}

TEST_F(Sequence, KindTwoWithADriveLetterRunsOnlyAnEarlierCopy)
{
    sim.AddFile("D:\\x\\b.exe", "new");
    List("Setup1=2,D:\\x\\b.exe, ,\n");
    Run();
    EXPECT_TRUE(sim.starts.empty());  // ".\D:\x\b.exe" names nothing

    sim::SimScope again;
    zw::ResetRunState();
    zw::ResetSetupList();
    again.sim.AddFile(again.sim.modulePath);
    again.sim.AddFile("D:\\x\\b.exe", "new");
    again.sim.AddFile("C:\\windows\\b.exe", "old");
    again.sim.AddFile("C:\\setup\\Zarnowel.ini", "[SetupList]\nSetup1=2,D:\\x\\b.exe, ,\n");
    again.sim.CreateTestWindow(zw::InstallerWindowProc);
    again.sim.RunMessageLoop(60 * kSec);
    ASSERT_EQ(again.sim.starts.size(), 1u);
    EXPECT_EQ(again.sim.starts[0].file, "C:\\windows\\b.exe");
    EXPECT_EQ(again.sim.FileContent("C:\\windows\\b.exe"), "old");
}

TEST_F(Sequence, DirectPackageWithNoWaitListIsWaitedForThroughItsProcessThenTheGracePeriod)
{
    sim.AddFile("C:\\setup\\setup.msi");
    sim.programs["SETUP.MSI"] = {"msiexec.exe", 60 * kSec, {}};
    uint32_t first = sim.AddProcess("msiexec.exe", 0);
    uint32_t second = sim.AddProcess("MSIEXEC.EXE", 0);
    uint32_t third = sim.AddProcess("msiexec.exe", 0);
    List("Setup1=1,setup.msi, ,\n");
    Run();
    ASSERT_EQ(sim.starts.size(), 1u);
    const std::vector<uint64_t> advances = Advances();
    ASSERT_EQ(advances.size(), 2u);  // creation, then the end of the package
    // Its process runs 60 s; the tick after that, the 300 ms sleep and the
    // 20 polls of the grace period 300 ms apart follow.
    const uint64_t ended = sim.starts[0].time + 60 * kSec;
    EXPECT_GE(advances[1], ended + 300 + 6000);
    EXPECT_LE(advances[1], ended + 500 + 300 + 6000);
    // The three running installers are someone else's: left alone.
    EXPECT_FALSE(sim.FindProcess(first)->terminated);
    EXPECT_FALSE(sim.FindProcess(second)->terminated);
    EXPECT_FALSE(sim.FindProcess(third)->terminated);
}

TEST_F(Sequence, ExtensionTestIgnoresCaseAndLooksAtTheLastDotOnly)
{
    sim.AddFile("C:\\setup\\A.MSI");
    sim.AddFile("C:\\setup\\setup.msi.exe");
    uint32_t installer = sim.AddProcess("msiexec.exe", 0);
    List("Setup1=1,setup.msi.exe, ,\n");
    Run();
    EXPECT_FALSE(sim.FindProcess(installer)->terminated);
}

TEST_F(Sequence, WaitsForEveryWaitListEntryAndThenAGracePeriod)
{
    Program("C:\\setup\\a.exe", 1000);
    Program("C:\\setup\\b.exe", 100);
    sim.AddProcess("y.exe", 0, 20 * kSec);  // only the second entry runs
    List("Setup1=1,a.exe, ,x.exe~y.exe\nSetup2=1,b.exe, ,\n");
    Run();
    ASSERT_EQ(sim.starts.size(), 2u);
    // y.exe ends at 20 s: the next tick sees nothing, then 300 ms and 20 polls.
    EXPECT_GE(sim.starts[1].time, 20 * kSec + 6300);
    EXPECT_LE(sim.starts[1].time, 20 * kSec + 500 + 6300 + 500);
}

TEST_F(Sequence, WildcardEntriesMatchInsideImageNamesAndNeverEndTheGraceEarly)
{
    Program("C:\\setup\\a.exe", 1000);
    Program("C:\\setup\\b.exe", 100);
    sim.AddProcess("setup.TMP", 0, 10 * kSec);
    List("Setup1=1,a.exe, ,*.tmp\nSetup2=1,b.exe, ,\n");
    Run();
    ASSERT_EQ(sim.starts.size(), 2u);
    EXPECT_GE(sim.starts[1].time, 10 * kSec + 6300);
    // After the last tick that saw nothing, all 20 polls ran.
    size_t polls = 0;
    for (const sim::Call& c : sim.calls)
        if (c.name == "Sleep" && c.detail == "300" && c.time >= 10 * kSec && c.time < sim.starts[1].time) ++polls;
    EXPECT_EQ(polls, 20u);  // every grace poll, none cut short
}

TEST_F(Sequence, ProcessSeenDuringTheGracePeriodSendsTheWaitBack)
{
    Program("C:\\setup\\a.exe", 1000);
    Program("C:\\setup\\b.exe", 100);
    sim.AddProcess("late.exe", 4 * kSec, 8 * kSec);  // appears while the grace poll runs
    List("Setup1=1,a.exe, ,late.exe\nSetup2=1,b.exe, ,\n");
    Run();
    ASSERT_EQ(sim.starts.size(), 2u);
    EXPECT_GE(sim.starts[1].time, 8 * kSec + 6300);
}

TEST_F(Sequence, ExitCommandDuringTheGracePeriodEndsTheProgram)
{
    Program("C:\\setup\\a.exe", 1000);
    Program("C:\\setup\\b.exe", 1000);
    List("Setup1=1,a.exe, ,\nSetup2=1,b.exe, ,\n");
    sim.At(3 * kSec, [&] { sim.PostMessage(window, WM_COMMAND, 105); });
    EXPECT_EQ(Run(60 * kSec), 1602);
    EXPECT_FALSE(sim.timedOut);
    EXPECT_FALSE(sim.IsAlive(window));
    EXPECT_EQ(sim.starts.size(), 1u);  // b.exe never started
    EXPECT_LT(sim.now, 10 * kSec);
}

TEST_F(Sequence, CloseRequestEndsTheProgramToo)
{
    Program("C:\\setup\\a.exe", 30 * kSec);
    List("Setup1=1,a.exe, ,\n");
    sim.At(2 * kSec, [&] { sim.PostMessage(window, WM_CLOSE); });
    EXPECT_EQ(Run(60 * kSec), 1602);
    EXPECT_FALSE(sim.IsAlive(window));
}

TEST_F(Sequence, PathsThatDoNotFitAreMissingNeverCut)
{
    // programDirectory of 190 characters and a 100-character name: 291 in
    // all, past the 259 a path can hold.
    const std::string deep = "C:\\" + std::string(187, 'd');
    sim.modulePath = deep + "\\zarnowel.exe";
    sim.AddFile(sim.modulePath);
    const std::string name = std::string(96, 'n') + ".exe";
    sim.AddFile(deep + "\\" + name);
    sim.AddFile(deep + "\\Zarnowel.ini", "[SetupList]\nSetup1=1," + name + ", ,\nSetup2=0," + name + ",X\n");
    sim.devices.push_back({sim::MultiSz({"X"}), 0, true});
    Run();
    EXPECT_TRUE(sim.starts.empty());
    EXPECT_EQ(sim.currentDirectory, deep);  // not moved for the item that did not fit
    EXPECT_TRUE(sim.boxes.empty());         // ".\name" of the driver item fits and exists
    // The INF path (programDirectory\name) does not fit: nothing is installed.
    EXPECT_TRUE(sim.updates.empty());
}

TEST_F(Sequence, ItemInAMissingDirectoryIsNotLookedForElsewhere)
{
    Program("C:\\setup\\a.exe", 100);  // same base name, wrong place
    List("Setup1=1,nosuchdir\\a.exe, ,\n");
    Run();
    EXPECT_TRUE(sim.starts.empty());
}

}  // namespace
