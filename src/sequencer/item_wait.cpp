#include "sequencer/item_wait.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/pump.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "sequencer/item_outcome.h"
#include "sequencer/item_rules.h"
#include "sequencer/process_watcher.h"
#include "state/run_state.h"

namespace zw {

namespace {

// The open wait: since when, and what held it, in order, for how long.
struct OpenWait {
    bool open = false;
    int32_t item = 0;
    uint32_t startedProcessId = 0;
    uint32_t since = 0;
    std::string holder;
    uint32_t holderSince = 0;
    std::vector<std::pair<std::string, uint32_t>> holders;
};
OpenWait wait;

// A tick found holder running (empty: nothing). Changes are logged as they
// happen, so a wait that never ends still shows what holds it.
void NoteHolder(const std::string& holder)
{
    if (!wait.open || holder == wait.holder) return;
    const uint32_t now = Sys().GetTickCount();
    if (!wait.holder.empty()) wait.holders.emplace_back(wait.holder, now - wait.holderSince);
    wait.holder = holder;
    wait.holderSince = now;
    if (!holder.empty()) Log("item ", wait.item, ": waiting for ", holder);
}

// The started process has ended, or is let go: its exit code counts when it
// has ended, and the handle is closed.
void ReleaseStartedProcess()
{
    if (startedProcess == nullptr) return;
    Platform& sys = Sys();
    if (sys.WaitForSingleObject(startedProcess, 0) == win::WAIT_OBJECT_0) {
        uint32_t code = 0;
        if (sys.GetExitCodeProcess(startedProcess, code)) {
            const bool restart =
                code == win::ERROR_SUCCESS_REBOOT_REQUIRED || code == win::ERROR_SUCCESS_REBOOT_INITIATED;
            Log("item ", wait.item, ": its process (pid ", wait.startedProcessId, ") ended with exit code ", code,
                restart ? ", which asks for a restart" : "");
            JudgeItemExitCode(wait.item, SetupItemAt(wait.item), code);
        }
    } else {
        Log("item ", wait.item, ": its process (pid ", wait.startedProcessId,
            ") still runs and is no longer waited for");
    }
    sys.CloseHandle(startedProcess);
    startedProcess = nullptr;
}

// True while the started process runs; when it has ended, it is released.
bool StartedProcessRuns()
{
    if (startedProcess == nullptr) return false;
    if (Sys().WaitForSingleObject(startedProcess, 0) == win::WAIT_TIMEOUT) return true;
    ReleaseStartedProcess();
    return false;
}

// The watcher upper-cases what it is given, so every test gets a copy.
bool Runs(const std::string& name)
{
    std::string copy = name;
    return IsProcessRunning(copy.data());
}

// The waitList's names against one snapshot; the index of one that runs, or -1.
int RunningName(const WaitPlan& plan)
{
    std::vector<std::string> texts;
    texts.reserve(plan.names.size());
    std::vector<WatchedName> names;
    for (const WaitName& name : plan.names) {
        texts.push_back(name.text);
        names.push_back({texts.back().data(), name.contains});
    }
    return FindRunningProcess(names);
}

bool StillRunning(const SetupItem& item)
{
    Platform& sys = Sys();
    if (StartedProcessRuns()) {
        NoteHolder("its own process (pid " + std::to_string(wait.startedProcessId) + ")");
        return true;
    }
    const WaitPlan plan = PlanWait(item);
    if (Runs(plan.ownName)) {
        NoteHolder(plan.ownName);
        return true;
    }
    sys.Sleep(kSleepBeforeScanMs);
    const int running = RunningName(plan);
    if (running >= 0) {
        NoteHolder(plan.names[static_cast<size_t>(running)].entry);
        return true;
    }
    if (!plan.gracePeriod) return false;

    // Installers often hand over to a process of their own a moment after
    // they end. The name is tested by exact name, so a wildcard entry never
    // ends the period early.
    NoteHolder("the grace period");
    for (int poll = 0; poll < kGracePolls; ++poll) {
        sys.Sleep(kGracePollIntervalMs);
        PumpPendingMessages();
        if (!plan.graceName.empty() && Runs(plan.graceName)) {
            NoteHolder(plan.graceName);
            return true;
        }
    }
    return false;
}

}  // namespace

void BeginItemWait(Handle process)
{
    EndItemWait();
    Platform& sys = Sys();
    wait = OpenWait();
    wait.open = true;
    wait.item = currentIndex;
    wait.since = sys.GetTickCount();
    if (process == nullptr) return;
    if (!IsWaitedThroughProcess(currentFile)) {
        // A document opened in a viewer must not hold the run.
        sys.CloseHandle(process);
        return;
    }
    startedProcess = process;
    wait.startedProcessId = sys.GetProcessId(process);
}

bool ItemStillRunning(const SetupItem& item)
{
    const bool running = StillRunning(item);
    if (!running) NoteHolder(std::string());
    return running;
}

void EndItemWait()
{
    ReleaseStartedProcess();
    if (!wait.open) return;
    NoteHolder(std::string());
    std::string held;
    for (const auto& [holder, ms] : wait.holders)
        held += (held.empty() ? "" : ", ") + holder + " " + std::to_string(ms) + " ms";
    Log("item ", wait.item, ": wait over after ", Sys().GetTickCount() - wait.since, " ms",
        held.empty() ? "" : "; held by ", held);
    wait = OpenWait();
}

}  // namespace zw
