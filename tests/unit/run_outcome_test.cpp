// The exit code of whole runs on the simulated Windows: what an agent learns
// in each situation, and the log's last line that says it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/win_values.h"
#include "restart/restart.h"
#include "resource.h"
#include "sim/launcher_test.h"
#include "state/run_outcome.h"
#include "state/run_state.h"

namespace {

using namespace zw::win;

using sim::kLog;

constexpr uint64_t kSec = 1000;

struct Case {
    const char* what;
    const char* tail;
    const char* list;  // nullptr: no Zarnowel.ini at all
    std::function<void(sim::Launcher&)> setUp;
    uint32_t exitCode;
    size_t starts;                                        // items started
    size_t questions = 0;                                 // restart questions
    size_t restarts = 0;                                  // restart requests to the system
    const char* logs = "";                                // a text the log holds
    std::function<void(sim::Launcher&)> event = nullptr;  // at 1 s
    int pending = -1;                                     // rebootPending after the run, when the row says
};

void Programs(sim::Launcher& l, uint32_t aExit = 0, uint64_t aRunsMs = 2 * kSec)
{
    l.Program("C:\\setup\\a.exe", aRunsMs, "", aExit);
    l.Program("C:\\setup\\b.exe", 2 * kSec);
}

TEST(RunOutcome, EveryCodeInItsSituation)
{
    const char* const two = "Setup1=1,a.exe, ,\nSetup2=1,b.exe, ,\n";
    const char* const twoRestart = "Setup1=1,a.exe, , ,1\nSetup2=1,b.exe, ,\n";
    const char* const twoDialog = "Setup1=1,a.exe,/q\nSetup2=1,b.exe, ,\n";
    const char *const one = "Setup1=1,a.exe, ,\n", *const oneDialog = "Setup1=1,a.exe,/q\n";
    auto plain = [](sim::Launcher& l) { Programs(l); };
    auto plainAnd = [](std::function<void(sim::SimWindows&)> more) {
        return [more](sim::Launcher& l) {
            Programs(l);
            more(l.sim);
        };
    };
    auto exits = [](uint32_t code, uint64_t runsMs = 2 * kSec) {
        return [code, runsMs](sim::Launcher& l) { Programs(l, code, runsMs); };
    };
    auto update = [](uint32_t code) {
        return [code](sim::Launcher& l) { l.Program("C:\\setup\\u.msu", 2 * kSec, "wusa.exe", code); };
    };
    auto driverFails = [](uint32_t error) {
        return [error](sim::Launcher& l) {
            l.sim.AddFile("C:\\setup\\x.inf");
            l.Device({"PCI\\VEN_1&DEV_2"});
            l.sim.updateFails = true;
            l.sim.updateError = error;
        };
    };
    const Case cases[] = {
        // Which of an item's exit codes ask for a restart, direct or under the dialog (the question is answered No).
        // clang-format off
        {"an item's 0", "", one, exits(0), 0, 1, 0, 0, "", nullptr, 0},
        {"an item's 0, dialog", "", oneDialog, exits(0), 0, 1, 0, 0, "", nullptr, 0},
        {"an item's 1", "", one, exits(1), 1, 1, 0, 0, "", nullptr, 0},
        {"an item's 1, dialog", "", oneDialog, exits(1), 1, 1, 0, 0, "", nullptr, 0},
        {"an item's 1618", "", one, exits(1618), 1618, 1, 0, 0, "", nullptr, 0},
        {"an item's 1618, dialog", "", oneDialog, exits(1618), 1618, 1, 0, 0, "", nullptr, 0},
        {"an item's 3010", "", one, exits(3010), 3010, 1, 1, 0, "", nullptr, 1},
        {"an item's 3010, dialog", "", oneDialog, exits(3010), 3010, 1, 1, 0, "", nullptr, 1},
        // An item that has started a restart is not followed by a question.
        {"an item's 1641", "", one, exits(1641), 1641, 1, 0, 0, "", nullptr, 1},
        {"an item's 1641, dialog", "", oneDialog, exits(1641), 1641, 1, 0, 0, "", nullptr, 1},
        // clang-format on
        {"every item carried out", "", two, plain, 0, 2, 0, 0, "end: exit code 0: success"},
        {"no list beside the launcher", "", nullptr, plain, ERROR_FILE_NOT_FOUND, 0, 0, 0, "end: exit code 2: failure"},
        {"an item's file is missing", "", "Setup1=1,gone.exe, ,\nSetup2=1,b.exe, ,\n", plain, ERROR_FILE_NOT_FOUND, 1},
        {"a driver's INF is missing", "/s", "Setup1=0,gone.inf,PCI\\VEN_1\nSetup2=1,b.exe, ,\n", plain,
         ERROR_FILE_NOT_FOUND, 1},
        {"a failed copy counts even when an older copy runs", "", "Setup1=2,a.exe, ,\n",
         [](sim::Launcher& l) {
             Programs(l);
             l.sim.AddFile("C:\\windows\\a.exe");
             l.sim.copyFails = true;
         },
         ERROR_FILE_NOT_FOUND, 1},
        {"the list holds no item", "", "", plain, ERROR_INVALID_DATA, 0},
        {"an unknown kind ends the list", "", "Setup1=1,a.exe, ,\nSetup2=7,b.exe, ,\n", plain, ERROR_INVALID_DATA, 1},
        {"the shell refuses the start", "", two,
         plainAnd([](sim::SimWindows& s) { s.programs["A.EXE"].shellError = 31; }), ERROR_NO_ASSOCIATION,
         2},  // the refused start, then b.exe
        {"the driver update fails", "", "Setup1=0,x.inf,VEN_1\n", driverFails(0xE0000203), 0xE0000203, 0},
        {"the device already has the best driver", "", "Setup1=0,x.inf,VEN_1\n", driverFails(ERROR_NO_MORE_ITEMS), 0,
         0},
        {"no present device for a driver", "", "Setup1=0,x.inf,VEN_1\n",
         [](sim::Launcher& l) { l.sim.AddFile("C:\\setup\\x.inf"); }, 0, 0},
        {"an item fails; later items still run", "", two, exits(1603), 1603, 2, 0, 0,
         "item 1 ended with exit code 1603, which is no success code for it"},
        {"an item fails under the dialog", "", twoDialog, exits(5), 5, 2},
        {"an item reports 1707", "", two, exits(1707), 0, 2},
        // The handle's signal says it ended, never the code: 259 is STILL_ACTIVE's value.
        {"an item ends with 259", "", two, exits(STILL_ACTIVE), STILL_ACTIVE, 2, 0, 0, "ended with exit code 259,"},
        {"another installation runs: the item's 1618", "", two, exits(1618), 1618, 2},
        {"[ExitCodes] names the code", "", "Setup1=1,a.exe, ,\n[ExitCodes]\nA.EXE= 4, 5 ,x\n", exits(5), 0, 1},
        {"[ExitCodes] names other codes", "", "Setup1=1,a.exe, ,\n[ExitCodes]\na.exe=4,-1\n", exits(5), 5, 1},
        {"[ExitCodes] with * takes any code", "", "Setup1=1,a.exe, ,\n[ExitCodes]\na.exe=*\n", exits(0xC0000005), 0, 1},
        {"[ExitCodes] by the file as written", "", "Setup1=1,sub\\a.exe, ,\n[ExitCodes]\na.exe=5\nSUB\\A.EXE=6\n",
         [](sim::Launcher& l) { l.Program("C:\\setup\\sub\\a.exe", 2 * kSec, "", 5); }, 5, 1},
        {"the run is ended from the menu", "", two, plain, ERROR_INSTALL_USEREXIT, 1, 0, 0,
         "the run was ended at item 1, before its list was done",
         [](sim::Launcher& l) { l.sim.PostMessage(l.window, WM_COMMAND, IDM_EXIT); }},
        {"the session ends: no question", "", twoRestart, plain, ERROR_INSTALL_USEREXIT, 1, 0, 0, "the session ends",
         [](sim::Launcher& l) { l.sim.PostMessage(l.window, WM_ENDSESSION, 1); }},
        {"the user closes the dialog: not cut short", "", twoDialog, exits(0, 30 * kSec), 0, 2, 0, 0,
         "closed by the user", [](sim::Launcher& l) { l.sim.PostMessage(l.sim.OpenDialog(), WM_COMMAND, IDCANCEL); }},
        {"an item starts a restart: nothing more", "", twoRestart, exits(1641), 1641, 1, 0, 0,
         "item 2: not taken up: an item has started a restart of Windows"},
        {"the question answered No", "", twoRestart, plain, 3010, 2, 1, 0},
        {"the question answered Yes", "", twoRestart,
         plainAnd([](sim::SimWindows& s) { s.answer = [](const sim::BoxShown&) { return IDYES; }; }), 1641, 2, 1, 1},
        {"/norestart", "/norestart", twoRestart, plain, 3010, 2},
        {"an item's 3010 with /norestart", "/norestart", two, exits(3010), 3010, 2},
        {"silent restart made", "/s", "Setup1=1,a.exe, , ,1\n", plain, 1641, 1, 0, 1},
        {"silent restart refused by Windows", "/s", "Setup1=1,a.exe, , ,1\n",
         plainAnd([](sim::SimWindows& s) { s.initiateShutdownResult = ERROR_ACCESS_DENIED; }), 3010, 1, 0, 1},
        {"the first failure wins over a restart, which is not made", "/s", "Setup1=1,gone.exe\nSetup2=1,a.exe, , ,1\n",
         exits(7), ERROR_FILE_NOT_FOUND, 1, 0, 0, "outcome: a further failure (7), the exit code stays 2"},
        {"a failed run neither asks nor restarts", "", twoRestart, exits(1603), 1603, 2, 0, 0,
         "the run failed, so it neither restarts nor asks; a restart is also pending"},
        {"the session ends after an item's 1641: 1641 stays", "", twoRestart, exits(1641, 300), 1641, 1, 0, 0,
         "the session ends under the restart that was started",
         [](sim::Launcher& l) { l.sim.PostMessage(l.window, WM_ENDSESSION, 1); }},
        {"an item of commas alone ends the run", "", "Setup1=,,,\nSetup2=1,b.exe, ,\n", plain, ERROR_INVALID_DATA, 0, 0,
         0, "item 1: \",,,\" gives no kind and ends the run"},
        {"[ExitCodes] in hexadecimal", "", "Setup1=1,a.exe, ,\n[ExitCodes]\na.exe=0x80070005\n", exits(0x80070005), 0,
         1},
        {"an update already installed", "", "Setup1=1,u.msu, ,\n", update(0x240006), 0, 1},
        {"an update that does not apply", "", "Setup1=1,u.msu, ,\n", update(0x80240017), 0, 1, 0, 0,
         "exit code 0x80240017: not applicable to this system, which counts as success"},
        {"a program's 0x80240017 is a failure", "", "Setup1=1,a.exe, ,\n", exits(0x80240017), 0x80240017, 1},
        {"the time limit ends a run held by an item", "/timeout:1", twoRestart, exits(0, 600 * kSec), ERROR_TIMEOUT, 1,
         0, 0, "item 1 (a.exe) held the run for 59 s; still running and left running: A.EXE (pid "},
        {"the time limit under the dialog", "/timeout:1", twoDialog, exits(0, 600 * kSec), ERROR_TIMEOUT, 1},
        {"a time limit that is not reached", "/timeout:1", two, plain, 0, 2},
        {"half an hour asleep does not count toward the time limit", "/timeout:1", two, plain, 0, 2, 0, 0, "",
         [](sim::Launcher& l) {
             l.sim.asleepMs += 1800 * kSec;
             l.sim.now += 1800 * kSec;
         }},
        {"the question nobody answers closes at the time limit: No", "/timeout:1", twoRestart,
         plainAnd([](sim::SimWindows& s) {
             s.boxAnswerDelayMs = 3600 * kSec;
             s.answer = [](const sim::BoxShown&) { return IDYES; };
         }),
         3010, 2, 1, 0, "box \"System Rebooting\": closed at the time limit"},
        {"a box nobody answers closes at the time limit", "/timeout:1", "Setup1=0,gone.inf,VEN_1\nSetup2=1,b.exe, ,\n",
         plainAnd([](sim::SimWindows& s) { s.boxAnswerDelayMs = 3600 * kSec; }), ERROR_FILE_NOT_FOUND, 0, 0, 0,
         "box \"file open error\": closed at the time limit"},
        {"a time limit that is no number of minutes", "/timeout:0", two, plain, ERROR_INVALID_PARAMETER, 0, 0, 0,
         "end: exit code 87"},
    };
    for (const Case& c : cases) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        if (c.list != nullptr) l.List(c.list);
        c.setUp(l);
        if (c.event) s.At(1 * kSec, [&] { c.event(l); });
        EXPECT_EQ(static_cast<uint32_t>(l.RunWhole(std::string(c.tail) + " /log:" + kLog)), c.exitCode) << c.what;
        EXPECT_FALSE(s.timedOut) << c.what;
        EXPECT_EQ(s.starts.size(), c.starts) << c.what;
        size_t questions = 0;
        for (const sim::BoxShown& b : s.boxes) questions += b.caption == zw::kRestartCaptionEnglish;
        EXPECT_EQ(questions, c.questions) << c.what;
        EXPECT_EQ(s.shutdownCalls.size() + s.exitWindowsCalls.size(), c.restarts) << c.what;
        EXPECT_EQ(c.pending < 0 ? c.pending : zw::rebootPending, c.pending) << c.what;
        // No box outlives the time limit.
        for (const sim::BoxShown& b : s.boxes) EXPECT_LE(b.closed, 60 * kSec + s.asleepMs + 100) << c.what;
        const std::string log = l.Log();
        EXPECT_NE(log.find(c.logs), std::string::npos) << c.what << "\n" << log;
        // The last line names the code and its meaning.
        const std::string last =
            "end: exit code " + std::to_string(c.exitCode) + ": " + zw::ExitCodeMeaning(c.exitCode);
        EXPECT_EQ(log.rfind(last), log.size() - last.size() - 2) << c.what << "\n" << log;
        if (c.exitCode == ERROR_TIMEOUT) {
            // About a minute, whatever ran is left running.
            EXPECT_GE(s.now, 60 * kSec) << c.what;
            EXPECT_LE(s.now, 62 * kSec) << c.what;
            ASSERT_FALSE(s.processes.empty()) << c.what;
            EXPECT_TRUE(s.Running(s.processes.front())) << c.what;
        }
    }
}

}  // namespace
