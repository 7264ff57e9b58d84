#include "sequencer/installer_window.h"

#include <string>

#include "platform/ascii.h"
#include "platform/win_values.h"
#include "resource.h"
#include "restart/restart.h"
#include "sequencer/item_kinds.h"
#include "sequencer/item_rules.h"
#include "sequencer/item_start.h"
#include "sequencer/item_wait.h"
#include "sequencer/progress_dialog.h"
#include "setuplist/setup_list.h"
#include "state/run_state.h"

namespace zw {

namespace {

// Arms the next item on the InstallerWindow.
void Advance()
{
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
// copy becomes the item. False when there is nothing to run.
bool ResolveCopiedFile(const SetupItem& item)
{
    Platform& sys = Sys();
    char windowsDirectory[kPathCapacity] = {};
    uint32_t length = sys.GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
    if (length == 0 || length >= sizeof windowsDirectory) return false;
    const CopyPaths paths = ResolveCopyPaths(windowsDirectory, item.file);
    if (!AssignCurrentFile(paths.source) || !FitsPathBuffer(paths.destination)) return false;
    sys.CopyFileA(paths.source.c_str(), paths.destination.c_str(), false);  // the existence test below decides
    return AssignCurrentFile(paths.destination) && CurrentFileExists();
}

// A path with a drive letter is used as it is; any other path lies below
// programDirectory and the item is started from its own directory, which
// stays the current directory for the rest of the run.
bool ResolveProgramFile(const SetupItem& item)
{
    const ProgramPath path = ResolveProgramPath(programDirectory, item.file);
    if (!path.resolvable) return false;
    // A change that failed would test the base name in some other directory.
    if (!path.enter.empty() && !Sys().SetCurrentDirectoryA(path.enter.c_str())) return false;
    return AssignCurrentFile(path.file) && CurrentFileExists();
}

bool ResolveFileInCurrentDirectory(const SetupItem& item)
{
    return AssignCurrentFile(RelativeToCurrentDirectory(item.file)) && CurrentFileExists();
}

// Makes the item's file the currentFile; false when it is missing.
bool ResolveItemFile(const SetupItem& item, FileResolution resolution)
{
    switch (resolution) {
    case FileResolution::CopiedIntoWindowsDirectory:
        return ResolveCopiedFile(item);
    case FileResolution::BelowProgramDirectory:
        return ResolveProgramFile(item);
    case FileResolution::RelativeToCurrentDirectory:
        return ResolveFileInCurrentDirectory(item);
    }
    return false;
}

// A program or a copy whose file was found.
void TakeUpProgram(const SetupItem& item)
{
    if (RequestsRestart(item)) rebootPending = 1;
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
    const SetupItem& item = SetupItemAt(currentIndex);
    const ItemKind kind = KindOf(item);
    const ItemKindInfo* info = KindInfo(kind);
    if (info == nullptr) {
        // End of the list, or a kind nobody knows: the run is over.
        sys.DestroyWindow(installerWindow);
        return;
    }
    const bool found = ResolveItemFile(item, info->resolution);
    switch (kind) {
    case ItemKind::Copy:
    case ItemKind::Program:
        if (!found) return Advance();
        return TakeUpProgram(item);
    case ItemKind::Driver:
        if (!found) {
            sys.MessageBoxA(nullptr, RelativeToCurrentDirectory(item.file).c_str(), "file open error", win::MB_OK);
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
        LoadSetupList();
        currentIndex = 1;
        sys.SetTimer(hwnd, TIMER_NEXT_ITEM, kTimerPeriodMs);
        return 0;
    case win::WM_TIMER:
        if (wParam == TIMER_NEXT_ITEM)
            ProcessNextItem();
        else if (wParam == TIMER_WAIT_ITEM)
            PollWaitItem();
        return 0;
    case win::WM_COMMAND:
        if ((wParam & 0xFFFF) == IDM_EXIT) {
            sys.DestroyWindow(hwnd);
            return 0;
        }
        return sys.DefWindowProcA(hwnd, msg, wParam, lParam);
    case win::WM_DESTROY:
        sys.KillTimer(hwnd, TIMER_NEXT_ITEM);
        sys.KillTimer(hwnd, TIMER_WAIT_ITEM);
        OfferRestart();
        sys.PostQuitMessage(0);
        return 0;
    default:
        return sys.DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace zw
