// Start-up and end of a run, apart from the windows: the switches of the
// command-line tail, the run log, and the hand-off of the 32-bit launcher on
// 64-bit Windows to its 64-bit sibling.
#pragma once

#include <string_view>

namespace zw {

// The 64-bit sibling, beside this executable.
constexpr char kSiblingName[] = "zarnowel64.exe";

// Notes the switches of the tail in the run state, opens the run log when
// one is asked for, logs the start and starts the clock of /timeout. False
// when a switch's value is not valid: the failure is reported and the run
// must start nothing.
bool BeginRun(std::string_view tail);

// Under WOW64 the sibling does the whole job: it is started beside this
// executable with the tail unchanged, this process waits for it to end, and
// exitCode receives its exit code. False when this process carries out the
// list itself: it runs natively, or the sibling cannot be started (from a
// 32-bit process on 64-bit Windows everything but driver items still works).
bool HandOffToSibling(std::string_view tail, int& exitCode);

// Logs the exit code with its meaning as the log's last line, closes the run
// log, and returns the code.
int EndRun(int exitCode);

}  // namespace zw
