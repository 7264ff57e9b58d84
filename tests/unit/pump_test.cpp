#include <gtest/gtest.h>

#include "platform/pump.h"
#include "platform/win_values.h"
#include "sim/sim_windows.h"

namespace {

using namespace zw::win;

int dispatched = 0;
intptr_t CountingProc(zw::Hwnd, uint32_t msg, uintptr_t, intptr_t)
{
    if (msg == WM_USER) ++dispatched;
    return 0;
}

TEST(Pump, DispatchesEverythingPendingAndGivesBackAQuitRequest)
{
    sim::SimScope s;
    dispatched = 0;
    zw::Hwnd w = s.sim.CreateTestWindow(CountingProc);
    s.sim.PostMessage(w, WM_USER);
    s.sim.PostQuitMessage(7);
    s.sim.PostMessage(w, WM_USER);
    zw::PumpPendingMessages();
    EXPECT_EQ(dispatched, 2);
    // The loop that owns the thread still sees the quit request, with its code.
    EXPECT_EQ(s.sim.RunMessageLoop(1000), 7);
}

TEST(Pump, LeavesFutureTimersAlone)
{
    sim::SimScope s;
    zw::Hwnd w = s.sim.CreateTestWindow(CountingProc);
    s.sim.SetTimer(w, 200, 500);
    zw::PumpPendingMessages();
    EXPECT_TRUE(s.sim.TimerArmed(w, 200));
    EXPECT_EQ(s.sim.now, 0u);
}

}  // namespace
