#include "platform/pump.h"

#include "platform/platform.h"
#include "platform/win_values.h"

namespace zw {

bool PumpPendingMessages()
{
    Platform& sys = Sys();
    bool quitTaken = false;
    int quitCode = 0;
    Msg msg;
    while (sys.PeekMessageA(msg)) {
        if (msg.message == win::WM_QUIT) {
            quitTaken = true;
            quitCode = static_cast<int>(msg.wParam);
            continue;
        }
        sys.TranslateMessage(msg);
        sys.DispatchMessageA(msg);
    }
    if (quitTaken) sys.PostQuitMessage(quitCode);
    return quitTaken;
}

WaitOutcome WaitPumpingMessages(Handle object, uint32_t timeoutMs)
{
    Platform& sys = Sys();
    const uint32_t start = sys.GetTickCount();
    for (;;) {
        uint32_t left = win::INFINITE;
        if (timeoutMs != win::INFINITE) {
            const uint32_t spent = sys.GetTickCount() - start;  // wraps like the tick count
            left = spent >= timeoutMs ? 0 : timeoutMs - spent;
        }
        const uint32_t result = sys.MsgWaitForMultipleObjects(1, &object, false, left, win::QS_ALLINPUT_LEGACY);
        if (result == win::WAIT_OBJECT_0 || result == win::WAIT_ABANDONED_0) return WaitOutcome::Signalled;
        if (result == win::WAIT_OBJECT_0 + 1) {
            if (PumpPendingMessages()) return WaitOutcome::Quit;
            if (left == 0) return WaitOutcome::TimedOut;
            continue;
        }
        return result == win::WAIT_TIMEOUT ? WaitOutcome::TimedOut : WaitOutcome::Failed;
    }
}

}  // namespace zw
