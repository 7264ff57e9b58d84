#include "sequencer/progress_dialog.h"

#include <string>

#include "detect/detect_eval.h"
#include "driver/driver_update.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "sequencer/item_kinds.h"
#include "sequencer/item_outcome.h"
#include "sequencer/item_rules.h"
#include "sequencer/item_start.h"
#include "sequencer/item_wait.h"
#include "setuplist/paths.h"
#include "setuplist/setup_list.h"
#include "state/run_outcome.h"
#include "state/run_state.h"

namespace zw {

namespace {

constexpr intptr_t kHandled = 1;
constexpr intptr_t kNotHandled = 0;

// A close asked for while the driver installs: answered once it has
// (0: none). Ending the dialog half-way would start the next item, or end the
// run, under a driver installation still going on.
int closeWaitingForDriver = 0;

void StartWork(Hwnd dialog)
{
    switch (KindOf(SetupItemAt(currentIndex))) {
    case ItemKind::Copy:
    case ItemKind::Program:
        // A copy arrives here as the file in the Windows directory; it is
        // run and watched like any program.
        StartItemProgram();
        Sys().SetTimer(dialog, TIMER_DIALOG_WAIT, kTimerPeriodMs);
        break;
    case ItemKind::Driver:
        // Nothing before the timer fires, so the dialog is drawn first.
        Sys().SetTimer(dialog, TIMER_DRIVER, kTimerPeriodMs);
        break;
    case ItemKind::End:
        break;
    }
}

void RunDriverStep(Hwnd dialog)
{
    Platform& sys = Sys();
    sys.KillTimer(dialog, TIMER_DRIVER);
    SetupItem& item = SetupItemAt(currentIndex);
    char foundHardwareId[kHardwareIdBufferSize] = {};
    int32_t rebootRequired = 0;

    // The INF path is taken from programDirectory, not from the directory in
    // which the file was found.
    const std::string infPath = JoinRelativePath(programDirectory, item.file);
    if (infPath.empty() || !AssignCurrentFile(infPath)) {
        ReportFailure(win::ERROR_FILE_NOT_FOUND, "item " + std::to_string(currentIndex) + ": the INF path below " +
                                                     programDirectory + " is too long; nothing is installed");
        sys.EndDialog(dialog, kDialogDriverDone);
        return;
    }
    if (!LoadDeviceLibraries()) {
        ReportFailure(sys.GetLastError(), "item " + std::to_string(currentIndex) +
                                              ": the system's driver functions are missing; nothing is installed");
        sys.EndDialog(dialog, kDialogDriverDone);
        return;
    }
    const std::string searched = item.parameters;
    FindDeviceByHardwareId(item.parameters.data(), foundHardwareId, sizeof foundHardwareId);
    if (foundHardwareId[0] != '\0') {
        Log("item ", currentIndex, ": device found by ", Quoted(searched), ", hardware ID ", foundHardwareId);
        // Where nobody could answer it, a trust prompt fails the update
        // rather than wait for ever.
        const uint32_t flags = MayShowBoxes() ? 0 : win::INSTALLFLAG_NONINTERACTIVE;
        closeWaitingForDriver = 0;
        sys.SetLastError(win::ERROR_SUCCESS);
        const bool installed = UpdateDeviceDriver(dialog, foundHardwareId, currentFile.c_str(), flags, &rebootRequired);
        const uint32_t error = installed ? win::ERROR_SUCCESS : sys.GetLastError();
        if (rebootRequired == 1) rebootPending = 1;
        // The device already has the best driver, or it is gone again: nothing
        // to install is no failure.
        if (!installed && error != win::ERROR_SUCCESS && error != win::ERROR_NO_MORE_ITEMS &&
            error != win::ERROR_NO_SUCH_DEVINST)
            ReportFailure(error, "item " + std::to_string(currentIndex) +
                                     ": the driver update failed: " + SystemErrorText(error));
        Log("item ", currentIndex, installed ? ": driver installed; " : ": driver not installed; ",
            rebootRequired == 1 ? "it asks for a restart" : "no restart asked for");
        if (installed)
            DetectAfter(currentIndex, kExitSuccess, false);
        else if (error == win::ERROR_NO_MORE_ITEMS)
            Log("item ", currentIndex, ": [Detect] is not checked: the device has a better driver already");
        if (closeWaitingForDriver != 0) {
            const int id = closeWaitingForDriver;
            closeWaitingForDriver = 0;
            sys.EndDialog(dialog, id);
            return;
        }
    } else {
        Log("item ", currentIndex, ": no present device has a first hardware ID holding ", Quoted(searched),
            "; nothing is installed");
    }
    sys.EndDialog(dialog, kDialogDriverDone);
}

// One wait tick: true when the dialog has ended.
bool RunWaitTick(Hwnd dialog)
{
    Platform& sys = Sys();
    sys.KillTimer(dialog, TIMER_DIALOG_WAIT);
    if (RunTimeIsUp()) {
        ReportHeldAtTimeLimit(currentIndex, SetupItemAt(currentIndex));
        sys.EndDialog(dialog, kDialogWaitDone);
        return true;
    }
    if (ItemStillRunning(SetupItemAt(currentIndex))) {
        sys.SetTimer(dialog, TIMER_DIALOG_WAIT, kTimerPeriodMs);
        return false;
    }
    sys.EndDialog(dialog, kDialogWaitDone);
    return true;
}

}  // namespace

intptr_t ProgressDialogProc(Hwnd dialog, uint32_t msg, uintptr_t wParam, intptr_t)
{
    Platform& sys = Sys();
    switch (msg) {
    case win::WM_INITDIALOG:
        StartWork(dialog);
        return kHandled;
    case win::WM_COMMAND: {
        const int id = static_cast<int>(wParam & 0xFFFF);
        if (id != win::IDOK && id != win::IDCANCEL) return kNotHandled;
        if (DriverUpdateRunning()) {
            Log("item ", currentIndex, ": the dialog was closed by the user (",
                id == win::IDCANCEL ? "Esc or its close box" : "Enter", "); it closes once the driver is installed");
            if (closeWaitingForDriver == 0) closeWaitingForDriver = id;
            return kHandled;
        }
        Log("item ", currentIndex, ": the dialog was closed by the user (",
            id == win::IDCANCEL ? "Esc or its close box" : "Enter", ")");
        sys.KillTimer(dialog, TIMER_DRIVER);
        sys.KillTimer(dialog, TIMER_DIALOG_WAIT);
        sys.EndDialog(dialog, id);
        return kHandled;
    }
    case win::WM_TIMER:
        if (wParam == TIMER_DRIVER) {
            RunDriverStep(dialog);
            return kHandled;
        }
        if (wParam == TIMER_DIALOG_WAIT) return RunWaitTick(dialog) ? kHandled : kNotHandled;
        return kNotHandled;
    default:
        return kNotHandled;
    }
}

}  // namespace zw
