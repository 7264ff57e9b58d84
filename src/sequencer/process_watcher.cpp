#include "sequencer/process_watcher.h"

#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "platform/pump.h"
#include "platform/win_values.h"

namespace zw {

namespace {

// Used when the running process's exit code cannot be read: the same code a
// process ended while running reports on the normal path.
constexpr uint32_t kExitCodeWhenUnreadable = win::STILL_ACTIVE;

enum class Match { Exact, Contains };

void UpperAsciiInPlace(char* text)
{
    for (; *text != '\0'; ++text)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

bool Matches(const char* image, const char* wanted, Match match)
{
    if (match == Match::Exact) return std::strcmp(image, wanted) == 0;
    return std::string_view(image).find(wanted) != std::string_view::npos;
}

bool EndProcess(uint32_t processId)
{
    Platform& sys = Sys();
    Handle process = sys.OpenProcess(win::PROCESS_ALL_ACCESS_LEGACY, false, processId);
    if (process == nullptr) return false;
    uint32_t exitCode = kExitCodeWhenUnreadable;
    if (!sys.GetExitCodeProcess(process, exitCode)) exitCode = kExitCodeWhenUnreadable;
    sys.TerminateProcess(process, exitCode);
    sys.CloseHandle(process);
    return true;
}

// One pass over a fresh snapshot. With terminate, the first match is ended
// and its outcome is the result; otherwise a match is the answer.
bool Scan(char* argument, Match match, bool terminate)
{
    Platform& sys = Sys();
    sys.CharUpperA(argument);
    Handle snapshot = sys.CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
    if (snapshot == kInvalidHandle) return false;

    ProcessEntry entry;
    bool more = sys.Process32First(snapshot, entry);
    bool result = false;
    while (more) {
        PumpPendingMessages();
        entry.szExeFile[sizeof entry.szExeFile - 1] = '\0';
        UpperAsciiInPlace(entry.szExeFile);
        if (Matches(entry.szExeFile, argument, match)) {
            result = terminate ? EndProcess(entry.th32ProcessID) : true;
            break;
        }
        more = sys.Process32Next(snapshot, entry);
    }
    sys.CloseHandle(snapshot);
    return result;
}

}  // namespace

bool IsProcessRunning(char* name) { return Scan(name, Match::Exact, false); }

bool IsProcessNameContaining(char* fragment) { return Scan(fragment, Match::Contains, false); }

bool TerminateProcessByName(char* fragment) { return Scan(fragment, Match::Contains, true); }

}  // namespace zw
