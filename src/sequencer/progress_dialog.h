// The ProgressDialog: the modal dialog under which supervised items and
// driver items run.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace zw {

constexpr uintptr_t TIMER_DRIVER = 300;
constexpr uintptr_t TIMER_DIALOG_WAIT = 301;
constexpr intptr_t kDialogDriverDone = 300;
constexpr intptr_t kDialogWaitDone = 301;

intptr_t ProgressDialogProc(Hwnd dialog, uint32_t msg, uintptr_t wParam, intptr_t lParam);

}  // namespace zw
