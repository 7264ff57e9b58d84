// Questions about running processes, and ending one, each answered from one
// fresh Toolhelp snapshot. Every pass keeps the windows alive: pending
// messages are dispatched before each process entry is looked at.
//
// Each operation upper-cases its argument in place (CharUpperA), also when it
// then fails; callers that need their text unchanged pass a copy.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace zw {

// A process whose image name equals name, ASCII case ignored.
bool IsProcessRunning(char* name);
// A process whose image name contains fragment, ASCII case ignored.
bool IsProcessNameContaining(char* fragment);

// Several names against one snapshot: each equals an image name, or with
// contains is found inside one. The index of the name matched by the first
// process that matches any, or -1 when none runs; match, when given,
// receives that process's entry (its image name upper-cased).
struct WatchedName {
    char* text;
    bool contains;
};
int FindRunningProcess(const std::vector<WatchedName>& names, ProcessEntry* match = nullptr);

// Every process of one snapshot, in its order, image names upper-cased.
std::vector<ProcessEntry> ListProcesses();

// Ends the first process, in snapshot order, whose image name contains
// fragment, passing over the processes in spared, and waits up to
// kTerminationWaitMs, pumping messages, for it to be gone: the system ends a
// process after TerminateProcess has returned. True when it could be opened
// and its end was requested; termination, when given, receives its id and
// whether it was seen gone in time.
constexpr uint32_t kTerminationWaitMs = 5000;
struct Termination {
    uint32_t processId = 0;
    bool gone = false;
};
bool TerminateProcessByName(char* fragment, const std::vector<uint32_t>& spared = {},
                            Termination* termination = nullptr);

}  // namespace zw
