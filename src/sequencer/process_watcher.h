// Questions about running processes, and ending one, each answered from one
// fresh Toolhelp snapshot. Every pass keeps the windows alive: pending
// messages are dispatched before each process entry is looked at.
//
// Each operation upper-cases its argument in place (CharUpperA), also when it
// then fails; callers that need their text unchanged pass a copy.
#pragma once

namespace zw {

// A process whose image name equals name, ASCII case ignored.
bool IsProcessRunning(char* name);
// A process whose image name contains fragment, ASCII case ignored.
bool IsProcessNameContaining(char* fragment);
// Ends the first process, in snapshot order, whose image name contains
// fragment. True when it could be opened and its end was requested.
bool TerminateProcessByName(char* fragment);

}  // namespace zw
