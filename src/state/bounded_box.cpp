#include "state/bounded_box.h"

#include "platform/platform.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "state/run_state.h"

namespace zw {

namespace {

// The box that is up under a limit: its caption and the answer it gets then.
const char* boxCaption = nullptr;
int boxAnswer = 0;
bool boxClosedAtLimit = false;

// The class of dialog boxes, message boxes among them.
constexpr char kDialogClass[] = "#32770";

}  // namespace

int BoundedMessageBox(const char* text, const char* caption, uint32_t type, int atLimit)
{
    Platform& sys = Sys();
    const bool bounded = timeLimitMs != 0 && installerWindow != nullptr;
    if (bounded) {
        const uint32_t left = RunTimeLeftMs();
        if (left == 0) {
            Log("box \"", caption, "\": not shown, the time limit is reached");
            return atLimit;
        }
        boxCaption = caption;
        boxAnswer = atLimit;
        boxClosedAtLimit = false;
        sys.SetTimer(installerWindow, TIMER_BOX_LIMIT, left);
    }
    int answer = sys.MessageBoxA(nullptr, text, caption, type);
    if (bounded) {
        sys.KillTimer(installerWindow, TIMER_BOX_LIMIT);
        boxCaption = nullptr;
        if (boxClosedAtLimit) {
            Log("box \"", caption, "\": closed at the time limit");
            answer = atLimit;
        }
    }
    return answer;
}

void CloseBoxAtTimeLimit()
{
    Platform& sys = Sys();
    sys.KillTimer(installerWindow, TIMER_BOX_LIMIT);
    if (boxCaption == nullptr) return;
    const uint32_t thread = sys.GetCurrentThreadId();
    for (Hwnd box = sys.FindWindowExA(nullptr, nullptr, kDialogClass, boxCaption); box != nullptr;
         box = sys.FindWindowExA(nullptr, box, kDialogClass, boxCaption)) {
        // Another program's window may carry the same caption.
        uint32_t processId = 0;
        if (sys.GetWindowThreadProcessId(box, processId) != thread) continue;
        // As if the button were pressed: the box ends its own loop.
        boxClosedAtLimit = sys.PostMessageA(box, win::WM_COMMAND, static_cast<uintptr_t>(boxAnswer), 0);
        return;
    }
}

}  // namespace zw
