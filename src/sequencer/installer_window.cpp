#include "sequencer/installer_window.h"

#include "sequencer/run_state.h"

namespace zw {

intptr_t InstallerWindowProc(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    Platform& sys = Sys();
    switch (msg) {
    case win::WM_CREATE:
        installerWindow = hwnd;
        return 0;
    case win::WM_COMMAND:
        if ((wParam & 0xFFFF) == kCommandExit) {
            sys.DestroyWindow(hwnd);
            return 0;
        }
        return sys.DefWindowProcA(hwnd, msg, wParam, lParam);
    case win::WM_DESTROY:
        sys.PostQuitMessage(0);
        return 0;
    default:
        return sys.DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace zw
