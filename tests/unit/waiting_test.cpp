// The wait for started items: the started process's handle first, then the
// names against one snapshot a tick; packages and the Windows Installer;
// restart requests from exit codes; silent and /norestart runs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win_values.h"
#include "sequencer/installer_window.h"
#include "sequencer/run_processes.h"
#include "setuplist/setup_list.h"
#include "resource.h"
#include "sim/launcher_test.h"
#include "sim/sim_windows.h"
#include "start_rows.h"
#include "state/run_state.h"

namespace {

using namespace zw::win;

constexpr uint64_t kSec = 1000;
constexpr char kInstallerMutex[] = "Global\\_MSIExecute";
constexpr char kPackage[] = "Setup1=1,setup.msi, ,\n";

// A process that runs on, noted as one this run started (an earlier item's).
uint32_t StartedByTheRun(sim::SimWindows& s)
{
    const uint32_t pid = s.AddProcess("setup.exe", 0);
    const zw::Handle handle = s.OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, false, pid);
    zw::NoteStartedProcess(handle);
    s.CloseHandle(handle);
    return pid;
}

// However its wait ends, the started process's handle is closed, and closed
// before the next item is taken up. Ended from the menu or closed, the
// program ends at once; the next item never starts.
TEST(Wait, TheStartedProcessHandleIsClosedOnEveryPath)
{
    struct {
        const char* what;
        const char* list;
        std::function<void(sim::SimWindows&, zw::Hwnd)> event;  // at 5 s, or at
        int exitCode = 0;
        uint64_t at = 5 * kSec, aRunsMs = 60 * kSec;
    } const cases[] = {
        {"direct, the wait ends", "Setup1=1,a.exe, ,\nSetup2=1,b.exe, ,\n", nullptr},
        {"dialog, the wait ends", "Setup1=1,a.exe,/q\nSetup2=1,b.exe, ,\n", nullptr},
        {"dialog, Esc", "Setup1=1,a.exe,/q\nSetup2=1,b.exe, ,\n",
         [](sim::SimWindows& s, zw::Hwnd) { s.PostMessage(s.OpenDialog(), WM_COMMAND, IDCANCEL); }},
        {"direct, the window is closed", "Setup1=1,a.exe, ,\nSetup2=1,b.exe, ,\n",
         [](sim::SimWindows& s, zw::Hwnd w) { s.PostMessage(w, WM_CLOSE); }, 1602},
        {"dialog, the run is ended from the menu", "Setup1=1,a.exe,/q\nSetup2=1,b.exe, ,\n",
         [](sim::SimWindows& s, zw::Hwnd w) { s.PostMessage(w, WM_COMMAND, IDM_EXIT); }, 1602},
        {"direct, the run is ended from the menu in the grace period", "Setup1=1,a.exe, ,\nSetup2=1,b.exe, ,\n",
         [](sim::SimWindows& s, zw::Hwnd w) { s.PostMessage(w, WM_COMMAND, IDM_EXIT); }, 1602, 3 * kSec, 1 * kSec},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.AddProgram("C:\\setup\\a.exe", c.event ? c.aRunsMs : 3 * kSec);
        s.AddFile("C:\\setup\\b.exe");
        size_t handlesAtSecondStart = 99;
        s.onCall = [&](const sim::Call& call) {
            // The run's record of the processes it started keeps one of its own.
            if (call.name == "ShellExecuteExA" && call.detail.rfind(".\\b.exe", 0) == 0)
                handlesAtSecondStart = s.OpenHandles() - zw::startedProcesses.size();
        };
        if (c.event) s.At(c.at, [&] { c.event(s, zw::installerWindow); });
        EXPECT_EQ(l.Run(c.list), c.exitCode) << c.what;
        EXPECT_FALSE(s.timedOut) << c.what;
        EXPECT_FALSE(s.IsAlive(l.window)) << c.what;
        if (c.exitCode == 1602) {
            EXPECT_EQ(s.starts.size(), 1u) << c.what;  // the next item never starts
            EXPECT_LT(s.now, 10 * kSec) << c.what;
        }
        s.onCall = nullptr;
        if (handlesAtSecondStart != 99) {
            EXPECT_EQ(handlesAtSecondStart, 0u) << c.what;
        }
    }
}

// A program, batch file, package, patch, update or script holds its wait
// through its process: no snapshot is taken while it runs. A document's
// viewer does not hold it, nor Notepad, the shell's default for a .ps1: only
// a PowerShell host that runs the script does.
TEST(Wait, TheStartedProcessHoldsTheWaitWithoutASnapshot)
{
    for (const rows::StartRow& c : rows::kStartRows) {
        const std::string what = rows::RowName(c), file = "C:\\setup\\" + std::string(c.file);
        const std::string host = c.host.empty() || c.host == "-" ? file : "C:\\windows\\System32\\" + c.host;
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        zw::silentMode = c.mode == rows::Silent ? 1 : 0;
        zw::unattended = c.mode == rows::Unattended ? 1 : 0;
        l.Program(host, 30 * kSec, c.image);
        s.AddFile(file);
        l.List(std::string("Setup1=1,") + c.file + (c.direct ? ", ,\n" : ",/x\n"));
        EXPECT_EQ(l.Run(), 0) << what;
        ASSERT_EQ(s.starts.size(), c.host == "-" ? 0u : 1u) << what;
        if (s.starts.empty()) continue;
        EXPECT_EQ(s.starts[0].resolved, host) << what;
        EXPECT_TRUE(c.parameters.empty() || s.starts[0].parameters == c.parameters) << what;
        const uint64_t start = s.starts[0].time, ended = start + 30 * kSec;
        size_t during = 0;
        for (const sim::Call& call : s.CallsNamed("CreateToolhelp32Snapshot"))
            if (call.time > start && call.time < ended) ++during;
        const uint64_t end = c.direct ? s.CallsNamed("SetTimer").back().time : s.dialogs[0].closed;
        if (c.throughProcess) {
            // msiexec.exe of this run is looked for before a package starts: those scans come first.
            EXPECT_EQ(during, 0u) << what;
            EXPECT_GE(end, ended) << what;
        } else {
            EXPECT_GT(during, 0u) << what;
            EXPECT_LT(end, ended) << what;
        }
    }
}

// Once only waitList names hold the wait, each tick tests the item's own name
// and then all the names against one snapshot, however many they are (here
// late.exe cannot be opened, so snapshots are all there is to watch it by).
TEST(Wait, OneSnapshotForAllTheNamesOfATick)
{
    for (const char* waitList : {"late.exe", "a.exe~b.exe~*.tmp~c.exe~late.exe"}) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.AddProgram("C:\\setup\\setup.exe", 1 * kSec);
        s.FindProcess(s.AddProcess("late.exe", 0, 20 * kSec))->openFails = true;
        EXPECT_EQ(l.Run(std::string("Setup1=1,setup.exe, ,") + waitList + "\n"), 0) << waitList;
        // From 2 s to 19 s only late.exe runs: ticks of 500 ms + 300 ms sleep,
        // each with two snapshots.
        size_t ticks = 0;
        for (const sim::Call& call : s.CallsNamed("KillTimer"))
            if (call.detail == "201" && call.time >= 2 * kSec && call.time < 19 * kSec) ++ticks;
        size_t snapshots = 0;
        for (const sim::Call& call : s.CallsNamed("CreateToolhelp32Snapshot"))
            if (call.time >= 2 * kSec && call.time < 19 * kSec) ++snapshots;
        EXPECT_GT(ticks, 15u) << waitList;
        EXPECT_LE(snapshots, 2 * ticks + 1) << waitList;
        EXPECT_GE(snapshots + 1, 2 * ticks) << waitList;
        EXPECT_GE(s.CallsNamed("SetTimer").back().time, 20 * kSec) << waitList;
    }
}

// Another installation holds the Windows Installer: the package waits for it
// and never keeps the mutex itself.
TEST(Wait, APackageWaitsWhileTheInstallerIsBusy)
{
    struct {
        const char* what;
        bool exists;
        uint64_t heldUntil;
        uint32_t openError;
        uint64_t startsAt;  // the first tick comes at 500 ms
    } const cases[] = {
        {"no installer mutex", false, 0, 0, 500},
        {"free", true, 0, 0, 500},
        {"held for the first 5 s", true, 5 * kSec, 0, 5 * kSec},
        {"held 20 min: 10 min at most", true, 1200 * kSec, 0, 500 + 600 * kSec},
        {"cannot be opened", true, 1200 * kSec, ERROR_ACCESS_DENIED, 500},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.AddProgram("C:\\setup\\setup.msi", 3 * kSec, "msiexec.exe");
        s.mutexes[kInstallerMutex] = {c.exists, 0, c.heldUntil, c.openError};
        // A package started while another installation holds the installer
        // ends with 1618, and so does the run.
        EXPECT_EQ(l.Run(kPackage, 3600 * kSec), c.heldUntil > c.startsAt ? 1618 : 0) << c.what;
        ASSERT_EQ(s.starts.size(), 1u) << c.what;
        const sim::Start& start = s.starts[0];
        EXPECT_GE(start.time, c.startsAt) << c.what;
        EXPECT_LE(start.time, c.startsAt + 250) << c.what;
        EXPECT_FALSE(start.mutexOwnedByCaller) << c.what;
        EXPECT_EQ(s.mutexes[kInstallerMutex].ownedByCaller, 0) << c.what;
    }
}

// msiexec.exe of this run is waited for before a package starts, bounded only
// by the time limit; the Windows Installer service (msiexec.exe too, created
// by whatever) is no installation of the run's. Nothing is ended.
TEST(Wait, APackageWaitsForTheRunsOwnMsiexecNeverForTheService)
{
    for (const bool limited : {false, true}) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.AddProgram("C:\\setup\\setup.msi", 3 * kSec, "msiexec.exe");
        const uint32_t ours = StartedByTheRun(s);
        s.services["msiserver"] = s.AddProcess("msiexec.exe", 0, UINT64_MAX, 0, ours);
        s.AddProcess("msiexec.exe", 0, 10 * kSec, 0, ours);
        s.AddProcess("msiexec.exe", 0, limited ? UINT64_MAX : 20 * kSec, 0, ours);
        zw::timeLimitMs = limited ? 60 * kSec : 0;
        EXPECT_EQ(l.Run(kPackage, 3600 * kSec), limited ? ERROR_TIMEOUT : 0) << limited;
        if (limited) {
            EXPECT_TRUE(s.starts.empty());
            EXPECT_LE(s.now, 61 * kSec);
            continue;
        }
        ASSERT_EQ(s.starts.size(), 1u);
        EXPECT_GE(s.starts[0].time, 20 * kSec);
        EXPECT_LE(s.starts[0].time, 20 * kSec + 300);
    }
}

// A silent run shows no box and asks the shell for none; /norestart leaves a
// pending restart to the caller with exit code 3010. On a window station
// nobody sees (a service's, session 0), a run without /s shows no box either
// and leaves the restart to the caller as /norestart does; /s still restarts.
TEST(Wait, SilentAndNoRestartRuns)
{
    struct {
        bool silent, noRestart, hidden, pending;
        int exitCode;
        size_t boxes;  // "file open error", and the question
        size_t restarts;
        bool timed = false;  // /timeout: the shell's own box could outlive the limit
    } const cases[] = {
        // The missing INF is the run's first failure, ahead of any restart
        // code: a failed run neither asks nor restarts, in any mode.
        {false, false, false, false, 2, 1, 0},       {false, false, false, true, 2, 1, 0},
        {true, false, false, false, 2, 0, 0},        {true, false, false, true, 2, 0, 0},
        {false, true, false, false, 2, 1, 0},        {false, true, false, true, 2, 1, 0},
        {true, true, false, false, 2, 0, 0},         {true, true, false, true, 2, 0, 0},
        {false, false, true, false, 2, 0, 0},        {false, false, true, true, 2, 0, 0},
        {true, false, true, false, 2, 0, 0},         {true, false, true, true, 2, 0, 0},
        {false, true, true, true, 2, 0, 0},          {true, true, true, true, 2, 0, 0},
        {false, false, false, false, 2, 1, 0, true},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.silent ? "silent" : "not silent") + (c.noRestart ? ", /norestart" : "") +
                                 (c.hidden ? ", window station not visible" : "") +
                                 (c.pending ? ", restart pending" : "") + (c.timed ? ", /timeout:" : "");
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.stationVisible = !c.hidden;
        s.AddFile("C:\\setup\\a.exe");
        s.AddLauncher(std::string(c.silent ? "[SetupSilent]" : "[SetupList]") +
                      "\nSetup1=0,missing.inf,PCI\\VEN_1\nSetup2=1,a.exe, , ," + (c.pending ? "1\n" : "0\n"));
        EXPECT_EQ(l.RunWhole(std::string(c.silent ? "/s " : "") + (c.noRestart ? "/norestart " : "") +
                             (c.timed ? "/timeout:5" : "")),
                  c.exitCode)
            << what;
        EXPECT_EQ(s.boxes.size(), c.boxes) << what;
        if (!s.boxes.empty()) {
            EXPECT_EQ(s.boxes[0].caption, "file open error") << what;
        }
        EXPECT_EQ(s.RestartsAccepted(), c.restarts) << what;
        ASSERT_EQ(s.starts.size(), 1u) << what;  // the item after the missing INF runs
        EXPECT_EQ(s.starts[0].mask, SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOZONECHECKS |
                                        (c.silent || c.hidden || c.timed ? SEE_MASK_FLAG_NO_UI : 0u))
            << what;
    }
}

}  // namespace
