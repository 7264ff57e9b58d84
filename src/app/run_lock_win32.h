// One launcher run at a time on the machine, across sessions and folders.
#pragma once

#include <windows.h>

namespace zw {

struct RunLock {
    HANDLE namespaceHandle = nullptr;
    HANDLE boundary = nullptr;
    HANDLE mutex = nullptr;
};

// True when this process now holds the run; false when another run holds it
// (both logged). Released when the process ends, or by ReleaseRunLock.
bool TakeRunLock(RunLock& lock);
void ReleaseRunLock(RunLock& lock);

}  // namespace zw
