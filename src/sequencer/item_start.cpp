#include "sequencer/item_start.h"

#include "platform/platform.h"
#include "platform/win_values.h"
#include "sequencer/item_rules.h"
#include "sequencer/process_watcher.h"
#include "setuplist/setup_list.h"
#include "state/run_state.h"

namespace zw {

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

}  // namespace zw
