// One launcher run at a time on the machine, across sessions and folders.
#pragma once

#include "platform/platform.h"

namespace zw {

struct RunLock {
    Handle boundary = nullptr;
    Handle privateNamespace = nullptr;
    Handle mutex = nullptr;
};

// True when this process now holds the run; false when another run holds it,
// or the lock cannot be had (both logged): the run then ends with 1618.
// Sets runLockHandle.
bool TakeRunLock(RunLock& lock);
// The run is over. Where runLockKeptByLeftovers, processes this run left
// running hold copies of the lock's handle, and the lock goes with the last
// of them; otherwise it goes now.
void ReleaseRunLock(RunLock& lock);

}  // namespace zw
