// Start-up and main window: the Win32 entry point of the launcher.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "startup/command_line.h"
#include "state/run_state.h"
#include "platform/adapter.h"
#include "resource.h"
#include "sequencer/installer_window.h"

namespace {

constexpr int kTextBufferSize = 100;

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

// Looked up among the modules already loaded, never loaded: older 32-bit
// Windows lacks the function and then simply counts as native.
IsWow64ProcessFn LookUpIsWow64Process()
{
    HMODULE kernel = ::GetModuleHandleA("kernel32");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
}

// Settled by static initialisation, before WinMain runs.
const IsWow64ProcessFn isWow64ProcessEntry = LookUpIsWow64Process();

char windowTitle[kTextBufferSize];
char windowClassName[kTextBufferSize];

bool IsRunningUnderWow64()
{
    if (isWow64ProcessEntry == nullptr) return false;
    BOOL wow64 = FALSE;
    isWow64ProcessEntry(::GetCurrentProcess(), &wow64);  // a failed call leaves FALSE: native
    return wow64 != FALSE;
}

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

// The sibling lies beside this executable. Naming it by its bare name would
// leave the shell to find it in the working directory of the start, and a
// launcher started from anywhere else would install nothing.
std::string SiblingPath()
{
    char path[MAX_PATH + 1] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string sibling = "zarnowel64.exe";
    if (n == 0 || n >= MAX_PATH) return sibling;
    std::string self(path, n);
    size_t slash = self.find_last_of('\\');
    if (slash == std::string::npos) return sibling;
    return self.substr(0, slash + 1) + sibling;
}

int RunLauncher(HINSTANCE instance, std::string_view tail)
{
    zw::SetPlatform(&zw::Win32Platform());
    if (zw::HasSilentSwitch(tail)) zw::silentMode = 1;

    if (IsRunningUnderWow64()) {
        // The 64-bit sibling does the whole job; the switch is not passed on.
        ::ShellExecuteA(nullptr, "open", SiblingPath().c_str(), "", nullptr, SW_SHOW);
        return 0;
    }

    ::InitCommonControls();
    ::LoadStringA(instance, IDS_APP_TITLE, windowTitle, kTextBufferSize);
    ::LoadStringA(instance, IDC_INSTALLER, windowClassName, kTextBufferSize);
    RegisterInstallerWindowClass(instance);
    if (!CreateInstallerWindow(instance, SW_SHOWDEFAULT)) return 0;

    HACCEL accelerators = ::LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_INSTALLER));
    MSG msg{};
    // GetMessageA returns -1 only on a bad filter window; stop rather than spin.
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (::TranslateAcceleratorA(msg.hwnd, accelerators, &msg) == 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // The tail is cut from the full command line by our own rules rather than
    // the C runtime's, so the "/s" test sees exactly what the host tests check.
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    return RunLauncher(instance, zw::CommandLineTail(::GetCommandLineA()));
}
