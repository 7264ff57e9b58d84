// Message boxes that the run's time limit closes. Where a session looks
// attended but nobody answers (a locked console, an agent's "allow users to
// interact"), a box would otherwise hold the run for ever.
#pragma once

#include <cstdint>

namespace zw {

// The InstallerWindow's timer that closes the box that is up.
constexpr uintptr_t TIMER_BOX_LIMIT = 202;

// MessageBoxA without an owner. With /timeout: and the InstallerWindow up, a
// timer of that window fires inside the box's own modal loop when the time
// left runs out, and the box is answered atLimit (IDNO for a question, IDOK
// for a notice), which is what this returns then. A box that would come up
// after the limit is not shown.
int BoundedMessageBox(const char* text, const char* caption, uint32_t type, int atLimit);

// TIMER_BOX_LIMIT: answers the box that is up, found as a dialog of this
// thread with its caption.
void CloseBoxAtTimeLimit();

}  // namespace zw
