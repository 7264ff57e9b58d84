#pragma once

namespace zw {

// Dispatches every message pending for the thread (PeekMessageA with PM_REMOVE,
// TranslateMessage, DispatchMessageA). Long operations call it before each
// step so the windows stay responsive.
//
// A WM_QUIT taken here would otherwise be lost and the message loop would never
// end, so it is held back and posted again, with its exit code, once the
// queue is empty.
void PumpPendingMessages();

}  // namespace zw
