#include "sequencer/item_outcome.h"

#include <string_view>
#include <vector>

#include "detect/detect_eval.h"
#include "detect/marker.h"
#include "platform/ascii.h"
#include "platform/platform.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "setuplist/paths.h"
#include "sequencer/item_rules.h"
#include "sequencer/process_watcher.h"
#include "state/run_outcome.h"
#include "state/run_state.h"

namespace zw {

namespace {

uint32_t itemTakenUpAt = 0;

// The item's processes that run now, from one snapshot: the started one and
// every process its names match, by the wait's own rules (process_watcher),
// so the report names what the wait held.
std::string RunningProcessesOf(const SetupItem& item)
{
    const uint32_t startedPid = startedProcess != nullptr ? Sys().GetProcessId(startedProcess) : 0;
    const WaitPlan plan = PlanWait(item);
    // The watcher upper-cases what it is given, so it gets copies.
    std::vector<std::string> texts = {plan.ownName};
    std::vector<WatchedName> names = {{nullptr, false}};
    for (const WaitName& name : plan.names) {
        texts.push_back(name.text);
        names.push_back({nullptr, name.contains});
    }
    for (size_t i = 0; i < names.size(); ++i) names[i].text = texts[i].data();
    std::vector<ProcessEntry> running;
    if (!ListMatchingProcesses(names, startedPid, running))
        return startedPid != 0 ? "its own process (pid " + std::to_string(startedPid) + ")" : std::string();
    std::string found;
    for (const ProcessEntry& entry : running)
        found += (found.empty() ? "" : ", ") + std::string(entry.szExeFile) + " (pid " +
                 std::to_string(entry.th32ProcessID) + ")";
    return found;
}

SetupItem WithListedCodes(const SetupItem& item)
{
    SetupItem listed = item;
    listed.successCodes = ReadItemSuccessCodes(item);
    return listed;
}

}  // namespace

bool IsUpdatePackage(const SetupItem& item) { return EqualsIgnoringAsciiCase(ExtensionOf(item.file), "msu"); }

bool IsSuccessExitCode(const SetupItem& item, uint32_t code)
{
    // A re-run finds the update installed; a system it does not apply to
    // needs none of it.
    if (IsUpdatePackage(item) && (code == win::WU_S_ALREADY_INSTALLED || code == win::WU_E_NOT_APPLICABLE)) return true;
    if (code == kExitSuccess || code == kExitInstallSucceeded || code == win::ERROR_SUCCESS_REBOOT_REQUIRED ||
        code == win::ERROR_SUCCESS_REBOOT_INITIATED)
        return true;
    if (item.successCodes.any) return true;
    for (const uint32_t listed : item.successCodes.codes)
        if (listed == code) return true;
    return false;
}

void JudgeItemExitCode(int32_t number, const SetupItem& item, uint32_t code)
{
    NoteItemEnd(number, std::to_string(code));
    if (code == win::ERROR_SUCCESS_REBOOT_REQUIRED) {
        rebootPending = 1;
    } else if (code == win::ERROR_SUCCESS_REBOOT_INITIATED) {
        rebootPending = 1;
        ReportRestartStarted("item " + std::to_string(number) + " (exit code 1641); nothing more starts");
    } else if (!IsSuccessExitCode(item, code) && !IsSuccessExitCode(WithListedCodes(item), code)) {
        ReportFailure(code, "item " + std::to_string(number) + " ended with exit code " + std::to_string(code) +
                                ", which is no success code for it");
        return;
    } else if (IsUpdatePackage(item) && code == win::WU_E_NOT_APPLICABLE) {
        Log("item ", number, ": exit code ", Hex(code), ": not applicable to this system, which counts as success");
    } else if (code != kExitSuccess) {
        Log("item ", number, ": exit code ", code, " counts as success");
    }
    DetectAfter(number, code,
                code != kExitSuccess && code != kExitInstallSucceeded && code != win::ERROR_SUCCESS_REBOOT_REQUIRED &&
                    code != win::ERROR_SUCCESS_REBOOT_INITIATED);
}

void NoteItemTakenUp() { itemTakenUpAt = Sys().GetTickCount(); }

void ReportHeldAtTimeLimit(int32_t number, const SetupItem& item)
{
    const uint32_t held = Sys().GetTickCount() - itemTakenUpAt;
    const std::string running = RunningProcessesOf(item);
    ReportTimeLimitReached("the time limit is reached while item " + std::to_string(number) + " (" + item.file +
                           ") held the run for " + std::to_string(held / 1000) + " s; " +
                           (running.empty() ? std::string("none of its processes runs now")
                                            : "still running and left running: " + running));
}

}  // namespace zw
