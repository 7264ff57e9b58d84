// The command line as the launcher reads it: the tail after the program name
// and the switches found in it.
//
// The tail is never split into arguments. Every switch is a plain substring
// of it: "/s" case-sensitive, so /s, /silent and a/sb count while /S and -s
// do not; "/norestart", "/log:" and "/timeout:" with ASCII case ignored. The
// value of a /log: or /timeout: switch runs to the next blank, or between
// double quotes when it starts with one (to the end of the tail when the
// closing quote is missing); no switch is looked for inside such a value, so
// a log at C:/setup/x.log does not make the run silent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zw {

// The command line without the program name, by the rules of the C start-up
// code: a quoted name ends at the next quote (skipped too), an unquoted one
// before the first character of code 0x20 or below; then every character from
// 0x01 to 0x20 is skipped.
std::string_view CommandLineTail(std::string_view commandLine);

struct Switches {
    // "/s": the silent section of the setup list, and a restart without a
    // question.
    bool silent = false;
    // "/norestart": a restart that would be made or asked for is left to the
    // caller, and the run ends with exit code 3010.
    bool noRestart = false;
    // The first "/log:" switch's path; empty without one, or when it is empty.
    std::string logPath;
    // The first "/timeout:" switch: its value as written, and the minutes it
    // gives when it is a whole number from kMinTimeoutMinutes to
    // kMaxTimeoutMinutes (0 otherwise: the run refuses to start).
    bool timeoutGiven = false;
    std::string timeoutText;
    uint32_t timeoutMinutes = 0;
};
constexpr uint32_t kMinTimeoutMinutes = 1;
constexpr uint32_t kMaxTimeoutMinutes = 1440;
Switches ParseSwitches(std::string_view tail);

// ParseSwitches(tail).silent.
bool HasSilentSwitch(std::string_view tail);

}  // namespace zw
