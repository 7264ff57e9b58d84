// The command line on arbitrary bytes: the tail cut from it, the switches
// found in the tail (/s, /norestart, /log: and /timeout: quoted or not,
// closed or not, of any length), and the start of a run on the simulated Windows with them.
// The input is the whole command line, program name included; the switches
// are also read from the input taken as a tail, so every byte reaches them.
#include <string>
#include <tuple>
#include <utility>

#include "fuzz_check.h"
#include "platform/ascii.h"
#include "runlog/run_log.h"
#include "startup/command_line.h"
#include "startup/launch.h"

namespace {

constexpr std::string_view kLog = "/log:";
constexpr std::string_view kTimeout = "/timeout:";

size_t FindAnyCase(std::string_view text, std::string_view wanted, size_t from)
{
    for (size_t i = from; i + wanted.size() <= text.size(); ++i)
        if (zw::EqualsIgnoringAsciiCase(text.substr(i, wanted.size()), wanted)) return i;
    return std::string_view::npos;
}

// Every /log: or /timeout: switch of the tail owns the value after it: right
// after the switch (and its opening quote), holding no blank unless quoted
// and no quote when quoted, and as long as it can be (up to a blank, the
// closing quote or the end). The first /log: switch's value is the log, the
// first /timeout: switch's the time limit. Outside the values, "/s" as
// written makes the run silent and "/norestart" in any case is seen.
void CheckSwitches(std::string_view tail)
{
    const zw::Switches switches = zw::ParseSwitches(tail);
    FUZZ_CHECK(zw::HasSilentSwitch(tail) == switches.silent);

    std::string outside(tail);  // the tail with every value blotted out
    bool firstLog = true, firstTimeout = true;
    auto next = [&tail](size_t from) {
        const size_t log = FindAnyCase(tail, kLog, from), timeout = FindAnyCase(tail, kTimeout, from);
        return log < timeout ? std::make_pair(log, kLog) : std::make_pair(timeout, kTimeout);
    };
    for (auto [at, name] = next(0); at != std::string_view::npos;) {
        const size_t afterSwitch = at + name.size();
        const bool quoted = afterSwitch < tail.size() && tail[afterSwitch] == '"';
        const size_t start = afterSwitch + (quoted ? 1 : 0);
        // From this switch on, it is the first of its kind: its value is the one taken.
        const zw::Switches from = zw::ParseSwitches(tail.substr(at));
        const std::string value = name == kLog ? from.logPath : from.timeoutText;
        FUZZ_CHECK(tail.substr(start, value.size()) == value);
        const size_t end = start + value.size();
        if (quoted) {
            FUZZ_CHECK(value.find('"') == std::string::npos);
            FUZZ_CHECK(end == tail.size() || tail[end] == '"');
        } else {
            FUZZ_CHECK(value.find_first_of(" \t") == std::string::npos);
            FUZZ_CHECK(end == tail.size() || tail[end] == ' ' || tail[end] == '\t');
        }
        if (name == kLog && firstLog) {
            FUZZ_CHECK(switches.logPath == value);
            firstLog = false;
        }
        if (name == kTimeout && firstTimeout) {
            FUZZ_CHECK(switches.timeoutGiven && switches.timeoutText == value);
            firstTimeout = false;
        }
        for (size_t i = start; i < end; ++i) outside[i] = 'x';
        std::tie(at, name) = next(quoted && end < tail.size() ? end + 1 : end);
    }
    if (firstLog) FUZZ_CHECK(switches.logPath.empty());
    if (firstTimeout) FUZZ_CHECK(!switches.timeoutGiven);
    // Minutes only for a whole number from 1 to 1440.
    if (switches.timeoutMinutes != 0)
        FUZZ_CHECK(std::to_string(switches.timeoutMinutes).size() <= switches.timeoutText.size() &&
                   switches.timeoutMinutes <= zw::kMaxTimeoutMinutes);
    FUZZ_CHECK(switches.silent == (outside.find("/s") != std::string::npos));
    FUZZ_CHECK(switches.noRestart == (FindAnyCase(outside, "/norestart", 0) != std::string_view::npos));
}

// A run's start on the simulated Windows: without /log: no file is touched at
// all; with it, the log is the one file opened, and whatever the tail holds,
// the start line carries all of it on one line. A /timeout: without a valid
// number of minutes refuses the run, with one more line that says why.
void CheckStart(std::string_view tail)
{
    sim::SimScope process;
    sim::SimWindows& sim = process.sim;
    const zw::Switches switches = zw::ParseSwitches(tail);
    const bool refused = switches.timeoutGiven && switches.timeoutMinutes == 0;
    FUZZ_CHECK(zw::BeginRun(tail) == !refused);
    if (switches.logPath.empty()) {
        FUZZ_CHECK(sim.CountCalls("CreateFileA") == 0 && sim.CountCalls("WriteFile") == 0);
        FUZZ_CHECK(!zw::RunLogOpen());
        return;
    }
    // Its folder, then the file in it; the file only once the folder is one.
    FUZZ_CHECK(sim.CountCalls("CreateFileA") <= 1 && sim.CountCalls("NtCreateFile") <= sim.CountCalls("CreateFileA"));
    if (zw::RunLogOpen()) {
        FUZZ_CHECK(sim.CountCalls("NtCreateFile") == 1);
        // The system sees the path up to its first NUL.
        const std::string log = sim.FileContent(switches.logPath.c_str());
        FUZZ_CHECK(log.size() >= 2 && log.compare(log.size() - 2, 2, "\r\n") == 0);
        const size_t firstEnd = log.find_first_of(std::string("\r\n\0", 3));
        const size_t lineEnd = refused ? log.find_first_of(std::string("\r\n\0", 3), firstEnd + 2) : firstEnd;
        FUZZ_CHECK(lineEnd == log.size() - 2);
        if (refused) FUZZ_CHECK(log.find("outcome: failure, exit code 87: /timeout:") != std::string::npos);
        // Secrets hidden, then the line kept whole.
        std::string shown;
        zw::AppendLogPart(shown, zw::Masked(tail));
        for (char& c : shown)
            if (c == '\r' || c == '\n' || c == '\0') c = ' ';
        const std::string expected = ", tail " + shown + ", silentMode " + (switches.silent ? "1" : "0");
        FUZZ_CHECK(log.find(expected) != std::string::npos);
    }
    zw::EndRun(0);
    FUZZ_CHECK(!zw::RunLogOpen());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view commandLine = InputText(data, size);
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
