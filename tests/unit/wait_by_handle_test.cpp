// A process found by a name holds the wait through its handle: no snapshot
// while it runs, the same end as when snapshots watch it, no handle left.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/win_values.h"
#include "sequencer/installer_window.h"
#include "resource.h"
#include "sim/launcher_test.h"
#include "sim/sim_windows.h"

namespace {

using namespace zw::win;

constexpr uint64_t kSec = 1000;
constexpr uint64_t kTickMs = 800;  // a 500 ms timer and the 300 ms sleep before the names

struct Proc {
    const char* image;
    uint64_t from, to;
};

struct Outcome {
    uint64_t nextItem = 0;          // b.exe's start: the item's wait is over
    size_t snapshotsWhileHeld = 0;  // taken while a process handle was open
    size_t heldAt = 0;              // process handles open at the moment asked for
    size_t opens = 0, holds = 0;    // processes asked for, and held
    std::string log;
};

// Setup1 = a.exe (1 s) with parameters and waitList, Setup2 = b.exe; procs run
// beside them, openable or not. hook, when given, sees every call.
Outcome RunItems(const std::string& parameters, const std::string& waitList, const std::vector<Proc>& procs,
                 bool openable, uint64_t askAt, std::function<void(sim::SimWindows&, const sim::Call&)> hook = nullptr,
                 int exitCode = 0)
{
    sim::Launcher l;
    sim::SimWindows& s = l.sim;
    l.Program("C:\\setup\\a.exe", 1 * kSec);
    s.AddFile("C:\\setup\\b.exe");
    for (const Proc& p : procs) s.FindProcess(s.AddProcess(p.image, p.from, p.to))->openFails = !openable;
    Outcome o;
    s.onCall = [&](const sim::Call& call) {
        if (call.name == "CreateToolhelp32Snapshot" && s.OpenHandlesToOthers() > 0) ++o.snapshotsWhileHeld;
        if (hook) hook(s, call);
    };
    s.At(askAt, [&] { o.heldAt = s.OpenHandlesToOthers(); });
    l.List("Setup1=1,a.exe," + parameters + "," + waitList + "\nSetup2=1,b.exe, ,\n");
    EXPECT_EQ(l.RunWhole(std::string("/log:") + sim::kLog, 600 * kSec), exitCode);
    s.onCall = nullptr;
    if (s.starts.size() == 2) o.nextItem = s.starts[1].time;
    // The run's own record of what it started opens its processes too: not counted.
    for (const sim::Call& c : s.CallsNamed("OpenProcess")) {
        const bool started = std::any_of(s.starts.begin(), s.starts.end(), [&](const sim::Start& st) {
            return c.detail == "0x101000:0:" + std::to_string(st.pid);
        });
        o.opens += c.detail.rfind("0x101000:0:", 0) == 0 && !started;
    }
    o.holds = s.CountCalls("QueryFullProcessImageNameA");
    o.log = l.Log();
    return o;
}

TEST(WaitByHandle, FoundHeldEndedRespawnedRefusedSeveralNames)
{
    struct {
        const char* what;
        const char* parameters;
        const char* waitList;
        size_t holds;
        uint64_t heldAt;
        const char* holder;  // the first, as the log names it
        std::vector<Proc> procs;
    } const cases[] = {
        // clang-format off
        {"found, ended", " ", "late.exe", 1, 10 * kSec, "late.exe (pid ", {{"late.exe", 0, 20 * kSec}}},
        {"respawned at once, dialog", "/q", "late.exe", 2, 15 * kSec, "late.exe (pid ",
         {{"late.exe", 0, 10 * kSec}, {"late.exe", 10 * kSec, 20 * kSec}}},
        {"respawned in the grace period", " ", "late.exe", 2, 17 * kSec, "late.exe (pid ",
         {{"late.exe", 0, 10 * kSec}, {"late.exe", 13 * kSec, 20 * kSec}}},
        {"several names in turn", " ", "x.exe~*.tmp~c.exe~late.exe", 2, 12 * kSec, "*.tmp: setup.tmp (pid ",
         {{"setup.tmp", 0, 8 * kSec}, {"late.exe", 0, 20 * kSec}}},
        {"several names in turn, dialog", "/q", "x.exe*c.exe*late.exe", 2, 12 * kSec, "c.exe (pid ",
         {{"c.exe", 0, 8 * kSec}, {"late.exe", 5 * kSec, 20 * kSec}}},
        {"the item's own name", " ", "", 1, 10 * kSec, "a.exe (pid ", {{"a.exe", 2 * kSec, 15 * kSec}}},
        {"its own name again while a name holds", " ", "late.exe", 2, 15 * kSec, "late.exe (pid ",
         {{"late.exe", 0, 10 * kSec}, {"a.exe", 5 * kSec, 20 * kSec}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        const Outcome held = RunItems(c.parameters, c.waitList, c.procs, true, c.heldAt);
        const Outcome refused = RunItems(c.parameters, c.waitList, c.procs, false, c.heldAt);
        EXPECT_EQ(held.snapshotsWhileHeld, 0u) << c.what;
        EXPECT_EQ(held.heldAt, 1u) << c.what;
        EXPECT_EQ(held.holds, c.holds) << c.what;
        const size_t over = held.log.find("item 1: wait over");
        EXPECT_NE(held.log.find(std::string("item 1: waiting for ") + c.holder), std::string::npos) << c.what;
        EXPECT_LT(held.log.find(c.holder, over), held.log.find("\r\n", over)) << c.what << "\n" << held.log;
        // Refused: asked once per process, watched by snapshots as before, and
        // the wait ends within a tick of the same moment.
        EXPECT_EQ(refused.opens, c.holds) << c.what;
        EXPECT_EQ(refused.holds, 0u) << c.what;
        EXPECT_NE(refused.log.find(") cannot be opened: "), std::string::npos) << c.what;
        ASSERT_GT(refused.nextItem, c.procs.back().to) << c.what;
        EXPECT_LE(held.nextItem, refused.nextItem + kTickMs) << c.what;
        EXPECT_GE(held.nextItem + kTickMs, refused.nextItem) << c.what;
    }
}

// The id the snapshot gave has passed to another process by the time it is
// opened: that one is not held, or the wait would last as long as it does.
TEST(WaitByHandle, AnIdGivenToAnotherProcessIsNotHeld)
{
    uint32_t late = 0;
    const Outcome o = RunItems(" ", "late.exe", {{"late.exe", 0, 600 * kSec}}, true, 0,
                               [&](sim::SimWindows& s, const sim::Call& call) {
                                   // late.exe, added first: its id goes to another once asked for.
                                   if (call.name != "OpenProcess" || late != 0 ||
                                       call.detail != "0x101000:0:" + std::to_string(s.processes[0].pid))
                                       return;
                                   late = s.processes[0].pid;
                                   s.processes[0].end = s.now;
                                   s.AddProcess("other.exe", s.now);
                                   s.processes.back().pid = late;
                               });
    EXPECT_NE(o.log.find("late.exe (pid " + std::to_string(late) + ") is now other.exe"), std::string::npos) << o.log;
    EXPECT_GT(o.nextItem, 0u);
    EXPECT_LT(o.nextItem, 12 * kSec);
}

// However the wait for a held process ends, its handle is closed (RunItems
// checks): a message arrives once the process is held, or while the scan
// that finds it runs.
TEST(WaitByHandle, TheHeldHandleIsClosedOnEveryPath)
{
    struct {
        const char* what;
        const char* parameters;
        const char* when;
        bool toDialog;
        uint32_t message;
        uintptr_t wParam;
        size_t holds;
    } const cases[] = {
        {"the dialog is closed", "/q", "QueryFullProcessImageNameA", true, WM_COMMAND, IDCANCEL, 1},
        {"the run is ended from the menu", "/q", "QueryFullProcessImageNameA", false, WM_COMMAND, IDM_EXIT, 1},
        {"the window is closed", " ", "QueryFullProcessImageNameA", false, WM_CLOSE, 0, 1},
        {"the window is closed while it is found", " ", "CreateToolhelp32Snapshot", false, WM_CLOSE, 0, 0},
    };
    for (const auto& c : cases) {
        const Outcome o = RunItems(
            c.parameters, "late.exe", {{"late.exe", 0, 60 * kSec}}, true, 0,
            [&](sim::SimWindows& s, const sim::Call& call) {
                if (call.name != c.when) return;
                s.PostMessage(c.toDialog ? s.OpenDialog() : zw::installerWindow, c.message, c.wParam);
            },
            c.toDialog ? 0 : 1602);  // a run ended before its list was done
        EXPECT_EQ(o.holds, c.holds) << c.what;
    }
}

}  // namespace
