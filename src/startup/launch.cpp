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

// Beside this executable, by its full path, so a start from any working
// directory finds it. Empty when this executable's own path cannot be told:
// the bare name would be looked for in the current directory and along the
// search path, where anyone may have put a program of that name.
std::string SiblingPath()
{
    const std::string own = OwnPath();
    const size_t slash = own.find_last_of('\\');
    if (slash == std::string::npos) return std::string();
    return own.substr(0, slash + 1) + kSiblingName;
}

// Whether somebody could see a box of this process. Not on a window station
// without visible display surfaces (a service's), and not in session 0, where
// no user logs on (since Vista) even on its interactive window station. What
// cannot be told counts as seen, as everything did before the launcher asked.
bool SomebodyCouldSeeABox(std::string& why)
{
    Platform& sys = Sys();
    uint32_t flags = 0;
    if (sys.GetProcessWindowStationFlags(flags) && (flags & win::WSF_VISIBLE) == 0) {
        why = "the window station is not visible";
        return false;
    }
    uint32_t session = 0;
    if (sys.GetCurrentSessionId(session) && session == 0) {
        why = "the process runs in session 0";
        return false;
    }
    return true;
}

const char* MachineName(uint16_t machine)
{
    switch (machine) {
    case win::IMAGE_FILE_MACHINE_I386:
        return "x86";
    case win::IMAGE_FILE_MACHINE_AMD64:
        return "x64";
    case win::IMAGE_FILE_MACHINE_ARM64:
        return "ARM64";
    default:
        return "unknown";
    }
}

std::string MachineText(uint16_t machine)
{
    std::string text = MachineName(machine);
    text += " (";
    AppendLogPart(text, Hex(machine));
    return text + ")";
}

// Whether the sibling does the job, and why, in words for the log.
bool SiblingRunsHere(std::string& why)
{
    Platform& sys = Sys();
    uint16_t processMachine = 0, nativeMachine = 0;
    if (!sys.IsWow64Process2(processMachine, nativeMachine)) {
        // Before Windows 10 1511: only x64 runs 32-bit programs under WOW64.
        bool wow64 = false;
        sys.IsWow64Process(wow64);
        why = wow64 ? "64-bit Windows (under WOW64)" : "not under WOW64";
        return wow64;
    }
    why = "native machine " + MachineText(nativeMachine);
    // Only the 32-bit launcher hands off; an x64 process emulated on ARM64 is
    // not under WOW64 either, so the sibling never hands off again.
    if (processMachine != win::IMAGE_FILE_MACHINE_I386) {
        why += processMachine == win::IMAGE_FILE_MACHINE_UNKNOWN
                   ? ", this process not under WOW64"
                   : ", this process under WOW64 as " + MachineText(processMachine);
        return false;
    }
    if (nativeMachine == win::IMAGE_FILE_MACHINE_AMD64) return true;
    if (nativeMachine != win::IMAGE_FILE_MACHINE_ARM64) return false;
    // Windows 11 on ARM64 runs x64 programs; Windows 10 there does not, and
    // has no GetMachineTypeAttributes to say so.
    uint32_t attributes = 0;
    const bool x64Runs = sys.GetMachineTypeAttributes(win::IMAGE_FILE_MACHINE_AMD64, attributes) &&
                         (attributes & win::MACHINE_ATTRIBUTES_USER_ENABLED) != 0;
    why += x64Runs ? ", x64 programs run" : ", x64 programs do not run";
    return x64Runs;
}

// The /log: path with its environment variables expanded, as an agent's
// command line may leave them ("%WINDIR%\\Logs\\..."); empty when the expansion
// cannot be made or would not fit a path, so no log is written rather than
// one in a folder named after the variable.
std::string ExpandedLogPath(const std::string& path)
{
    if (path.empty()) return path;
    char expanded[kPathCapacity] = {};
    const uint32_t length = Sys().ExpandEnvironmentStringsA(path.c_str(), expanded, sizeof expanded);
    if (length == 0 || length > sizeof expanded) return std::string();
    expanded[sizeof expanded - 1] = '\0';
    return expanded;
}

}  // namespace

bool BeginRun(std::string_view tail)
{
    const Switches switches = ParseSwitches(tail);
    silentMode = switches.silent ? 1 : 0;
    noRestart = switches.noRestart ? 1 : 0;
    runStartAwakeMs = AwakeMs();
    timeLimitMs = switches.timeoutMinutes * 60 * 1000;
    std::string why;
    unattended = SomebodyCouldSeeABox(why) ? 0 : 1;
    OpenRunLog(ExpandedLogPath(switches.logPath));
    Log("start: ", OwnPath(), " version ", ZW_VERSION_TEXT, ", tail ", Masked(tail), ", silentMode ", silentMode,
        noRestart != 0 ? ", /norestart" : "",
        timeLimitMs != 0 ? ", time limit " + std::to_string(switches.timeoutMinutes) + " min" : "");
    if (unattended != 0) {
        // Nobody could answer the restart question: it is answered as
        // /norestart would, and the caller restarts. /s keeps its restart.
        if (silentMode == 0) noRestart = 1;
        Log("start: ", why, ": no message box comes up",
            silentMode == 0 ? "; a restart is left to the caller as with /norestart" : "");
    }
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
    std::string why;
    const bool handOff = SiblingRunsHere(why);
    if (!handOff) {
        Log("start: ", why, "; this process carries out the list");
        return false;
    }

    const std::string sibling = SiblingPath();
    if (sibling.empty()) {
        Log("hand-off: 64-bit Windows, but this executable's own path cannot be told, so ", kSiblingName,
            " is not started; this 32-bit process carries out the list itself, and driver items fail from it");
        return false;
    }
    const std::string parameters(tail);
    ShellExecuteInfo start;
    // No box from the shell when the sibling is missing: this process then
    // does the work itself.
    start.fMask = win::SEE_MASK_NOCLOSEPROCESS | win::SEE_MASK_NOZONECHECKS | win::SEE_MASK_FLAG_NO_UI;
    start.lpVerb = "open";
    start.lpFile = sibling.c_str();
    start.lpParameters = parameters.c_str();
    start.nShow = win::SW_SHOW;
    sys.SetLastError(win::ERROR_SUCCESS);
    if (!sys.ShellExecuteExA(start)) {
        Log("hand-off: ", why, ", but ", sibling, " cannot be started: ", SystemErrorText(sys.GetLastError()),
            "; this 32-bit process carries out the list itself, and driver items fail from it");
        return false;
    }
    exitCode = 0;
    if (start.hProcess == nullptr) {
        // Nothing says how the sibling's run ends: an agent told 0 here would
        // count a run that may still go on, or fail, as done.
        const uint32_t error = sys.GetLastError();
        ReportFailure(error != 0 ? error : win::ERROR_INVALID_HANDLE,
                      sibling + " was started, but the system gave no process to wait for: " + SystemErrorText(error));
        exitCode = static_cast<int>(RunExitCode());
        return true;
    }
    Log("hand-off: ", why, "; ", sibling, " started with the same tail, pid ", sys.GetProcessId(start.hProcess),
        "; waiting for it to end");
    if (WaitPumpingMessages(start.hProcess, win::INFINITE) != WaitOutcome::Signalled)
        sys.WaitForSingleObject(start.hProcess, win::INFINITE);
    uint32_t code = 0;
    if (sys.GetExitCodeProcess(start.hProcess, code)) {
        exitCode = static_cast<int>(code);
    } else {
        // Nothing says the sibling succeeded.
        const uint32_t error = sys.GetLastError();
        ReportFailure(error,
                      "the exit code of " + std::string(kSiblingName) + " cannot be read: " + SystemErrorText(error));
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
