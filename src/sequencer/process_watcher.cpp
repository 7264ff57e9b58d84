#include "sequencer/process_watcher.h"

#include <cstring>
#include <string_view>

#include "platform/ascii.h"
#include "platform/platform.h"
#include "platform/pump.h"
#include "platform/win_values.h"

namespace zw {

namespace {

// Used when the running process's exit code cannot be read: the same code a
// process ended while running reports on the normal path.
constexpr uint32_t kExitCodeWhenUnreadable = win::STILL_ACTIVE;

void UpperAsciiInPlace(char* text)
{
    for (; *text != '\0'; ++text) *text = AsciiUpper(*text);
}

bool Matches(const char* image, const char* wanted, bool contains)
{
    if (!contains) return std::strcmp(image, wanted) == 0;
    return std::string_view(image).find(wanted) != std::string_view::npos;
}

bool EndProcess(uint32_t processId, Termination* termination)
{
    Platform& sys = Sys();
    Handle process = sys.OpenProcess(win::PROCESS_ALL_ACCESS_LEGACY, false, processId);
    if (process == nullptr) return false;
    uint32_t exitCode = kExitCodeWhenUnreadable;
    if (!sys.GetExitCodeProcess(process, exitCode)) exitCode = kExitCodeWhenUnreadable;
    sys.TerminateProcess(process, exitCode);
    // The handle's access includes SYNCHRONIZE.
    const bool gone = WaitPumpingMessages(process, kTerminationWaitMs) == WaitOutcome::Signalled;
    sys.CloseHandle(process);
    if (termination != nullptr) *termination = {processId, gone};
    return true;
}

// One pass over a fresh snapshot: test(entry) sees every entry, upper-cased,
// after the pump, until it returns true. The snapshot is closed on every path.
template <class Test>
void ScanSnapshot(Test test)
{
    Platform& sys = Sys();
    Handle snapshot = sys.CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    if (snapshot == kInvalidHandle) return;
    ProcessEntry entry;
    bool more = sys.Process32First(snapshot, entry);
    while (more) {
        PumpPendingMessages();
        entry.szExeFile[sizeof entry.szExeFile - 1] = '\0';
        UpperAsciiInPlace(entry.szExeFile);
        if (test(entry)) break;
        more = sys.Process32Next(snapshot, entry);
    }
    sys.CloseHandle(snapshot);
}

bool ScanFor(char* argument, bool contains)
{
    Sys().CharUpperA(argument);
    bool found = false;
    ScanSnapshot([&](const ProcessEntry& entry) { return found = Matches(entry.szExeFile, argument, contains); });
    return found;
}

}  // namespace

bool IsProcessRunning(char* name) { return ScanFor(name, false); }

bool IsProcessNameContaining(char* fragment) { return ScanFor(fragment, true); }

int FindRunningProcess(const std::vector<WatchedName>& names, ProcessEntry* match)
{
    if (names.empty()) return -1;
    for (const WatchedName& name : names) Sys().CharUpperA(name.text);
    int found = -1;
    ScanSnapshot([&](const ProcessEntry& entry) {
        for (size_t i = 0; i < names.size(); ++i)
            if (Matches(entry.szExeFile, names[i].text, names[i].contains)) {
                found = static_cast<int>(i);
                if (match != nullptr) *match = entry;
                return true;
            }
        return false;
    });
    return found;
}

std::vector<ProcessEntry> ListProcesses()
{
    std::vector<ProcessEntry> list;
    ScanSnapshot([&](const ProcessEntry& entry) {
        list.push_back(entry);
        return false;
    });
    return list;
}

bool TerminateProcessByName(char* fragment, const std::vector<uint32_t>& spared, Termination* termination)
{
    Sys().CharUpperA(fragment);
    bool ended = false;
    ScanSnapshot([&](const ProcessEntry& entry) {
        if (!Matches(entry.szExeFile, fragment, true)) return false;
        for (const uint32_t processId : spared)
            if (entry.th32ProcessID == processId) return false;
        // The first match decides, whether it can be opened or not.
        ended = EndProcess(entry.th32ProcessID, termination);
        return true;
    });
    return ended;
}

}  // namespace zw
