#include "sequencer/installer_window.h"

#include <string>
#include <string_view>

#include "app/startup.h"
#include "platform/ascii.h"
#include "platform/pump.h"
#include "restart/restart.h"
#include "sequencer/item_rules.h"
#include "sequencer/process_watcher.h"
#include "sequencer/progress_dialog.h"
#include "sequencer/run_state.h"
#include "sequencer/wait_list.h"
#include "setuplist/paths.h"
#include "setuplist/setup_list.h"

namespace zw {

namespace {

constexpr uint32_t kSleepAfterStartMs = 200;
constexpr uint32_t kSleepBeforeScanMs = 300;
constexpr uint32_t kGracePollSleepMs = 300;
constexpr int kGracePolls = 20;

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
    const int templateId = EqualsIgnoringAsciiCase(languageTag, "kor") ? kDialogKorean : kDialogEnglish;
    Sys().DialogBoxParamA(instanceHandle, templateId, installerWindow, ProgressDialogProc, 0);
}

// Kind '2': the file is copied into the Windows directory under its base name
// and the copy becomes the item. False when there is nothing to run.
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

// Kind '1': a path with a drive letter is used as it is; any other path lies
// below programDirectory and the item is started from its own directory,
// which stays the current directory for the rest of the run.
bool ResolveProgramFile(const SetupItem& item)
{
    const ProgramPath path = ResolveProgramPath(programDirectory, item.file);
    if (!path.resolvable) return false;
    // A change that failed would test the base name in some other directory.
    if (!path.enter.empty() && !Sys().SetCurrentDirectoryA(path.enter.c_str())) return false;
    return AssignCurrentFile(path.file) && CurrentFileExists();
}

void TakeUpItem(const SetupItem& item)
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

// One wait entry of a directly started item: a name holding "*." looks for
// the text after its first character inside image names, any other name must
// equal an image name.
bool WaitEntryRunning(std::string_view entry)
{
    if (IsWildcardWaitEntry(entry)) {
        std::string fragment = WildcardFragment(entry);
        return IsProcessNameContaining(fragment.data());
    }
    std::string name(entry);
    return IsProcessRunning(name.data());
}

}  // namespace

bool AssignCurrentFile(const std::string& path)
{
    if (path.size() >= kPathCapacity) {
        currentFile.clear();
        return false;
    }
    currentFile = path;
    return true;
}

bool CurrentFileExists() { return !currentFile.empty() && Sys().FileExists(currentFile.c_str()); }

void StartItemProgram()
{
    Platform& sys = Sys();
    const SetupItem& item = SetupItemAt(currentIndex);
    if (IsInstallerPackage(currentFile)) {
        // Each call ends at most one; a package must not meet a busy installer.
        char msiexec[] = "msiexec.exe";
        TerminateProcessByName(msiexec);
        TerminateProcessByName(msiexec);
    }
    sys.ShellExecuteA(nullptr, "open", currentFile.c_str(), item.parameters.c_str(), nullptr, win::SW_SHOW);
    sys.Sleep(kSleepAfterStartMs);
}

void ProcessNextItem()
{
    Platform& sys = Sys();
    sys.KillTimer(installerWindow, TIMER_NEXT_ITEM);
    const SetupItem& item = SetupItemAt(currentIndex);
    switch (KindOf(item)) {
    case '2':
        if (!ResolveCopiedFile(item)) return Advance();
        return TakeUpItem(item);
    case '1':
        if (!ResolveProgramFile(item)) return Advance();
        return TakeUpItem(item);
    case '0': {
        const std::string wanted = RelativeToCurrentDirectory(item.file);
        if (!AssignCurrentFile(wanted) || !CurrentFileExists()) {
            sys.MessageBoxA(nullptr, wanted.c_str(), "file open error", win::MB_OK);
            return Advance();
        }
        // The driver update reports its own need of a restart.
        RunItemInDialog();
        return Advance();
    }
    default:
        // End of the list, or a kind nobody knows: the run is over.
        sys.DestroyWindow(installerWindow);
        return;
    }
}

void PollWaitItem()
{
    Platform& sys = Sys();
    sys.KillTimer(installerWindow, TIMER_WAIT_ITEM);
    const SetupItem& item = SetupItemAt(currentIndex);
    const auto keepWaiting = [&] { sys.SetTimer(installerWindow, TIMER_WAIT_ITEM, kTimerPeriodMs); };

    std::string name = BaseName(item.file);
    if (IsProcessRunning(name.data())) return keepWaiting();

    sys.Sleep(kSleepBeforeScanMs);
    for (std::string_view entry : SplitWaitList(item.waitList, kDirectWaitSeparator)) {
        name = entry;
        if (WaitEntryRunning(entry)) return keepWaiting();
    }

    // Grace period: installers often hand over to a process of their own a
    // moment after they end. The name watched is the last entry, tested by
    // exact name (a wildcard entry therefore never ends it early).
    for (int poll = 0; poll < kGracePolls; ++poll) {
        sys.Sleep(kGracePollSleepMs);
        PumpPendingMessages();
        if (!name.empty() && IsProcessRunning(name.data())) return keepWaiting();
    }
    Advance();
}

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
        if ((wParam & 0xFFFF) == kCommandExit) {
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
