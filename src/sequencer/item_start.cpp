#include "sequencer/item_start.h"

#include "platform/platform.h"
#include "platform/pump.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "sequencer/item_rules.h"
#include "sequencer/item_wait.h"
#include "sequencer/run_processes.h"
#include "setuplist/setup_list.h"
#include "state/run_outcome.h"
#include "state/run_state.h"

namespace zw {

namespace {

// The start as the log shows it: a password or licence key among the
// parameters is masked there, while the item receives the real text.
std::string LoggedStartWords(StartPlan plan)
{
    std::string masked;
    AppendLogPart(masked, Masked(plan.parameters));
    plan.parameters = masked.substr(1, masked.size() - 2);  // without its quotes
    return StartWords(plan);
}

// Held by the Windows Installer while it carries out an installation; a
// package started meanwhile fails with ERROR_INSTALL_ALREADY_RUNNING.
constexpr char kInstallerMutex[] = "Global\\_MSIExecute";
constexpr char kInstallerService[] = "msiserver";

// Waits, pumping messages, while another installation holds the installer.
// The launcher never keeps the mutex: a wait that takes it shows it free, and
// it is given back at once, before anything else, or the package would find
// the installer busy. False when the installer is still busy (or the run is
// ending) after the wait.
bool WaitWhileInstallerBusy()
{
    Platform& sys = Sys();
    Handle mutex = sys.OpenMutexA(win::SYNCHRONIZE | win::MUTEX_MODIFY_STATE, false, kInstallerMutex);
    if (mutex == nullptr) {
        // Missing: no installation runs. Any other failure: it cannot be told.
        const uint32_t error = sys.GetLastError();
        if (error != win::ERROR_FILE_NOT_FOUND)
            Log("package: the installer's mutex cannot be opened: ", SystemErrorText(error));
        return true;
    }
    bool free = true;
    const uint32_t result = sys.WaitForSingleObject(mutex, 0);
    if (result == win::WAIT_OBJECT_0 || result == win::WAIT_ABANDONED_0) {
        sys.ReleaseMutex(mutex);
    } else if (result == win::WAIT_TIMEOUT) {
        Log("package: the Windows Installer is busy with another installation; waiting for it");
        const uint32_t since = sys.GetTickCount();
        // The run's time limit bounds this wait too.
        const uint32_t left = RunTimeLeftMs();
        const WaitOutcome outcome =
            WaitPumpingMessages(mutex, left < kInstallerBusyLimitMs ? left : kInstallerBusyLimitMs);
        free = outcome == WaitOutcome::Signalled;
        if (free) sys.ReleaseMutex(mutex);
        const uint32_t waited = sys.GetTickCount() - since;
        Log("package: the Windows Installer ", free ? "is free after " : "is still busy after ", waited, " ms");
    }
    sys.CloseHandle(mutex);
    return free;
}

// The process the service manager runs the Windows Installer service in; 0
// when it does not run or cannot be asked.
uint32_t InstallerServiceProcessId()
{
    Platform& sys = Sys();
    Handle manager = sys.OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    if (manager == nullptr) return 0;
    uint32_t processId = 0;
    Handle service = sys.OpenServiceA(manager, kInstallerService, win::SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        ServiceStatusProcess status;
        if (sys.QueryServiceStatusEx(service, status)) processId = status.dwProcessId;
        sys.CloseServiceHandle(service);
    }
    sys.CloseServiceHandle(manager);
    return processId;
}

// A package must not meet a busy installer: another installation is waited
// for, and so is every installation this run started that still runs (a
// bootstrapper's child msiexec.exe may cost or show its UI before it takes the
// installer). None is ended: that would lose an installation half-way and
// report its product as installed.
void PrepareForPackage()
{
    if (!WaitWhileInstallerBusy()) {
        Log("package: the Windows Installer is still busy; the package is started all the same");
        return;
    }
    const uint32_t service = InstallerServiceProcessId();
    if (service != 0)
        Log("package: the Windows Installer service runs as pid ", service, "; it is no installation of this run's");
    WaitForInstallersOfThisRun(service);
}

// The system error a shell error stands for: the shell's codes below 26 are
// system errors themselves; its own ones above are all about associations and
// DDE, and the log keeps the code itself.
uint32_t ShellErrorCode(intptr_t shellError)
{
    constexpr intptr_t kShellFirstOwnError = 26;  // SE_ERR_SHARE
    if (shellError > 0 && shellError < kShellFirstOwnError) return static_cast<uint32_t>(shellError);
    return win::ERROR_NO_ASSOCIATION;
}

}  // namespace

void StartItemProgram()
{
    Platform& sys = Sys();
    const SetupItem& item = SetupItemAt(currentIndex);
    EndItemWait();
    if (IsInstallerPackage(currentFile)) PrepareForPackage();
    if (RunTimeIsUp()) {
        // The wait's next tick ends the run.
        Log("item ", currentIndex, ": not started: the time limit is reached");
        BeginItemWait(nullptr);
        return;
    }

    // A host is given the script's full path: it runs from System32, not
    // from the item's directory.
    char fullPath[kPathCapacity] = {};
    const uint32_t fullLength = sys.GetFullPathNameA(currentFile.c_str(), sizeof fullPath, fullPath);
    const std::string full = fullLength != 0 && fullLength < sizeof fullPath ? std::string(fullPath) : currentFile;
    const StartPlan plan = PlanStart(currentFile, full, item.parameters, !MayShowBoxes(), unattended != 0);
    if (plan.host == StartHost::NotOpened) {
        Log("item ", currentIndex, ": ", currentFile, LoggedStartWords(plan));
        BeginItemWait(nullptr);
        return;
    }
    std::string program = currentFile;
    if (!plan.program.empty()) {
        // By full path: a reg.exe or powershell.exe beside the items, or on a
        // search path a user can write to, must never run elevated.
        char system[kPathCapacity] = {};
        const uint32_t length = sys.GetSystemDirectoryA(system, sizeof system);
        if (length == 0 || length >= sizeof system) {
            const uint32_t error = sys.GetLastError();
            ReportFailure(error, "item " + std::to_string(currentIndex) + ": the System32 folder cannot be told");
            BeginItemWait(nullptr);
            return;
        }
        program = std::string(system) + "\\" + plan.program;
    }

    ShellExecuteInfo start;
    // Zone checks would raise a security warning per item of a bundle that
    // was downloaded, once the launcher itself was allowed to run; a run in
    // which no box may come up must not meet the shell's own error box either.
    // The shell's own error box is none of ours: the time limit could not
    // close it, so a bounded run asks for none and its failure is logged.
    start.fMask = win::SEE_MASK_NOCLOSEPROCESS | win::SEE_MASK_NOZONECHECKS |
                  (MayShowBoxes() && timeLimitMs == 0 ? 0 : win::SEE_MASK_FLAG_NO_UI);
    start.lpVerb = "open";
    start.lpFile = program.c_str();
    start.lpParameters = plan.parameters.c_str();
    start.nShow = win::SW_SHOW;
    if (sys.ShellExecuteExA(start)) {
        if (start.hProcess != nullptr) NoteStartedProcess(start.hProcess);
        Log("item ", currentIndex, ": started ", currentFile, StartsDirectly(item) ? " directly" : " under the dialog",
            LoggedStartWords(plan),
            start.hProcess != nullptr ? ", pid " + std::to_string(sys.GetProcessId(start.hProcess)) : ", no process");
    } else {
        // A failure the shell has shown a box for leaves no last error; its
        // own code (SE_ERR_...) still tells.
        const uint32_t error = sys.GetLastError();
        const std::string why =
            error != 0 ? SystemErrorText(error) : "the shell's error " + std::to_string(start.hInstApp);
        ReportFailure(error != 0 ? error : ShellErrorCode(start.hInstApp),
                      "item " + std::to_string(currentIndex) + ": the start of " + program + " failed: " + why);
    }
    BeginItemWait(start.hProcess, !plan.program.empty());
    sys.Sleep(kSleepAfterStartMs);
}

}  // namespace zw
