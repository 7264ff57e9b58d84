#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace zw {

// Dispatches every message pending for the thread (PeekMessageA with PM_REMOVE,
// TranslateMessage, DispatchMessageA). Long operations call it before each
// step so the windows stay responsive.
//
// A WM_QUIT taken here would otherwise be lost and the message loop would never
// end, so it is held back and posted again, with its exit code, once the
// queue is empty. Returns true when it did so.
bool PumpPendingMessages();

// Waits for an object (a process, a mutex) to be signalled, dispatching the
// thread's messages while it waits, for at most timeoutMs (INFINITE: no
// limit). A mutex that comes free is taken by the wait, as by any wait. A
// quit request seen while pumping ends the wait (Quit): the run is ending,
// and the request, posted again, would wake the wait at once forever.
enum class WaitOutcome { Signalled, TimedOut, Quit, Failed };
WaitOutcome WaitPumpingMessages(Handle object, uint32_t timeoutMs);

}  // namespace zw
