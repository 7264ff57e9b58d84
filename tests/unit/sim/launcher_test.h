// A launcher's process in the simulated Windows: a fresh one whose executable
// lies in C:\setup, its setup list, stand-in programs, a folder for its run
// log, and its run through SimWindows::RunLauncher on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sequencer/installer_window.h"
#include "sim/sim_windows.h"
#include "startup/launch.h"
#include "state/run_outcome.h"

namespace sim {

constexpr char kLog[] = "C:\\logs\\run.log";

// One per test, or one per table row where each row needs a fresh process.
struct Launcher {
    SimScope scope;
    SimWindows& sim = scope.sim;
    zw::Hwnd& window = sim.launcherWindow;
    int exitCode = -99;

    Launcher()
    {
        sim.AddFile(sim.modulePath);
        sim.AddDirectory("C:\\logs");
    }

    void List(const std::string& body) { sim.AddLauncher("[SetupList]\n" + body); }
    void Program(const std::string& path, uint64_t runsMs, const std::string& image = "", uint32_t exitCode = 0)
    {
        sim.AddProgram(path, runsMs, image, exitCode);
    }
    void Device(const std::vector<std::string>& ids, bool present = true)
    {
        sim.devices.push_back({MultiSz(ids), 0, present});
    }
    // The InstallerWindow alone, on the run state as the test left it.
    int Run(uint64_t limitMs = 600 * 1000) { return exitCode = sim.RunLauncher(limitMs); }
    int Run(const std::string& items, uint64_t limitMs = 600 * 1000)
    {
        List(items);
        return Run(limitMs);
    }
    // A whole run as the executable makes it, from its command-line tail to
    // the exit code it ends with; a tail that is refused starts nothing.
    int RunWhole(const std::string& tail, uint64_t limitMs = 3600 * 1000)
    {
        const int code = zw::BeginRun(tail) ? Run(limitMs) : static_cast<int>(zw::RunExitCode());
        exitCode = zw::EndRun(code);
        return exitCode;
    }
    std::string Log() const { return sim.FileContent(kLog); }
};

// Whether TEXT holds LINES in this order, each after the end of the one before.
inline ::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& lines)
{
    size_t at = 0;
    for (const std::string& line : lines) {
        const size_t found = text.find(line, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "no '" << line << "' after offset " << at << " in\n" << text;
        at = found + line.size();
    }
    return ::testing::AssertionSuccess();
}

class LauncherTest : public ::testing::Test, public Launcher {
protected:
    using Launcher::Run;  // not the Test's own
};

}  // namespace sim
