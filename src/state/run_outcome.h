// How the run ends, decided in one place: every step that fails, starts a
// restart or leaves one pending reports here, and the exit code follows from
// what was reported. The first failure of the run wins, ahead of any restart
// code; then 1641 when a restart was started; then 3010 when one is needed
// and was not made; else 0. Management agents judge the deployment by this
// code alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zw {

// Exit codes of the run beside the system's own error codes.
constexpr uint32_t kExitSuccess = 0;
// Success as Windows Installer packages also report it.
constexpr uint32_t kExitInstallSucceeded = 1707;

// A step failed with code (a system error, or an item's own exit code); why
// goes to the log. Only the first failure decides the exit code.
void ReportFailure(uint32_t code, std::string_view why);
// The time limit was reached (a failure, 1460): nothing more starts and the
// restart is skipped.
void ReportTimeLimitReached(std::string_view why);
// A restart was started: by the launcher, or by an item that ended with 1641.
void ReportRestartStarted(std::string_view by);
// A restart is needed and was not made.
void ReportRestartNeeded(std::string_view why);

bool RunFailed();
bool RestartStarted();
bool TimeLimitReached();
uint32_t RunExitCode();

// The run's own exit codes with their words in the log's last line, in the
// README's order. ExitCodeMeaning, the facts the end-to-end cases read and
// the check of the README's table (tools/facts) all come from this list.
#define ZW_EXIT_CODES(X)                                                                                        \
    X(::zw::kExitSuccess, "success: every item was carried out, none failed, no restart is pending")            \
    X(::zw::win::ERROR_SUCCESS_REBOOT_REQUIRED, "success: a restart is needed and was not made")                \
    X(::zw::win::ERROR_SUCCESS_REBOOT_INITIATED, "success: a restart was started")                              \
    X(::zw::win::ERROR_INSTALL_ALREADY_RUNNING,                                                                 \
      "another run of the launcher is in progress; nothing was started, try again later")                       \
    X(::zw::win::ERROR_FAIL_NOACTION_REBOOT,                                                                    \
      "failure: a restart is pending and [Restart] refuses to start; nothing was started")                      \
    X(::zw::win::ERROR_FILE_NOT_FOUND, "failure: the setup list or an item's file is missing")                  \
    X(::zw::win::ERROR_INVALID_DATA, "failure: the list holds no item, or an item of an unknown kind ended it") \
    X(::zw::win::ERROR_INSTALL_USEREXIT, "failure: the run was ended before its list was done")                 \
    X(::zw::win::ERROR_TIMEOUT, "failure: the time limit (/timeout) was reached; what ran was left running")    \
    X(::zw::win::ERROR_INVALID_PARAMETER, "failure: a switch's value is not valid; nothing was started")

// The code in words, for the log's last line; any other code is a failure
// named by the system's text for it.
std::string ExitCodeMeaning(uint32_t code);

void ResetRunOutcome();

}  // namespace zw
