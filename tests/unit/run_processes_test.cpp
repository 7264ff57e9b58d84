// Which running msiexec.exe a package waits for: every one this run started,
// told by the creators Toolhelp names and the creation times of the
// processes; never the service, none after the installer stayed busy. None
// is ever ended.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/win_values.h"
#include "sequencer/installer_window.h"
#include "sim/launcher_test.h"
#include "sim/sim_windows.h"
#include "state/run_state.h"

namespace {

using namespace zw::win;

constexpr uint64_t kSec = 1000;
constexpr uint64_t kLong = 3600 * kSec;

const sim::Process* Image(sim::SimWindows& s, const std::string& image)
{
    for (const sim::Process& p : s.processes)
        if (p.image == image) return &p;
    return nullptr;
}

// Item 1 (boot.exe, 1 s, or first.msi under the dialog) comes before the
// package, item 2. Each case leaves one msiexec.exe that is not the package's
// own running when item 2 is taken up, and says whether the package waits
// for it to end.
TEST(RunProcesses, OnlyAnInstallerThisRunStartedIsWaitedFor)
{
    using Setup = std::function<void(sim::SimWindows&)>;
    const sim::ProgramScript bootWithInstaller{"", 1 * kSec, {{"msiexec.exe", 100, kLong}}};
    struct {
        const char* what;
        const char* item1;
        Setup setUp;
        uint64_t busyUntil;  // the installer's mutex is held by someone else until then
        bool waited;
        const char* logged;
    } const cases[] = {
        {"itself started by the run (its dialog closed early)", "1,first.msi,/qn",
         [](sim::SimWindows& s) {
             s.programs["FIRST.MSI"] = {"msiexec.exe", kLong, {}};
             s.At(5 * kSec, [&s] { s.PostMessage(s.OpenDialog(), WM_COMMAND, IDCANCEL); });
         },
         0, true, "package: waiting for msiexec.exe (pid "},
        {"its creator was started by the run", "1,boot.exe, ,", nullptr, 0, true, "), started by this run"},
        {"its creator's creator was started by the run", "1,boot.exe, ,",
         [](sim::SimWindows& s) {
             s.programs["BOOT.EXE"] = {"", 1 * kSec, {{"bootstrap.exe", 100, kLong}}};
             s.At(3 * kSec, [&s] { s.AddProcess("msiexec.exe", s.now, kLong, 0, Image(s, "bootstrap.exe")->pid); });
         },
         0, true, "), started by this run"},
        {"someone else's", "1,boot.exe, ,",
         [](sim::SimWindows& s) {
             s.programs["BOOT.EXE"] = {"", 1 * kSec, {}};
             const uint32_t explorer = s.AddProcess("explorer.exe", 0);
             s.AddProcess("msiexec.exe", 0, kLong, 0, explorer);
         },
         0, false, ") was not started by this run and is left alone"},
        {"its creator's id went to a process of the run created after it", "1,boot.exe, ,",
         [](sim::SimWindows& s) {
             s.programs["BOOT.EXE"] = {"", 1 * kSec, {}};
             s.AddProcess("msiexec.exe", 0, kLong, 0, s.NextPid() + 4);  // boot.exe gets that id
         },
         0, false, ") was not started by this run and is left alone"},
        {"its creator's id went to another once the run's process had ended", "1,boot.exe, ,",
         [](sim::SimWindows& s) {
             s.programs["BOOT.EXE"] = {"", 1 * kSec, {}};
             s.At(3 * kSec, [&s] {
                 const uint32_t reused = s.starts.at(0).pid;
                 s.AddProcessWithId(reused, "other.exe", s.now, kLong, 0);
                 s.AddProcess("msiexec.exe", s.now + 100, kLong, 0, reused);
             });
         },
         0, false, ") was not started by this run and is left alone"},
        {"the Windows Installer service", "1,boot.exe, ,",
         [](sim::SimWindows& s) { s.services["msiserver"] = s.NextPid() + 4; },  // the child of boot.exe
         0, false, "; it is no installation of this run's"},
        {"the installer busy for 20 s, then free", "1,boot.exe, ,", nullptr, 20 * kSec, true, "is free after "},
        {"the installer still busy after 10 min", "1,boot.exe, ,", nullptr, 1200 * kSec, false,
         "package: the Windows Installer is still busy; the package is started all the same"},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& s = l.sim;
        s.AddFile("C:\\setup\\boot.exe");
        s.AddFile("C:\\setup\\first.msi");
        s.AddProgram("C:\\setup\\second.msi", 2 * kSec, "msiexec.exe");
        s.mutexes["Global\\_MSIExecute"] = {true, 0, c.busyUntil};
        s.programs["BOOT.EXE"] = bootWithInstaller;  // unless the case says otherwise
        if (c.setUp) c.setUp(s);
        bool heldAtACall = false;  // the mutex is given back before anything else, the log line included
        s.onCall = [&](const sim::Call& call) {
            heldAtACall |= call.name != "MsgWaitForMultipleObjects" && call.name != "ReleaseMutex" &&
                           s.mutexes["Global\\_MSIExecute"].ownedByCaller > 0;
        };
        l.List(std::string("Setup1=") + c.item1 + "\nSetup2=1,second.msi, ,\n");
        // A package started while the installer is still busy ends with 1618, and so does the run.
        EXPECT_EQ(l.RunWhole(std::string("/log:") + sim::kLog, 2 * kLong), c.busyUntil > 600 * kSec ? 1618 : 0)
            << c.what;
        s.onCall = nullptr;
        EXPECT_FALSE(heldAtACall) << c.what;
        // Taken once by each package that found the installer free.
        const size_t packages = std::string(c.item1).find(".msi") != std::string::npos ? 2 : 1;
        EXPECT_EQ(s.mutexes["Global\\_MSIExecute"].acquisitions, c.busyUntil > 600 * kSec ? 0 : packages) << c.what;
        ASSERT_EQ(s.starts.size(), 2u) << c.what;
        const uint32_t package = s.starts[1].pid;
        int seen = 0;
        for (const sim::Process& p : s.processes) {
            if (p.image != "msiexec.exe" || p.pid == package || p.start > s.starts[1].time) continue;
            ++seen;
            EXPECT_EQ(p.end <= s.starts[1].time, c.waited) << c.what;
        }
        EXPECT_EQ(seen, 1) << c.what;
        const std::string log = l.Log();
        EXPECT_NE(log.find(c.logged), std::string::npos) << c.what << "\n" << log;
    }
}

}  // namespace
