// The process watcher against scripted processes of the simulated Windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/pump.h"
#include "sequencer/process_watcher.h"
#include "sim/sim_windows.h"

namespace {

using namespace zw::win;

enum class Op { Running, Containing, Terminate };

bool Call(Op op, std::string& argument)
{
    switch (op) {
    case Op::Running:
        return zw::IsProcessRunning(argument.data());
    case Op::Containing:
        return zw::IsProcessNameContaining(argument.data());
    case Op::Terminate:
        return zw::TerminateProcessByName(argument.data());
    }
    return false;
}

struct MatchCase {
    Op op;
    std::vector<std::string> images;
    std::string argument;
    bool result;
};

TEST(ProcessWatcher, MatchesByTheRulesOfEachOperation)
{
    const MatchCase cases[] = {
        // exact name, ASCII case ignored on both sides
        {Op::Running, {"setup.exe"}, "SETUP.EXE", true},
        {Op::Running, {"SeTuP.ExE"}, "setup.exe", true},
        {Op::Running, {"setup.exe"}, "setup", false},        // no extension is added
        {Op::Running, {"setup.exe"}, "etup.exe", false},     // no substring
        {Op::Running, {"setup.exe.bak"}, "setup.exe", false},
        {Op::Running, {"a.exe", "b.exe", "c.exe"}, "c.exe", true},
        {Op::Running, {"a.exe"}, "", false},                 // no image name is empty
        // non-ASCII: the argument is raised by the locale, the image name is not
        {Op::Running, {"caf\xE9.exe"}, "caf\xE9.exe", false},
        {Op::Running, {"caf\xE9.exe"}, "CAF\xC9.EXE", false},
        {Op::Running, {"CAF\xC9.EXE"}, "caf\xE9.exe", true},
        {Op::Running, {"CAF\xC9.EXE"}, "CAF\xC9.EXE", true},
        // substring
        {Op::Containing, {"setup.tmp"}, ".TMP", true},
        {Op::Containing, {"x.exe", "MSIEXEC.EXE"}, "msiexec", true},
        {Op::Containing, {"x.exe"}, ".tmp", false},
        {Op::Containing, {"x.exe"}, "", true},               // empty matches the first entry
        {Op::Terminate, {"x.exe", "msiexec.exe"}, "MSIEXEC.exe", true},
        {Op::Terminate, {"x.exe"}, "msiexec.exe", false},
    };
    for (const MatchCase& c : cases) {
        sim::SimScope s;
        for (const std::string& image : c.images) s.sim.AddProcess(image, 0);
        std::string argument = c.argument;
        EXPECT_EQ(Call(c.op, argument), c.result) << c.argument << " among " << c.images.size();
        EXPECT_EQ(s.sim.OpenHandles(), 0u) << c.argument;
    }
}

TEST(ProcessWatcher, ArgumentIsUpperCasedInPlaceOnEveryPath)
{
    for (Op op : {Op::Running, Op::Containing, Op::Terminate}) {
        for (bool snapshotFails : {false, true}) {
            sim::SimScope s;
            s.sim.snapshotFails = snapshotFails;
            s.sim.AddProcess("other.exe", 0);
            std::string argument = "msiexec.exe";
            EXPECT_FALSE(Call(op, argument));
            EXPECT_EQ(argument, "MSIEXEC.EXE");
        }
    }
}

TEST(ProcessWatcher, NoSnapshotOrNoEntryIsNotRunning)
{
    sim::SimScope s;
    s.sim.AddProcess("a.exe", 0);
    s.sim.snapshotFails = true;
    std::string name = "a.exe";
    EXPECT_FALSE(zw::IsProcessRunning(name.data()));

    sim::SimScope empty;  // a snapshot with no entry at all
    std::string any;
    EXPECT_FALSE(zw::IsProcessNameContaining(any.data()));
    EXPECT_EQ(empty.sim.OpenHandles(), 0u);
}

TEST(ProcessWatcher, EndsOnlyTheFirstMatchPerCall)
{
    sim::SimScope s;
    uint32_t first = s.sim.AddProcess("msiexec.exe", 0);
    uint32_t second = s.sim.AddProcess("MsiExec.exe", 0);
    std::string name = "msiexec.exe";
    EXPECT_TRUE(zw::TerminateProcessByName(name.data()));
    EXPECT_TRUE(s.sim.FindProcess(first)->terminated);
    EXPECT_FALSE(s.sim.FindProcess(second)->terminated);
    EXPECT_TRUE(zw::TerminateProcessByName(name.data()));
    EXPECT_TRUE(s.sim.FindProcess(second)->terminated);
    EXPECT_FALSE(zw::TerminateProcessByName(name.data()));
    // A running process reports STILL_ACTIVE as its code, and ends with it.
    EXPECT_EQ(s.sim.FindProcess(first)->exitCode, STILL_ACTIVE);
    EXPECT_EQ(s.sim.CallsNamed("OpenProcess")[0].detail, "0x1f0fff:0:" + std::to_string(first));
    EXPECT_EQ(s.sim.OpenHandles(), 0u);
}

TEST(ProcessWatcher, UnreadableExitCodeStillEndsTheProcessWithAFixedCode)
{
    sim::SimScope s;
    uint32_t pid = s.sim.AddProcess("a.exe", 0);
    s.sim.exitCodeReadFails = true;
    std::string name = "a.exe";
    EXPECT_TRUE(zw::TerminateProcessByName(name.data()));
    EXPECT_TRUE(s.sim.FindProcess(pid)->terminated);
    EXPECT_EQ(s.sim.FindProcess(pid)->exitCode, STILL_ACTIVE);
    EXPECT_EQ(s.sim.OpenHandles(), 0u);
}

TEST(ProcessWatcher, FailedOpenEndsTheScanEvenIfALaterMatchCouldBeOpened)
{
    sim::SimScope s;
    uint32_t locked = s.sim.AddProcess("msiexec.exe", 0);
    uint32_t open = s.sim.AddProcess("msiexec.exe", 0);
    s.sim.FindProcess(locked)->canOpen = false;
    std::string name = "msiexec.exe";
    EXPECT_FALSE(zw::TerminateProcessByName(name.data()));
    EXPECT_FALSE(s.sim.FindProcess(open)->terminated);
    EXPECT_EQ(s.sim.CountCalls("OpenProcess"), 1u);
    EXPECT_EQ(s.sim.OpenHandles(), 0u);
}

TEST(ProcessWatcher, PumpsBeforeEveryEntryIncludingTheFirst)
{
    sim::SimScope s;
    for (const char* image : {"a.exe", "b.exe", "c.exe"}) s.sim.AddProcess(image, 0);
    std::string name = "none.exe";
    ASSERT_FALSE(zw::IsProcessRunning(name.data()));
    // Between each fetch of an entry and the next fetch (or the close), the
    // thread's queue was emptied.
    std::vector<std::string> order;
    for (const sim::Call& c : s.sim.calls)
        if (c.name == "Process32First" || c.name == "Process32Next" || c.name == "PeekMessageA" ||
            c.name == "CloseHandle")
            order.push_back(c.name);
    const std::vector<std::string> expected = {"Process32First", "PeekMessageA", "Process32Next", "PeekMessageA",
                                               "Process32Next",  "PeekMessageA", "Process32Next", "CloseHandle"};
    EXPECT_EQ(order, expected);
}

int commands = 0;
intptr_t QuittingProc(zw::Hwnd hwnd, uint32_t msg, uintptr_t, intptr_t)
{
    if (msg == WM_COMMAND) {
        ++commands;
        zw::Sys().DestroyWindow(hwnd);
    }
    if (msg == WM_DESTROY) zw::Sys().PostQuitMessage(0);
    return 0;
}

TEST(ProcessWatcher, AQuitRequestTakenDuringAScanStillEndsTheLoop)
{
    sim::SimScope s;
    commands = 0;
    for (int i = 0; i < 5; ++i) s.sim.AddProcess("p" + std::to_string(i) + ".exe", 0);
    zw::Hwnd w = s.sim.CreateTestWindow(QuittingProc);
    s.sim.PostMessage(w, WM_COMMAND, 105);
    std::string name = "none.exe";
    EXPECT_FALSE(zw::IsProcessRunning(name.data()));
    EXPECT_EQ(commands, 1);  // dispatched in the middle of the scan
    EXPECT_FALSE(s.sim.IsAlive(w));
    EXPECT_EQ(s.sim.RunMessageLoop(1000), 0);  // the loop still sees WM_QUIT
    EXPECT_FALSE(s.sim.loopStarved);
}

TEST(ProcessWatcher, LongPollingLeavesNoHandleBehind)
{
    sim::SimScope s;
    s.sim.AddProcess("a.exe", 0);
    s.sim.AddProcess("b.exe", 0);
    for (int i = 0; i < 10000; ++i) {
        std::string running = "b.exe", missing = "z.exe", fragment = ".exe";
        ASSERT_TRUE(zw::IsProcessRunning(running.data()));
        ASSERT_FALSE(zw::IsProcessRunning(missing.data()));
        ASSERT_TRUE(zw::IsProcessNameContaining(fragment.data()));
        if (i % 1000 == 0) s.sim.calls.clear();  // keep the record small
    }
    EXPECT_EQ(s.sim.OpenHandles(), 0u);
    EXPECT_EQ(s.sim.badCloses, 0);
}

}  // namespace
