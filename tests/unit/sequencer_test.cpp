// The install sequence on the simulated Windows: whole runs of the
// InstallerWindow, timed on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sequencer/installer_window.h"
#include "sequencer/item_rules.h"
#include "sequencer/progress_dialog.h"
#include "restart/restart.h"
#include "state/run_state.h"
#include "setuplist/setup_list.h"
#include "resource.h"
#include "sim/launcher_test.h"
#include "sim/sim_windows.h"

namespace {

constexpr uint64_t kMs = 1;
constexpr uint64_t kSec = 1000;
constexpr uint64_t kGraceMs = zw::kGracePolls * zw::kGracePollIntervalMs;

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
    bool Asked() const
    {
        return std::any_of(sim.boxes.begin(), sim.boxes.end(),
                           [](auto& b) { return b.caption == zw::kRestartCaptionEnglish; });
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

TEST_F(Sequence, UnknownKindEndsTheRunAndTheFailureKeepsTheRestartPending)
{
    for (const char* name : {"a.exe", "b.exe", "d.exe", "e.exe"}) Program(std::string("C:\\setup\\") + name, 1000);
    List("Setup1=1,a.exe, , ,1\nSetup2=1,b.exe, ,\nSetup3=3,c.exe, ,\nSetup4=1,d.exe, ,\nSetup5=1,e.exe, ,\n");
    EXPECT_EQ(Run(), 13);
    ASSERT_EQ(sim.starts.size(), 2u);
    EXPECT_EQ(sim.starts[0].resolved, "C:\\setup\\a.exe");
    EXPECT_EQ(sim.starts[1].resolved, "C:\\setup\\b.exe");
    EXPECT_FALSE(Asked());
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
        sim::Launcher l;
        l.sim.AddFile("C:\\setup\\a.exe");
        const int exitCode = l.Run(std::string("Setup1=") + c.value + "\n", 60 * kSec);
        EXPECT_EQ(exitCode, std::string(c.value).find(",1") != std::string::npos ? 3010 : 0) << c.value;
        ASSERT_EQ(l.sim.starts.size(), 1u) << c.value;
        EXPECT_EQ(l.sim.dialogs.empty(), c.direct) << c.value;
        if (c.direct) {
            EXPECT_EQ(l.sim.starts[0].parameters, " ");
        } else {
            EXPECT_EQ(l.sim.dialogs[0].templateId, IDD_PROGRESS_ENG);
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

TEST_F(Sequence, WhereAnItemIsFoundAndRun)
{
    struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;  // path, content; "x": a program that runs 100 ms
        const char* item;
        const char* file;  // as started; null: nothing starts
        const char* resolved = nullptr;
        const char* directory = nullptr;    // the current directory after the run
        const char* windowsCopy = nullptr;  // C:\windows\b.exe after the run
    } const cases[] = {
        // clang-format off
        {"a network path counts as relative", {{"C:\\setup\\server\\share\\a.exe", "x"}},
         "1,\\\\server\\share\\a.exe, ,", ".\\a.exe", "C:\\setup\\server\\share\\a.exe"},
        {"an absolute program leaves the current directory", {{"D:\\tools\\a.exe", "x"}},
         "1,D:\\tools\\a.exe, ,", "D:\\tools\\a.exe", nullptr, "C:\\setup"},
        {"in a missing directory, not looked for elsewhere", {{"C:\\setup\\a.exe", "x"}},
         "1,nosuchdir\\a.exe, ,", nullptr},
        {"kind 2 is copied over an older copy and run there",
         {{"C:\\windows\\b.exe", "old"}, {"C:\\setup\\b.exe", "new"}}, "2,b.exe, ,",
         "C:\\windows\\b.exe", nullptr, nullptr, "new"},
        // ".\D:\x\b.exe" names nothing: only an earlier copy runs.
        {"kind 2 with a drive letter", {{"D:\\x\\b.exe", "new"}}, "2,D:\\x\\b.exe, ,", nullptr},
        {"kind 2 with a drive letter, an earlier copy", {{"D:\\x\\b.exe", "new"}, {"C:\\windows\\b.exe", "old"}},
         "2,D:\\x\\b.exe, ,", "C:\\windows\\b.exe", nullptr, nullptr, "old"},
        // clang-format on
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        for (const auto& [path, content] : c.files) content == "x" ? l.Program(path, 100) : s.AddFile(path, content);
        l.Run(std::string("Setup1=") + c.item + "\n");
        ASSERT_EQ(s.starts.size(), c.file ? 1u : 0u) << c.what;
        if (c.file) {
            EXPECT_EQ(s.starts[0].file, c.file) << c.what;
        }
        if (c.resolved) {
            EXPECT_EQ(s.starts[0].resolved, c.resolved) << c.what;
        }
        if (c.directory) {
            EXPECT_EQ(s.currentDirectory, c.directory) << c.what;
        }
        if (c.windowsCopy) {
            EXPECT_EQ(s.FileContent("C:\\windows\\b.exe"), c.windowsCopy) << c.what;
        }
    }
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
    EXPECT_GE(advances[1], ended + 300 + kGraceMs);
    EXPECT_LE(advances[1], ended + 500 + 300 + kGraceMs);
    // The three running installers are someone else's: left running.
    for (const uint32_t pid : {first, second, third}) EXPECT_TRUE(sim.Running(*sim.FindProcess(pid)));
}

TEST_F(Sequence, ExtensionTestIgnoresCaseAndLooksAtTheLastDotOnly)
{
    sim.AddFile("C:\\setup\\A.MSI");
    sim.AddFile("C:\\setup\\setup.msi.exe");
    uint32_t installer = sim.AddProcess("msiexec.exe", 0);
    List("Setup1=1,setup.msi.exe, ,\n");
    Run();
    // Not a package: started without asking whether an installation runs.
    EXPECT_EQ(sim.CountCalls("OpenMutexA"), 0u);
    EXPECT_TRUE(sim.Running(*sim.FindProcess(installer)));
}

// The wait list is waited for, then a grace period of 20 polls 300 ms apart.
TEST_F(Sequence, WaitsForTheWaitListAndThenAGracePeriod)
{
    struct {
        const char* what;
        sim::Process process;  // image, start, end
        const char* waitList;
        bool allPolls = false;  // after the last tick that saw nothing, every poll ran
    } const cases[] = {
        {"every entry (only the second runs)", {0, "y.exe", 0, 20 * kSec}, "x.exe~y.exe"},
        {"wildcards match inside image names", {0, "setup.TMP", 0, 10 * kSec}, "*.tmp", true},
        {"a process seen during the grace period sends it back", {0, "late.exe", 4 * kSec, 8 * kSec}, "late.exe"},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.AddProcess(c.process.image, c.process.start, c.process.end);
        l.Program("C:\\setup\\a.exe", 1000);
        l.Program("C:\\setup\\b.exe", 100);
        l.Run(std::string("Setup1=1,a.exe, ,") + c.waitList + "\nSetup2=1,b.exe, ,\n");
        ASSERT_EQ(s.starts.size(), 2u) << c.what;
        // The next tick sees nothing, then 300 ms and the 20 polls.
        EXPECT_GE(s.starts[1].time, c.process.end + 300 + kGraceMs) << c.what;
        EXPECT_LE(s.starts[1].time, c.process.end + 500 + 300 + kGraceMs + 500) << c.what;
        if (!c.allPolls) continue;
        size_t polls = 0;
        for (const sim::Call& call : s.calls)
            if (call.name == "Sleep" && call.detail == "300" && call.time >= c.process.end &&
                call.time < s.starts[1].time)
                ++polls;
        EXPECT_EQ(polls, 20u) << c.what;  // none cut short
    }
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

}  // namespace
