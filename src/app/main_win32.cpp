// Start-up and main window: the Win32 entry point of the launcher.
#include <windows.h>
#include <objbase.h>

#include "platform/adapter.h"
#include "resource.h"
#include "runlog/run_log.h"
#include "sequencer/installer_window.h"
#include "startup/command_line.h"
#include "startup/launch.h"
#include "startup/run_lock.h"
#include "state/run_outcome.h"
#include "state/run_state.h"

namespace {

constexpr int kTextBufferSize = 100;

char windowTitle[kTextBufferSize];
char windowClassName[kTextBufferSize];

LRESULT CALLBACK InstallerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return zw::InstallerWindowProc(hwnd, msg, wParam, lParam);
}

void RegisterInstallerWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = InstallerWndProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_CLASS));
    wc.hIconSm = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_CLASS));
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDC_INSTALLER);
    wc.lpszClassName = windowClassName;
    ::RegisterClassExA(&wc);  // a failure shows as a failed creation
}

bool CreateInstallerWindow(HINSTANCE instance, int /*showState*/)
{
    zw::instanceHandle = instance;
    // WM_CREATE arrives inside this call: the setup list is read before it returns.
    HWND hwnd = ::CreateWindowExA(0, windowClassName, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT,
                                  0, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) return false;
    ::ShowWindow(hwnd, SW_HIDE);  // never shown, whatever the caller asked for
    ::UpdateWindow(hwnd);
    return true;
}

int RunLauncher(HINSTANCE instance, std::string_view tail)
{
    zw::SetPlatform(&zw::Win32Platform());
    if (!zw::BeginRun(tail)) return zw::EndRun(static_cast<int>(zw::RunExitCode()));
    // The shell may hand a start to extensions that need a single-threaded
    // apartment; the launcher's one thread is it.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    int exitCode = 0;
    if (zw::HandOffToSibling(tail, exitCode)) return zw::EndRun(exitCode);

    // Taken by the process that carries out the list, so the 32-bit launcher
    // and the sibling it hands off to count as one run, and a second pair
    // learns 1618 from its own sibling.
    zw::RunLock lock;
    if (!zw::TakeRunLock(lock)) {
        zw::ReportFailure(ERROR_INSTALL_ALREADY_RUNNING, "another run of the launcher is in progress");
        return zw::EndRun(static_cast<int>(zw::RunExitCode()));
    }

    ::LoadStringA(instance, IDS_APP_TITLE, windowTitle, kTextBufferSize);
    ::LoadStringA(instance, IDC_INSTALLER, windowClassName, kTextBufferSize);
    RegisterInstallerWindowClass(instance);
    if (!CreateInstallerWindow(instance, SW_SHOWDEFAULT)) {
        const DWORD error = ::GetLastError();
        zw::ReportFailure(error != 0 ? error : ERROR_INVALID_WINDOW_HANDLE,
                          "the InstallerWindow cannot be created: " + zw::SystemErrorText(error));
        const int code = zw::EndRun(static_cast<int>(zw::RunExitCode()));
        zw::ReleaseRunLock(lock);
        return code;
    }

    HACCEL accelerators = ::LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_INSTALLER));
    MSG msg{};
    // GetMessageA returns -1 only on a bad filter window; stop rather than spin.
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (::TranslateAcceleratorA(msg.hwnd, accelerators, &msg) == 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    const int code = zw::EndRun(static_cast<int>(msg.wParam));
    zw::ReleaseRunLock(lock);
    return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // The tail is cut from the full command line by our own rules rather than
    // the C runtime's, so the switches are read exactly as the host tests check.
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    return RunLauncher(instance, zw::CommandLineTail(::GetCommandLineA()));
}
