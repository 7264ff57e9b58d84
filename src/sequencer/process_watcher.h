// Questions about running processes, each answered from one fresh Toolhelp
// snapshot. Every pass keeps the windows alive: pending messages are
// dispatched before each process entry is looked at.
//
// Each operation upper-cases the names it is given in place (CharUpperA),
// also when it then fails; callers that need their text unchanged pass a copy.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace zw {

// A process whose image name equals name, ASCII case ignored.
bool IsProcessRunning(char* name);

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

// Every process of one snapshot that any of names matches (the rules of
// FindRunningProcess) or whose id is processId (0: none), in snapshot order, image names
// upper-cased. False when no snapshot could be taken.
bool ListMatchingProcesses(const std::vector<WatchedName>& names, uint32_t processId, std::vector<ProcessEntry>& found);


}  // namespace zw
