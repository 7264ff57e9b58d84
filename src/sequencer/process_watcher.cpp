#include "sequencer/process_watcher.h"

#include <cstring>
#include <string_view>

#include "platform/ascii.h"
#include "platform/platform.h"
#include "platform/pump.h"
#include "platform/win_values.h"

namespace zw {

namespace {

void UpperAsciiInPlace(char* text)
{
    for (; *text != '\0'; ++text) *text = AsciiUpper(*text);
}

bool Matches(const char* image, const char* wanted, bool contains)
{
    if (!contains) return std::strcmp(image, wanted) == 0;
    return std::string_view(image).find(wanted) != std::string_view::npos;
}

// The index of the first of names that matches the (upper-cased) image, or -1.
int MatchingName(const ProcessEntry& entry, const std::vector<WatchedName>& names)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (Matches(entry.szExeFile, names[i].text, names[i].contains)) return static_cast<int>(i);
    return -1;
}

void UpperNames(const std::vector<WatchedName>& names)
{
    for (const WatchedName& name : names) Sys().CharUpperA(name.text);
}

// One pass over a fresh snapshot: test(entry) sees every entry, upper-cased,
// after the pump, until it returns true. The snapshot is closed on every path.
// False when no snapshot could be taken.
template <class Test>
bool ScanSnapshot(Test test)
{
    Platform& sys = Sys();
    Handle snapshot = sys.CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    if (snapshot == kInvalidHandle || snapshot == nullptr) return false;
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
    return true;
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

int FindRunningProcess(const std::vector<WatchedName>& names, ProcessEntry* match)
{
    if (names.empty()) return -1;
    UpperNames(names);
    int found = -1;
    ScanSnapshot([&](const ProcessEntry& entry) {
        found = MatchingName(entry, names);
        if (found < 0) return false;
        if (match != nullptr) *match = entry;
        return true;
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

bool ListMatchingProcesses(const std::vector<WatchedName>& names, uint32_t processId, std::vector<ProcessEntry>& found)
{
    UpperNames(names);
    return ScanSnapshot([&](const ProcessEntry& entry) {
        if ((processId != 0 && entry.th32ProcessID == processId) || MatchingName(entry, names) >= 0)
            found.push_back(entry);
        return false;
    });
}

}  // namespace zw
