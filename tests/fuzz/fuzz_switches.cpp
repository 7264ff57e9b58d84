// The command line on arbitrary bytes: the tail cut from it, the switches
// found in the tail (/s, /norestart, /log: quoted or not, closed or not, of
// any length), and the start of a run on the simulated Windows with them.
// The input is the whole command line, program name included; the switches
// are also read from the input taken as a tail, so every byte reaches them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/ascii.h"
#include "runlog/run_log.h"
#include "sim/sim_windows.h"
#include "startup/command_line.h"
#include "startup/launch.h"

namespace {

constexpr std::string_view kLog = "/log:";

size_t FindAnyCase(std::string_view text, std::string_view wanted, size_t from)
{
    for (size_t i = from; i + wanted.size() <= text.size(); ++i)
        if (zw::EqualsIgnoringAsciiCase(text.substr(i, wanted.size()), wanted)) return i;
    return std::string_view::npos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Every /log: switch of the tail owns the path after it: right after the
// switch (and its opening quote), holding no blank unless quoted and no
// quote when quoted, and as long as it can be (up to a blank, the closing
// quote or the end). The first switch's path is the log. Outside the paths,
// "/s" as written makes the run silent and "/norestart" in any case is seen.
void CheckSwitches(std::string_view tail)
{
    const zw::Switches switches = zw::ParseSwitches(tail);
    FUZZ_CHECK(zw::HasSilentSwitch(tail) == switches.silent);

    std::string outside(tail);  // the tail with every path blotted out
    bool first = true;
    for (size_t at = FindAnyCase(tail, kLog, 0); at != std::string_view::npos;) {
        const size_t afterSwitch = at + kLog.size();
        const bool quoted = afterSwitch < tail.size() && tail[afterSwitch] == '"';
        const size_t start = afterSwitch + (quoted ? 1 : 0);
        // From this switch on, it is the first one: its path is the log's.
        const std::string path = zw::ParseSwitches(tail.substr(at)).logPath;
        FUZZ_CHECK(tail.substr(start, path.size()) == path);
        const size_t end = start + path.size();
        if (quoted) {
            FUZZ_CHECK(path.find('"') == std::string::npos);
            FUZZ_CHECK(end == tail.size() || tail[end] == '"');
        } else {
            FUZZ_CHECK(path.find_first_of(" \t") == std::string::npos);
            FUZZ_CHECK(end == tail.size() || IsBlank(tail[end]));
        }
        if (first) FUZZ_CHECK(switches.logPath == path);
        first = false;
        for (size_t i = start; i < end; ++i) outside[i] = 'x';
        at = FindAnyCase(tail, kLog, quoted && end < tail.size() ? end + 1 : end);
    }
    if (first) FUZZ_CHECK(switches.logPath.empty());
    FUZZ_CHECK(switches.silent == (outside.find("/s") != std::string::npos));
    FUZZ_CHECK(switches.noRestart == (FindAnyCase(outside, "/norestart", 0) != std::string_view::npos));
}

// A run's start on the simulated Windows: without /log: no file is touched at
// all; with it, the log is the one file opened, and whatever the tail holds,
// the start line carries all of it on one line.
void CheckStart(std::string_view tail)
{
    sim::SimScope scope;
    sim::SimWindows& sim = scope.sim;
    const zw::Switches switches = zw::ParseSwitches(tail);
    zw::BeginRun(tail);
    if (switches.logPath.empty()) {
        FUZZ_CHECK(sim.CountCalls("CreateFileA") == 0 && sim.CountCalls("WriteFile") == 0);
        FUZZ_CHECK(!zw::RunLogOpen());
        return;
    }
    FUZZ_CHECK(sim.CountCalls("CreateFileA") == 1);
    if (zw::RunLogOpen()) {
        // The system sees the path up to its first NUL.
        const std::string log = sim.FileContent(switches.logPath.c_str());
        FUZZ_CHECK(log.size() >= 2 && log.compare(log.size() - 2, 2, "\r\n") == 0);
        FUZZ_CHECK(log.find_first_of(std::string("\r\n\0", 3)) == log.size() - 2);
        std::string shown(tail);
        for (char& c : shown)
            if (c == '\r' || c == '\n' || c == '\0') c = ' ';
        const std::string expected = ", tail \"" + shown + "\", silentMode " + (switches.silent ? "1" : "0");
        FUZZ_CHECK(log.find(expected) != std::string::npos);
    }
    zw::EndRun(0);
    FUZZ_CHECK(!zw::RunLogOpen());
    FUZZ_CHECK(sim.OpenHandles() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view commandLine(reinterpret_cast<const char*>(data), size);
    const std::string_view tail = zw::CommandLineTail(commandLine);
    // The end of the command line, with no blank or control character first.
    FUZZ_CHECK(tail.size() <= commandLine.size());
    FUZZ_CHECK(commandLine.substr(commandLine.size() - tail.size()) == tail);
    FUZZ_CHECK(tail.empty() || tail[0] == '\0' || static_cast<unsigned char>(tail[0]) > 0x20);
    CheckSwitches(tail);
    CheckSwitches(commandLine);
    CheckStart(tail);
    return 0;
}
