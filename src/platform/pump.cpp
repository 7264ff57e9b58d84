#include "platform/pump.h"

#include "platform/platform.h"
#include "platform/win_values.h"

namespace zw {

void PumpPendingMessages()
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
}

}  // namespace zw
