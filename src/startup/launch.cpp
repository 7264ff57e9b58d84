#include "startup/launch.h"

#include <string>

#include "platform/platform.h"
#include "platform/pump.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "startup/command_line.h"
#include "state/run_outcome.h"
#include "state/run_state.h"
#include "zarnowel_version.h"

namespace zw {

namespace {

// This executable's full path; empty when the system cuts it.
std::string OwnPath()
{
    char path[kPathCapacity + 1] = {};
    const uint32_t length = Sys().GetModuleFileNameA(path, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return std::string();
    return std::string(path, length);
}

// Beside this executable, so a start from any working directory finds it;
// the bare name when this executable's own path cannot be told.
std::string SiblingPath()
{
    const std::string own = OwnPath();
    const size_t slash = own.find_last_of('\\');
    if (slash == std::string::npos) return kSiblingName;
    return own.substr(0, slash + 1) + kSiblingName;
}

}  // namespace

bool BeginRun(std::string_view tail)
{
    const Switches switches = ParseSwitches(tail);
    silentMode = switches.silent ? 1 : 0;
    noRestart = switches.noRestart ? 1 : 0;
    runStartTick = Sys().GetTickCount();
    timeLimitMs = switches.timeoutMinutes * 60 * 1000;
    OpenRunLog(switches.logPath);
    Log("start: ", OwnPath(), " version ", ZW_VERSION_TEXT, ", tail ", Quoted(tail), ", silentMode ", silentMode,
        noRestart != 0 ? ", /norestart" : "",
        timeLimitMs != 0 ? ", time limit " + std::to_string(switches.timeoutMinutes) + " min" : "");
    if (switches.timeoutGiven && switches.timeoutMinutes == 0) {
        // An agent that asked for a bound must not get a run without one.
        ReportFailure(win::ERROR_INVALID_PARAMETER,
                      "/timeout:\"" + switches.timeoutText + "\" is not a whole number of minutes from 1 to 1440");
        return false;
    }
    return true;
}

bool HandOffToSibling(std::string_view tail, int& exitCode)
{
    Platform& sys = Sys();
    bool wow64 = false;
    sys.IsWow64Process(wow64);
    if (!wow64) return false;

    const std::string sibling = SiblingPath();
    const std::string parameters(tail);
    ShellExecuteInfo start;
    // No box from the shell when the sibling is missing: this process then
    // does the work itself.
    start.fMask = win::SEE_MASK_NOCLOSEPROCESS | win::SEE_MASK_NOZONECHECKS | win::SEE_MASK_FLAG_NO_UI;
    start.lpVerb = "open";
    start.lpFile = sibling.c_str();
    start.lpParameters = parameters.c_str();
    start.nShow = win::SW_SHOW;
    if (!sys.ShellExecuteExA(start)) {
        Log("hand-off: 64-bit Windows, but ", sibling, " cannot be started: ", SystemErrorText(sys.GetLastError()),
            "; this 32-bit process carries out the list itself, and driver items fail from it");
        return false;
    }
    exitCode = 0;
    if (start.hProcess == nullptr) {
        Log("hand-off: ", sibling, " was started, but the system gave no process to wait for");
        return true;
    }
    Log("hand-off: 64-bit Windows; ", sibling, " started with the same tail, pid ", sys.GetProcessId(start.hProcess),
        "; waiting for it to end");
    if (WaitPumpingMessages(start.hProcess, win::INFINITE) != WaitOutcome::Signalled)
        sys.WaitForSingleObject(start.hProcess, win::INFINITE);
    uint32_t code = 0;
    if (sys.GetExitCodeProcess(start.hProcess, code)) {
        exitCode = static_cast<int>(code);
    } else {
        // Nothing says the sibling succeeded.
        const uint32_t error = sys.GetLastError();
        ReportFailure(error, "the exit code of " + std::string(kSiblingName) + " cannot be read: " + SystemErrorText(error));
        exitCode = static_cast<int>(RunExitCode());
    }
    sys.CloseHandle(start.hProcess);
    Log("hand-off: ", kSiblingName, " ended with exit code ", exitCode);
    return true;
}

int EndRun(int exitCode)
{
    Log("end: exit code ", static_cast<uint32_t>(exitCode), ": ", ExitCodeMeaning(static_cast<uint32_t>(exitCode)));
    CloseRunLog();
    return exitCode;
}

}  // namespace zw
