// In the unit tests a broken handle contract at the end of a SimScope is a
// failure of the test that ran it.
#include <gtest/gtest.h>

#include "sim/sim_windows.h"

namespace {

const bool kReported = [] {
    sim::contractBroken = [](const std::string& what) { ADD_FAILURE() << "simulated Windows: " << what; };
    return true;
}();

}  // namespace
