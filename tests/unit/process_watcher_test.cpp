// The process watcher against scripted processes of the simulated Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/pump.h"
#include "platform/win_values.h"
#include "sequencer/process_watcher.h"
#include "sim/sim_windows.h"

namespace {

using namespace zw::win;

// Running: IsProcessRunning; Containing: a waitList entry looked for inside image names.
enum class Op { Running, Containing };

bool Call(Op op, std::string& argument)
{
    if (op == Op::Running) return zw::IsProcessRunning(argument.data());
    return zw::FindRunningProcess({{argument.data(), true}}) == 0;
}
bool Scan(Op op, std::string argument) { return Call(op, argument); }

struct MatchCase {
    Op op;
    std::vector<std::string> images;
    std::string argument;
    bool result;
    bool snapshotFails = false;
};

TEST(ProcessWatcher, MatchesByTheRulesOfEachOperation)
{
    const MatchCase cases[] = {
        // exact name, ASCII case ignored on both sides
        {Op::Running, {"setup.exe"}, "SETUP.EXE", true},
        {Op::Running, {"SeTuP.ExE"}, "setup.exe", true},
        {Op::Running, {"setup.exe"}, "setup", false},     // no extension is added
        {Op::Running, {"setup.exe"}, "etup.exe", false},  // no substring
        {Op::Running, {"setup.exe.bak"}, "setup.exe", false},
        {Op::Running, {"a.exe", "b.exe", "c.exe"}, "c.exe", true},
        {Op::Running, {"a.exe"}, "", false},  // no image name is empty
        // non-ASCII: the argument is raised by the locale, the image name is not
        {Op::Running, {"caf\xE9.exe"}, "caf\xE9.exe", false},
        {Op::Running, {"caf\xE9.exe"}, "CAF\xC9.EXE", false},
        {Op::Running, {"CAF\xC9.EXE"}, "caf\xE9.exe", true},
        {Op::Running, {"CAF\xC9.EXE"}, "CAF\xC9.EXE", true},
        // substring
        {Op::Containing, {"setup.tmp"}, ".TMP", true},
        {Op::Containing, {"x.exe", "MSIEXEC.EXE"}, "msiexec", true},
        {Op::Containing, {"x.exe"}, ".tmp", false},
        {Op::Containing, {"x.exe"}, "", true},  // empty matches the first entry
        {Op::Containing, {"caf\xE9.exe"}, "caf\xE9", false},
        {Op::Containing, {"CAF\xC9.EXE"}, "f\xE9.e", true},
        // no snapshot, or a snapshot with no entry at all
        {Op::Running, {"a.exe"}, "a.exe", false, true},
        {Op::Containing, {}, "", false},
    };
    for (const MatchCase& c : cases) {
        sim::SimScope s;
        s.sim.snapshotFails = c.snapshotFails;
        for (const std::string& image : c.images) s.sim.AddProcess(image, 0);
        EXPECT_EQ(Scan(c.op, c.argument), c.result) << c.argument << " among " << c.images.size();
    }
}

TEST(ProcessWatcher, ArgumentIsUpperCasedInPlaceOnEveryPath)
{
    for (Op op : {Op::Running, Op::Containing}) {
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

enum Fault { kNoFault, kNoSnapshot };

struct HandleCase {
    const char* what;
    Op op;
    std::string argument;
    bool result;
    size_t handlesTaken;  // snapshot handles the call must close again
    std::vector<std::string> images;
    Fault fault = kNoFault;
};

TEST(ProcessWatcher, EveryReturnPathClosesWhatItOpened)
{
    const std::vector<std::string> ab = {"a.exe", "b.exe"};
    const HandleCase cases[] = {
        {"no snapshot", Op::Running, "a.exe", false, 0, {}, kNoSnapshot},
        {"empty snapshot", Op::Running, "a.exe", false, 1, {}},
        {"match on the first", Op::Running, "a.exe", true, 1, ab},
        {"match on the last", Op::Containing, "b.", true, 1, ab},
        {"no match", Op::Running, "c.exe", false, 1, ab},
        {"no match", Op::Containing, "c.", false, 1, ab},
    };
    for (const HandleCase& c : cases) {
        sim::SimScope s;
        s.sim.snapshotFails = c.fault == kNoSnapshot;
        for (const std::string& image : c.images) s.sim.AddProcess(image, 0);
        EXPECT_EQ(Scan(c.op, c.argument), c.result) << c.what;
        EXPECT_EQ(s.sim.CountCalls("CloseHandle"), c.handlesTaken) << c.what;
    }
}

TEST(ProcessWatcher, AnImageNameFillingItsWholeFieldIsCutToFit)
{
    // The system always terminates the name; should a full field ever come
    // back without one, the scan reads no further than the field.
    sim::SimScope s;
    s.sim.AddProcess("x.exe", 0);
    s.sim.onEntry = [](zw::ProcessEntry& entry) { std::memset(entry.szExeFile, 'a', sizeof entry.szExeFile); };
    EXPECT_TRUE(Scan(Op::Containing, "aaaa"));
    EXPECT_TRUE(Scan(Op::Running, std::string(MAX_PATH - 1, 'a')));
    EXPECT_FALSE(Scan(Op::Running, std::string(MAX_PATH, 'a')));
}

bool nestedFound = false;
intptr_t NestedScanProc(zw::Hwnd, uint32_t msg, uintptr_t, intptr_t)
{
    if (msg == WM_COMMAND) {
        char name[] = "a.exe";
        nestedFound = zw::IsProcessRunning(name);
    }
    return 0;
}

TEST(ProcessWatcher, AScanNestedInsideAnotherLeavesTheOuterOneIntact)
{
    // A handler run by the pump may scan too: each call keeps its own snapshot,
    // entry and argument.
    sim::SimScope s;
    nestedFound = false;
    s.sim.AddProcess("a.exe", 0);
    s.sim.AddProcess("b.exe", 0);
    s.sim.AddProcess("c.exe", 0);
    zw::Hwnd w = s.sim.CreateTestWindow(NestedScanProc);
    s.sim.PostMessage(w, WM_COMMAND, 1);
    std::string name = "c.exe";
    EXPECT_TRUE(zw::IsProcessRunning(name.data()));
    EXPECT_EQ(name, "C.EXE");
    EXPECT_TRUE(nestedFound);
    EXPECT_EQ(s.sim.CountCalls("CreateToolhelp32Snapshot"), 2u);
}

struct OrderCase {
    const char* what;
    Op op;
    std::vector<std::string> images;
    std::string argument;
    std::vector<std::string> order;
};

TEST(ProcessWatcher, PumpsBeforeEveryEntryIncludingTheFirst)
{
    const std::string F = "Process32First", N = "Process32Next", P = "PeekMessageA", C = "CloseHandle";
    const std::set<std::string> watched = {F, N, P, C};
    const OrderCase cases[] = {
        {"no match", Op::Running, {"a.exe", "b.exe", "c.exe"}, "none.exe", {F, P, N, P, N, P, N, C}},
        {"match on the second", Op::Containing, {"a.exe", "b.exe", "c.exe"}, "B.", {F, P, N, P, C}},
        {"match on the first", Op::Running, {"a.exe", "b.exe"}, "a.exe", {F, P, C}},
        {"no entry: nothing to pump for", Op::Containing, {}, "", {F, C}},
    };
    for (const OrderCase& c : cases) {
        sim::SimScope s;
        for (const std::string& image : c.images) s.sim.AddProcess(image, 0);
        Scan(c.op, c.argument);
        std::vector<std::string> order;
        for (const sim::Call& call : s.sim.calls)
            if (watched.count(call.name) != 0) order.push_back(call.name);
        EXPECT_EQ(order, c.order) << c.what;
    }
}

TEST(ProcessWatcher, PendingMessagesAreDispatchedBeforeTheFirstEntryIsTested)
{
    // A scan that matches its first entry still dispatches what was pending,
    // not merely peeks at it.
    sim::SimScope s;
    s.sim.AddProcess("a.exe", 0);
    static std::vector<std::string> seen;
    seen.clear();
    zw::Hwnd w = s.sim.CreateTestWindow([](zw::Hwnd, uint32_t msg, uintptr_t, intptr_t) -> intptr_t {
        if (msg == WM_USER) seen.push_back("dispatched");
        return 0;
    });
    s.sim.PostMessage(w, WM_USER);
    s.sim.onCall = [](const sim::Call& c) {
        if (c.name == "Process32First" || c.name == "CloseHandle") seen.push_back(c.name);
    };
    EXPECT_TRUE(Scan(Op::Running, "a.exe"));
    s.sim.onCall = nullptr;
    const std::vector<std::string> expected = {"Process32First", "dispatched", "CloseHandle"};
    EXPECT_EQ(seen, expected);
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
    EXPECT_FALSE(Scan(Op::Running, "none.exe"));
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
        ASSERT_TRUE(Scan(Op::Running, "b.exe"));
        ASSERT_FALSE(Scan(Op::Running, "z.exe"));
        ASSERT_TRUE(Scan(Op::Containing, ".exe"));
        if (i % 1000 == 0) s.sim.calls.clear();  // keep the record small
    }
}

}  // namespace
