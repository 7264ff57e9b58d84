#include "sequencer/item_wait.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/pump.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "sequencer/item_outcome.h"
#include "sequencer/item_rules.h"
#include "sequencer/process_watcher.h"
#include "setuplist/paths.h"
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
    // Processes found by name that could not be held: not asked again.
    std::vector<uint32_t> unopenable;
};
OpenWait wait;

// A process found by name that holds the wait, held through its handle: while
// it runs, a tick is one zero-timeout wait and takes no snapshot. Its own
// home, apart from the wait's record, so that every way a wait ends closes it
// (EndItemWait).
struct HeldProcess {
    Handle handle = nullptr;
    std::string holder;    // how the log names it
    bool ownName = false;  // found by the item's own name, else by its waitList
};
HeldProcess heldByName;

// Room for the image path of a process that is held; a longer one leaves the
// process to the snapshots.
constexpr uint32_t kImagePathCapacity = 1024;

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

void ReleaseHeldProcess()
{
    if (heldByName.handle == nullptr) return;
    Sys().CloseHandle(heldByName.handle);
    heldByName = HeldProcess();
}

// True while the held process runs; once it has ended it is let go, and the
// tick goes on to a snapshot at once.
bool HeldProcessRuns()
{
    if (heldByName.handle == nullptr) return false;
    if (Sys().WaitForSingleObject(heldByName.handle, 0) == win::WAIT_TIMEOUT) return true;
    ReleaseHeldProcess();
    return false;
}

// The process a snapshot found for entry is held through its handle; the
// name the log gives the holder is returned. A process that cannot be opened
// stays with the snapshots. Its id may have passed to another process since
// the snapshot (the id is free once a process has ended and nobody holds it):
// the handle is kept only when its image is the one the snapshot named, and
// then it holds the wait by the same rule whichever process it is. An id
// stays that process's while the handle is open.
std::string Hold(const ProcessEntry& found, const std::string& entry, bool ownName)
{
    Platform& sys = Sys();
    const uint32_t pid = found.th32ProcessID;
    // A nested handler may have ended the wait while the snapshot was taken.
    if (!wait.open || heldByName.handle != nullptr) return entry;
    for (const uint32_t refused : wait.unopenable)
        if (refused == pid) return entry;
    Handle process = sys.OpenProcess(win::SYNCHRONIZE | win::PROCESS_QUERY_LIMITED_INFORMATION, false, pid);
    if (process == nullptr) {
        wait.unopenable.push_back(pid);
        Log("item ", wait.item, ": ", entry, " (pid ", pid, ") cannot be opened: ", SystemErrorText(sys.GetLastError()),
            "; it is watched by snapshots");
        return entry;
    }
    char path[kImagePathCapacity] = {};
    uint32_t size = sizeof path;
    const bool named = sys.QueryFullProcessImageNameA(process, 0, path, size);
    const std::string image = named ? BaseName(path) : std::string();
    if (!named || !EqualsIgnoringAsciiCase(image, BaseName(found.szExeFile))) {
        sys.CloseHandle(process);
        wait.unopenable.push_back(pid);
        Log("item ", wait.item, ": ", entry, " (pid ", pid, ") ",
            named ? "is now " + image + ", another process under the same id" : "cannot tell its image",
            "; it is watched by snapshots");
        return entry;
    }
    const bool sameName = EqualsIgnoringAsciiCase(image, entry);
    heldByName.handle = process;
    heldByName.holder = (sameName ? entry : entry + ": " + image) + " (pid " + std::to_string(pid) + ")";
    heldByName.ownName = ownName;
    return heldByName.holder;
}

// The item's own name against one snapshot; the holder's name, or empty.
std::string RunningOwnName(const WaitPlan& plan)
{
    // The watcher upper-cases what it is given, so it gets a copy.
    std::string copy = plan.ownName;
    ProcessEntry found;
    if (FindRunningProcess({{copy.data(), false}}, &found) < 0) return std::string();
    return Hold(found, plan.ownName, true);
}

// The waitList's names, with ownName the item's own name too, against one
// snapshot; the holder's name, or empty.
std::string RunningName(const WaitPlan& plan, bool ownName)
{
    std::vector<WaitName> wanted;
    if (ownName) wanted.push_back({plan.ownName, plan.ownName, false});
    wanted.insert(wanted.end(), plan.names.begin(), plan.names.end());
    // The watcher upper-cases what it is given, so it gets copies.
    std::vector<std::string> texts;
    texts.reserve(wanted.size());
    std::vector<WatchedName> names;
    for (const WaitName& name : wanted) {
        texts.push_back(name.text);
        names.push_back({texts.back().data(), name.contains});
    }
    ProcessEntry found;
    const int running = FindRunningProcess(names, &found);
    if (running < 0) return std::string();
    return Hold(found, wanted[static_cast<size_t>(running)].entry, ownName && running == 0);
}

// The watcher upper-cases what it is given, so every test gets a copy.
bool Runs(const std::string& name)
{
    std::string copy = name;
    return IsProcessRunning(copy.data());
}

bool StillRunning(const SetupItem& item)
{
    Platform& sys = Sys();
    if (StartedProcessRuns()) {
        NoteHolder("its own process (pid " + std::to_string(wait.startedProcessId) + ")");
        return true;
    }
    const WaitPlan plan = PlanWait(item);
    // A held process takes the place of the test that found it, so the
    // ticks keep their pace: one found by the item's own name is tested
    // before the sleep, one of the waitList after it. While the latter
    // holds, the own name is not looked for; once it has ended, one snapshot
    // looks for both.
    const bool waitListHeld = heldByName.handle != nullptr && !heldByName.ownName;
    if (!waitListHeld) {
        if (HeldProcessRuns()) {
            NoteHolder(heldByName.holder);
            return true;
        }
        const std::string holder = RunningOwnName(plan);
        if (!holder.empty()) {
            NoteHolder(holder);
            return true;
        }
    }
    sys.Sleep(kSleepBeforeScanMs);
    if (HeldProcessRuns()) {
        NoteHolder(heldByName.holder);
        return true;
    }
    const std::string holder = RunningName(plan, waitListHeld);
    if (!holder.empty()) {
        NoteHolder(holder);
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

void BeginItemWait(Handle process, bool startedByHost)
{
    EndItemWait();
    Platform& sys = Sys();
    wait = OpenWait();
    wait.open = true;
    wait.item = currentIndex;
    wait.since = sys.GetTickCount();
    if (process == nullptr) return;
    if (!IsWaitedThroughProcess(currentFile) && !startedByHost) {
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
    ReleaseHeldProcess();
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
