#include "state/run_outcome.h"

#include "platform/win_values.h"
#include "runlog/run_log.h"

namespace zw {

namespace {

struct Outcome {
    bool failed = false;
    uint32_t failure = 0;
    bool restartStarted = false;
    bool restartNeeded = false;
    bool timeLimitReached = false;
};
Outcome outcome;

}  // namespace

void ReportFailure(uint32_t code, std::string_view why)
{
    // An item may end with 0 and still be named here by a caller's mistake;
    // 0 would read as success to the agent.
    if (code == kExitSuccess) code = win::ERROR_INVALID_DATA;
    if (outcome.failed) {
        Log("outcome: a further failure (", code, "), the exit code stays ", outcome.failure, ": ", why);
        return;
    }
    outcome.failed = true;
    outcome.failure = code;
    Log("outcome: failure, exit code ", code, ": ", why);
}

void ReportTimeLimitReached(std::string_view why)
{
    if (outcome.timeLimitReached) return;
    outcome.timeLimitReached = true;
    ReportFailure(win::ERROR_TIMEOUT, why);
}

void ReportRestartStarted(std::string_view by)
{
    outcome.restartStarted = true;
    Log("outcome: a restart was started by ", by);
}

void ReportRestartNeeded(std::string_view why)
{
    outcome.restartNeeded = true;
    Log("outcome: a restart is needed and was not made: ", why);
}

bool RunFailed() { return outcome.failed; }
bool RestartStarted() { return outcome.restartStarted; }
bool TimeLimitReached() { return outcome.timeLimitReached; }

uint32_t RunExitCode()
{
    if (outcome.failed) return outcome.failure;
    if (outcome.restartStarted) return win::ERROR_SUCCESS_REBOOT_INITIATED;
    if (outcome.restartNeeded) return win::ERROR_SUCCESS_REBOOT_REQUIRED;
    return kExitSuccess;
}

std::string ExitCodeMeaning(uint32_t code)
{
    switch (code) {
#define ZW_MEANING_CASE(value, meaning) \
    case value:                         \
        return meaning;
        ZW_EXIT_CODES(ZW_MEANING_CASE)
#undef ZW_MEANING_CASE
    default:
        return "failure: " + SystemErrorText(code);
    }
}

void ResetRunOutcome() { outcome = Outcome(); }

}  // namespace zw
