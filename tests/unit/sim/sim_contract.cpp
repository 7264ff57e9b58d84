// In the unit tests a broken handle contract at the end of a SimScope is a
// failure of the test that ran it.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "sim/sim_windows.h"

namespace {

const bool kReported = [] {
    sim::contractBroken = [](const std::string& what) { ADD_FAILURE() << "simulated Windows: " << what; };
    return true;
}();

uint32_t NoWork(void*) { return 0; }

TEST(SimContract, AHandleLeftOpenOrClosedWronglyFailsTheTest)
{
    EXPECT_NONFATAL_FAILURE(
        {
            sim::SimScope s;
            s.sim.CreateToolhelp32Snapshot(2, 0);
            s.sim.CreateThread(NoWork, nullptr);
        },
        "open at the end: 2 handles (Snapshot Thread), expected 0");
    EXPECT_NONFATAL_FAILURE(
        {
            sim::SimScope s;
            const zw::Handle manager = s.sim.OpenSCManagerA(nullptr, nullptr, 1);
            s.sim.CloseHandle(manager);  // not closed by CloseServiceHandle
            s.sim.CloseServiceHandle(manager);
            s.sim.LocalFree(&s);
        },
        "2 handles closed that were not open, or with the wrong call");
    EXPECT_NONFATAL_FAILURE(
        {
            sim::SimScope s;
            s.sim.systemTexts[5] = "Access is denied.\r\n";
            char* text = nullptr;
            s.sim.FormatMessageA(0x1300, 5, 0x400, &text);
        },
        "live at the end: 1 allocations of the system, expected 0 (LocalFree)");
}

}  // namespace
