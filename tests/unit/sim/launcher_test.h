// The one way to run the launcher in the simulated Windows: a fresh process
// whose executable lies in C:\setup, its setup list, stand-in programs, and
// one run of its InstallerWindow on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sequencer/installer_window.h"
#include "sim/sim_windows.h"

namespace sim {

class LauncherTest : public ::testing::Test {
protected:
    SimScope scope;
    SimWindows& sim = scope.sim;
    zw::Hwnd window = nullptr;
    int exitCode = -99;

    LauncherTest() { sim.AddFile(sim.modulePath); }

    void List(const std::string& body) { sim.AddFile("C:\\setup\\Zarnowel.ini", "[SetupList]\n" + body); }
    // A program at PATH that runs for MS ms, its process named IMAGE (default its file name).
    void Program(const std::string& path, uint64_t runsMs, std::string image = "")
    {
        sim.AddFile(path);
        sim.programs[UpperAscii(path.substr(path.find_last_of('\\') + 1))] = {image, runsMs, {}};
    }
    int Run(uint64_t limitMs = 600 * 1000)
    {
        window = sim.CreateTestWindow(zw::InstallerWindowProc);
        exitCode = sim.RunMessageLoop(limitMs);
        return exitCode;
    }
};

}  // namespace sim
