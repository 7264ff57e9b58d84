#include "sequencer/item_wait.h"

#include <string>

#include "platform/platform.h"
#include "platform/pump.h"
#include "sequencer/item_rules.h"
#include "sequencer/process_watcher.h"

namespace zw {

namespace {

// The watcher upper-cases what it is given, so every test gets a copy.
bool Runs(const std::string& name)
{
    std::string copy = name;
    return IsProcessRunning(copy.data());
}

bool NameRuns(const WaitName& name)
{
    std::string copy = name.text;
    return name.contains ? IsProcessNameContaining(copy.data()) : IsProcessRunning(copy.data());
}

}  // namespace

bool ItemStillRunning(const SetupItem& item)
{
    Platform& sys = Sys();
    const WaitPlan plan = PlanWait(item);
    if (Runs(plan.ownName)) return true;

    sys.Sleep(kSleepBeforeScanMs);
    for (const WaitName& name : plan.names)
        if (NameRuns(name)) return true;
    if (!plan.gracePeriod) return false;

    // Installers often hand over to a process of their own a moment after
    // they end. The name is tested by exact name, so a wildcard entry never
    // ends the period early.
    for (int poll = 0; poll < kGracePolls; ++poll) {
        sys.Sleep(kGracePollIntervalMs);
        PumpPendingMessages();
        if (!plan.graceName.empty() && Runs(plan.graceName)) return true;
    }
    return false;
}

}  // namespace zw
