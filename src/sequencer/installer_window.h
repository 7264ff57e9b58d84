// The InstallerWindow's procedure: the timer-driven install sequence.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace zw {

constexpr uintptr_t TIMER_NEXT_ITEM = 200;
constexpr uintptr_t TIMER_WAIT_ITEM = 201;

intptr_t InstallerWindowProc(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);

}  // namespace zw
