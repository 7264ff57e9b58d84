#include "sequencer/run_processes.h"

#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/pump.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "sequencer/process_watcher.h"
#include "state/run_state.h"

namespace zw {

namespace {

constexpr char kInstallerImage[] = "MSIEXEC.EXE";

bool CreationTime(Handle process, uint64_t& created)
{
    uint64_t exited = 0;
    return Sys().GetProcessTimes(process, created, exited);
}

bool IsRecorded(uint32_t processId)
{
    for (const StartedProcess& s : startedProcesses)
        if (s.processId == processId) return true;
    return false;
}

// Whether a process created at created, whose creator had the id creatorId,
// was created by a process of the record: one under that id that already
// existed then and had not yet ended. Ids are reused once a process is gone,
// so the id alone says nothing.
bool CreatedByRecorded(uint32_t creatorId, uint64_t created)
{
    Platform& sys = Sys();
    for (const StartedProcess& s : startedProcesses) {
        if (s.processId != creatorId || s.created > created) continue;
        if (sys.WaitForSingleObject(s.handle, 0) == win::WAIT_TIMEOUT) return true;
        uint64_t creation = 0, exited = 0;
        if (sys.GetProcessTimes(s.handle, creation, exited) && created <= exited) return true;
    }
    return false;
}

const ProcessEntry* EntryOf(const std::vector<ProcessEntry>& list, uint32_t processId)
{
    for (const ProcessEntry& entry : list)
        if (entry.th32ProcessID == processId) return &entry;
    return nullptr;
}

// By ids alone: could the record hold the process, its creator or its
// creator's creator? Processes of others are not even opened.
bool MayBeOfThisRun(const ProcessEntry& entry, const std::vector<ProcessEntry>& list)
{
    if (IsRecorded(entry.th32ProcessID) || IsRecorded(entry.th32ParentProcessID)) return true;
    const ProcessEntry* creator = EntryOf(list, entry.th32ParentProcessID);
    return creator != nullptr && IsRecorded(creator->th32ParentProcessID);
}

// The same, checked against creation times. created: the process's own.
bool StartedByThisRun(const ProcessEntry& entry, uint64_t created, const std::vector<ProcessEntry>& list)
{
    for (const StartedProcess& s : startedProcesses)
        if (s.processId == entry.th32ProcessID && s.created == created) return true;
    if (CreatedByRecorded(entry.th32ParentProcessID, created)) return true;
    // The creator must still run, and have been created before the process:
    // otherwise its id now belongs to another.
    const ProcessEntry* creator = EntryOf(list, entry.th32ParentProcessID);
    if (creator == nullptr || !IsRecorded(creator->th32ParentProcessID)) return false;
    Platform& sys = Sys();
    Handle handle = sys.OpenProcess(win::PROCESS_QUERY_LIMITED_INFORMATION, false, creator->th32ProcessID);
    if (handle == nullptr) return false;
    uint64_t creatorCreated = 0;
    const bool known = CreationTime(handle, creatorCreated);
    sys.CloseHandle(handle);
    return known && creatorCreated <= created && CreatedByRecorded(creator->th32ParentProcessID, creatorCreated);
}

// Opens msiexec.exe of entry to wait for it: null (logged) when it is not
// this run's or cannot be opened.
Handle OpenInstallerOfThisRun(const ProcessEntry& entry, const std::vector<ProcessEntry>& list)
{
    Platform& sys = Sys();
    const uint32_t processId = entry.th32ProcessID;
    Handle process = sys.OpenProcess(win::SYNCHRONIZE | win::PROCESS_QUERY_LIMITED_INFORMATION, false, processId);
    if (process == nullptr) {
        Log("package: msiexec.exe (pid ", processId,
            ") may be this run's and cannot be opened to be waited for: ", SystemErrorText(sys.GetLastError()));
        return nullptr;
    }
    uint64_t created = 0;
    if (!CreationTime(process, created) || !StartedByThisRun(entry, created, list)) {
        sys.CloseHandle(process);
        Log("package: msiexec.exe (pid ", processId, ") was not started by this run and is left alone");
        return nullptr;
    }
    return process;
}

}  // namespace

void NoteStartedProcess(Handle process)
{
    Platform& sys = Sys();
    const uint32_t processId = sys.GetProcessId(process);
    uint64_t created = 0;
    if (processId == 0 || !CreationTime(process, created)) return;
    // The start's handle is still open, so the id is still this process's.
    Handle own = sys.OpenProcess(win::SYNCHRONIZE | win::PROCESS_QUERY_LIMITED_INFORMATION, false, processId);
    if (own == nullptr) return;
    startedProcesses.push_back({processId, created, own});
}

void ForgetStartedProcesses()
{
    Platform& sys = Sys();
    for (const StartedProcess& s : startedProcesses) {
        // The record's handle keeps the id from being reused, so the process
        // opened by it is the one that still runs.
        if (runLockHandle != nullptr && sys.WaitForSingleObject(s.handle, 0) == win::WAIT_TIMEOUT) {
            Handle target = sys.OpenProcess(win::PROCESS_DUP_HANDLE, false, s.processId);
            const bool kept = target != nullptr && sys.DuplicateHandle(runLockHandle, target);
            const uint32_t error = sys.GetLastError();
            if (target != nullptr) sys.CloseHandle(target);
            runLockKeptByLeftovers = runLockKeptByLeftovers || kept;
            if (kept)
                Log("end: pid ", s.processId, " still runs and keeps the one-run lock until it ends");
            else
                Log("end: pid ", s.processId, " still runs but cannot keep the one-run lock: ", SystemErrorText(error));
        }
        sys.CloseHandle(s.handle);
    }
    startedProcesses.clear();
}

void WaitForInstallersOfThisRun(uint32_t serviceProcessId)
{
    Platform& sys = Sys();
    // A pass waits for every one found; one that started another meanwhile
    // is found by the next.
    for (bool waited = true; waited;) {
        waited = false;
        const std::vector<ProcessEntry> list = ListProcesses();
        for (const ProcessEntry& entry : list) {
            if (!EqualsIgnoringAsciiCase(entry.szExeFile, kInstallerImage) || entry.th32ProcessID == serviceProcessId)
                continue;
            if (!MayBeOfThisRun(entry, list)) {
                Log("package: msiexec.exe (pid ", entry.th32ProcessID,
                    ") was not started by this run and is left alone");
                continue;
            }
            Handle process = OpenInstallerOfThisRun(entry, list);
            if (process == nullptr) continue;
            // One that has ended but is still listed would be found again and again.
            if (sys.WaitForSingleObject(process, 0) != win::WAIT_TIMEOUT) {
                sys.CloseHandle(process);
                continue;
            }
            Log("package: waiting for msiexec.exe (pid ", entry.th32ProcessID,
                "), started by this run: an installation of ours is never ended");
            const uint32_t since = sys.GetTickCount();
            const WaitOutcome outcome = WaitPumpingMessages(process, RunTimeLeftMs());
            sys.CloseHandle(process);
            if (outcome != WaitOutcome::Signalled) {
                Log("package: msiexec.exe (pid ", entry.th32ProcessID, ") still runs after ",
                    sys.GetTickCount() - since, " ms and is left running");
                return;
            }
            Log("package: msiexec.exe (pid ", entry.th32ProcessID, ") ended after ", sys.GetTickCount() - since, " ms");
            waited = true;
        }
    }
}

}  // namespace zw
