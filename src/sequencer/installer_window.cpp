#include "sequencer/installer_window.h"

#include <string>

#include "detect/detect_eval.h"
#include "detect/marker.h"
#include "platform/ascii.h"
#include "platform/win_values.h"
#include "resource.h"
#include "restart/pending_restart.h"
#include "restart/restart.h"
#include "runlog/run_log.h"
#include "sequencer/item_kinds.h"
#include "sequencer/item_outcome.h"
#include "sequencer/item_rules.h"
#include "sequencer/item_start.h"
#include "sequencer/item_wait.h"
#include "sequencer/progress_dialog.h"
#include "sequencer/run_processes.h"
#include "setuplist/setup_list.h"
#include "state/bounded_box.h"
#include "state/run_outcome.h"
#include "state/run_state.h"

namespace zw {

namespace {

bool sessionEnds = false;

void LoadAndLogSetupList()
{
    SetupListReport report;
    LoadSetupList(report);
    Log("setup list: languageTag ", languageTag, ", programDirectory ", programDirectory, ", section [", report.section,
        "], ", report.itemsLoaded, report.itemsLoaded == 1 ? " item" : " items", " loaded; ", LoadEndInWords(report));
    if (!report.listFound)
        ReportFailure(win::ERROR_FILE_NOT_FOUND, "no setup list: " + LoadEndInWords(report));
    else if (report.itemsLoaded == 0)
        ReportFailure(win::ERROR_INVALID_DATA, "the setup list holds no item: " + LoadEndInWords(report));
}

// Session 0 and agents see nothing of a run but its exit code: the run ends
// here, whatever still runs is left running.
bool EndsBeforeNextItem()
{
    if (RestartStarted()) {
        // The last item's restart still leaves the list completed.
        if (SetupItemAt(currentIndex).value.empty()) NoteListCompleted();
        Log("item ", currentIndex, ": not taken up: an item has started a restart of Windows");
        return true;
    }
    if (RunTimeIsUp()) {
        ReportTimeLimitReached("the time limit is reached before item " + std::to_string(currentIndex) +
                               "; nothing more starts");
        return true;
    }
    return false;
}

// Arms the next item on the InstallerWindow.
void Advance()
{
    EndItemWait();
    ++currentIndex;
    Sys().SetTimer(installerWindow, TIMER_NEXT_ITEM, kTimerPeriodMs);
}

// The ProgressDialog runs the current item; back here once it has ended,
// however it ended.
void RunItemInDialog()
{
    const int templateId = EqualsIgnoringAsciiCase(languageTag, "kor") ? IDD_PROGRESS_KOR : IDD_PROGRESS_ENG;
    Sys().DialogBoxParamA(instanceHandle, templateId, installerWindow, ProgressDialogProc, 0);
}

// The file is copied into the Windows directory under its base name and the
// copy becomes the item. Empty when there is something to run, else why not.
std::string ResolveCopiedFile(const SetupItem& item)
{
    Platform& sys = Sys();
    char windowsDirectory[kPathCapacity] = {};
    uint32_t length = sys.GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
    if (length == 0 || length >= sizeof windowsDirectory) return "the Windows directory cannot be told";
    const CopyPaths paths = ResolveCopyPaths(windowsDirectory, item.file);
    if (!AssignCurrentFile(paths.source) || !FitsPathBuffer(paths.destination)) return "the path is too long";
    // The existence test below decides whether an earlier copy runs; the
    // failed copy is a failure of the run all the same.
    if (!sys.CopyFileA(paths.source.c_str(), paths.destination.c_str(), false)) {
        const uint32_t error = sys.GetLastError();
        ReportFailure(error, "item " + std::to_string(currentIndex) + ": the copy of " + paths.source + " to " +
                                 paths.destination + " failed: " + SystemErrorText(error));
    }
    if (!AssignCurrentFile(paths.destination)) return "the path is too long";
    return CurrentFileExists() ? std::string() : paths.destination + " is missing after the copy";
}

// A path with a drive letter is used as it is; any other path lies below
// programDirectory and the item is started from its own directory, which
// stays the current directory for the rest of the run, also when [Detect]
// skips the item. Empty when entered (or nothing to enter), else why not.
std::string EnterProgramDirectory(const SetupItem& item)
{
    const ProgramPath path = ResolveProgramPath(programDirectory, item.file);
    if (!path.resolvable) return "the path is too long";
    if (!path.enter.empty()) {
        // A change that failed would test the base name in some other directory.
        if (!Sys().SetCurrentDirectoryA(path.enter.c_str()))
            return "the directory " + path.enter + " cannot be entered";
        // Every later ".\" path, a copy's source too, is relative to it.
        Log("item ", currentIndex, ": entered ", path.enter, ", the current directory from now on");
    }
    return std::string();
}

std::string ResolveProgramFile(const SetupItem& item, const std::string& entered)
{
    if (!entered.empty()) return entered;
    const ProgramPath path = ResolveProgramPath(programDirectory, item.file);
    if (!AssignCurrentFile(path.file)) return "the path is too long";
    return CurrentFileExists() ? std::string() : path.file + " is missing";
}

std::string ResolveFileInCurrentDirectory(const SetupItem& item)
{
    const std::string file = RelativeToCurrentDirectory(item.file);
    if (!AssignCurrentFile(file)) return "the path is too long";
    return CurrentFileExists() ? std::string() : file + " is missing";
}

// Makes the item's file the currentFile. Empty when it was found; otherwise
// why the item is skipped, in words.
std::string ResolveItemFile(const SetupItem& item, FileResolution resolution, const std::string& entered)
{
    switch (resolution) {
    case FileResolution::CopiedIntoWindowsDirectory:
        return ResolveCopiedFile(item);
    case FileResolution::BelowProgramDirectory:
        return ResolveProgramFile(item, entered);
    case FileResolution::RelativeToCurrentDirectory:
        return ResolveFileInCurrentDirectory(item);
    }
    return "unknown";
}

// A program or a copy whose file was found.
void TakeUpProgram(const SetupItem& item)
{
    if (RequestsRestart(item)) {
        rebootPending = 1;
        Log("item ", currentIndex, ": asks for a restart (rebootFlag 1)");
    }
    if (StartsDirectly(item)) {
        StartItemProgram();
        Sys().SetTimer(installerWindow, TIMER_WAIT_ITEM, kTimerPeriodMs);
        return;
    }
    RunItemInDialog();
    Advance();
}

void ProcessNextItem()
{
    Platform& sys = Sys();
    sys.KillTimer(installerWindow, TIMER_NEXT_ITEM);
    if (EndsBeforeNextItem()) {
        listDone = true;
        sys.DestroyWindow(installerWindow);
        return;
    }
    if (currentIndex == kFirstItem && !RunFailed() && PendingRestartRefuses()) {
        ReportFailure(win::ERROR_FAIL_NOACTION_REBOOT, "a restart of Windows is pending: nothing is started");
        listDone = true;
        sys.DestroyWindow(installerWindow);
        return;
    }
    NoteItemTakenUp();
    const SetupItem& item = SetupItemAt(currentIndex);
    const ItemKind kind = KindOf(item);
    const ItemKindInfo* info = KindInfo(kind);
    if (info == nullptr) {
        // End of the list, or a kind nobody knows: the run is over.
        if (item.value.empty()) {
            Log("item ", currentIndex, ": none; the list is done");
            NoteListCompleted();
        } else if (item.kind.empty())
            // Read from a present key: the items after it never run, which
            // the agent must learn.
            ReportFailure(win::ERROR_INVALID_DATA, "item " + std::to_string(currentIndex) + ": \"" + item.value +
                                                       "\" gives no kind and ends the run");
        else
            ReportFailure(win::ERROR_INVALID_DATA, "item " + std::to_string(currentIndex) + ": \"" + item.value +
                                                       "\": unknown kind \"" + item.kind + "\" ends the run");
        listDone = true;
        sys.DestroyWindow(installerWindow);
        return;
    }
    Log("item ", currentIndex, ": ", Masked(item.value), ": ", info->name);
    const std::string entered =
        info->resolution == FileResolution::BelowProgramDirectory ? EnterProgramDirectory(item) : std::string();
    if (DetectSkips(currentIndex)) {
        NoteItemEnd(currentIndex, "skipped");
        return Advance();
    }
    const std::string missing = ResolveItemFile(item, info->resolution, entered);
    if (missing.empty())
        Log("item ", currentIndex, ": found ", currentFile);
    else
        ReportFailure(win::ERROR_FILE_NOT_FOUND, "item " + std::to_string(currentIndex) + ": skipped: " + missing);
    switch (kind) {
    case ItemKind::Copy:
    case ItemKind::Program:
        if (!missing.empty()) return Advance();
        return TakeUpProgram(item);
    case ItemKind::Driver:
        if (!missing.empty()) {
            // Nobody could answer the box in a silent run or on a window station
            // nobody sees; the run goes on as after OK.
            if (MayShowBoxes())
                BoundedMessageBox(RelativeToCurrentDirectory(item.file).c_str(), "file open error", win::MB_OK,
                                  win::IDOK);
            return Advance();
        }
        // The driver update reports its own need of a restart.
        RunItemInDialog();
        return Advance();
    case ItemKind::End:
        break;
    }
}

void PollWaitItem()
{
    Sys().KillTimer(installerWindow, TIMER_WAIT_ITEM);
    if (RunTimeIsUp()) {
        ReportHeldAtTimeLimit(currentIndex, SetupItemAt(currentIndex));
        return Advance();
    }
    if (ItemStillRunning(SetupItemAt(currentIndex))) {
        Sys().SetTimer(installerWindow, TIMER_WAIT_ITEM, kTimerPeriodMs);
        return;
    }
    Advance();
}

}  // namespace

intptr_t InstallerWindowProc(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    Platform& sys = Sys();
    switch (msg) {
    case win::WM_CREATE:
        installerWindow = hwnd;
        sessionEnds = false;
        LoadAndLogSetupList();
        currentIndex = 1;
        sys.SetTimer(hwnd, TIMER_NEXT_ITEM, kTimerPeriodMs);
        return 0;
    case win::WM_TIMER:
        if (wParam == TIMER_NEXT_ITEM)
            ProcessNextItem();
        else if (wParam == TIMER_WAIT_ITEM)
            PollWaitItem();
        else if (wParam == TIMER_BOX_LIMIT)
            CloseBoxAtTimeLimit();
        return 0;
    case win::WM_COMMAND:
        if ((wParam & 0xFFFF) == IDM_EXIT) {
            sys.DestroyWindow(hwnd);
            return 0;
        }
        return sys.DefWindowProcA(hwnd, msg, wParam, lParam);
    case win::WM_ENDSESSION:
        // Windows ends the session: the run cannot finish its list, and no
        // restart is asked for under a shutdown.
        if (wParam == 0) return 0;
        sessionEnds = true;
        // An item that has just ended with 1641 is judged first: the session
        // ends under the restart it started, which is what the run reports.
        EndItemWait();
        if (RestartStarted())
            Log("end: the session ends under the restart that was started");
        else
            ReportFailure(win::ERROR_INSTALL_USEREXIT, "the session ends");
        sys.DestroyWindow(hwnd);
        return 0;
    case win::WM_DESTROY:
        sys.KillTimer(hwnd, TIMER_NEXT_ITEM);
        sys.KillTimer(hwnd, TIMER_WAIT_ITEM);
        EndItemWait();
        if (!listDone && !RestartStarted())
            ReportFailure(win::ERROR_INSTALL_USEREXIT,
                          "the run was ended at item " + std::to_string(currentIndex) + ", before its list was done");
        ForgetStartedProcesses();
        if (!sessionEnds) WriteMarker();
        if (!sessionEnds) OfferRestart();
        sys.PostQuitMessage(static_cast<int>(RunExitCode()));
        return 0;
    default:
        return sys.DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace zw
