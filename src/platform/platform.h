// The one seam between the launcher's core and Windows.
//
// The core never includes <windows.h>; everything it asks of the system goes
// through Platform, whose methods are named after the Win32 calls they wrap and
// keep their argument order. The Win32 adapter (win32_platform.cpp) is one call
// per method; the host tests substitute a simulated Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zw {

using Hwnd = void*;
using Handle = void*;
using Hinstance = void*;

// Same shape as a Win32 window/dialog procedure, minus the calling convention,
// which the adapter supplies through trampolines.
using WindowProc = intptr_t (*)(Hwnd, uint32_t, uintptr_t, intptr_t);
using DialogProc = intptr_t (*)(Hwnd, uint32_t, uintptr_t, intptr_t);

inline Handle const kInvalidHandle = reinterpret_cast<Handle>(static_cast<intptr_t>(-1));

// Values of the Win32 headers the core relies on. The adapter checks each one
// against <windows.h> at compile time.
namespace win {
constexpr uint32_t WM_CREATE = 0x0001;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_INITDIALOG = 0x0110;
constexpr uint32_t WM_COMMAND = 0x0111;
constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_USER = 0x0400;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_YESNO = 0x4;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_TOPMOST = 0x40000;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

constexpr int HFILE_ERROR = -1;

constexpr uint32_t STILL_ACTIVE = 259;
// PROCESS_ALL_ACCESS as the pre-Vista headers define it.
constexpr uint32_t PROCESS_ALL_ACCESS_LEGACY = 0x1F0FFF;
constexpr uint32_t TH32CS_SNAPPROCESS = 0x2;
constexpr uint32_t PROCESSENTRY32_SIZE_X86 = 296;

constexpr uint32_t DIGCF_ALLCLASSES = 0x4;
constexpr uint32_t SPDRP_HARDWAREID = 1;
constexpr uint32_t SP_DEVINFO_DATA_SIZE_X86 = 28;
constexpr uint32_t CR_SUCCESS = 0x0;
constexpr uint32_t CR_NO_SUCH_DEVNODE = 0xD;

constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_INVALID_DATA = 13;
constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
constexpr uint32_t ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr uint32_t ERROR_PRIVILEGE_NOT_HELD = 1314;

constexpr uint32_t TOKEN_ADJUST_PRIVILEGES = 0x20;
constexpr uint32_t TOKEN_QUERY = 0x8;
constexpr uint32_t SE_PRIVILEGE_ENABLED = 0x2;

constexpr uint32_t EWX_REBOOT = 0x2;
constexpr uint32_t EWX_FORCE = 0x4;

constexpr uint32_t FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
constexpr uint32_t FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr uint32_t LANG_NEUTRAL_SUBLANG_DEFAULT = 0x0400;

constexpr uint32_t LANG_KOREAN = 0x12;

constexpr size_t MAX_PATH = 260;
}  // namespace win

struct Msg {
    Hwnd hwnd = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// The fields of PROCESSENTRY32 (ANSI) that the watcher uses.
struct ProcessEntry {
    uint32_t dwSize = 0;
    uint32_t th32ProcessID = 0;
    char szExeFile[win::MAX_PATH] = {};
};

// The fields of SP_DEVINFO_DATA that the driver update uses.
struct DeviceInfoData {
    uint32_t cbSize = 0;
    uint32_t devInst = 0;
    uintptr_t reserved = 0;  // the adapter keeps the system's record here
};

struct Luid {
    uint32_t lowPart = 0;
    int32_t highPart = 0;
};

// TOKEN_PRIVILEGES with room for exactly one entry.
struct TokenPrivileges {
    uint32_t privilegeCount = 0;
    Luid luid;
    uint32_t attributes = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Messages, windows and timers.
    virtual uintptr_t SetTimer(Hwnd hwnd, uintptr_t id, uint32_t elapseMs) = 0;
    virtual bool KillTimer(Hwnd hwnd, uintptr_t id) = 0;
    virtual bool PeekMessageA(Msg& msg) = 0;  // no filter, whole range, PM_REMOVE
    virtual bool TranslateMessage(const Msg& msg) = 0;
    virtual intptr_t DispatchMessageA(const Msg& msg) = 0;
    virtual void PostQuitMessage(int exitCode) = 0;
    virtual bool DestroyWindow(Hwnd hwnd) = 0;
    virtual intptr_t DefWindowProcA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
    virtual int MessageBoxA(Hwnd owner, const char* text, const char* caption, uint32_t type) = 0;
    virtual intptr_t DialogBoxParamA(Hinstance instance, int templateId, Hwnd owner, DialogProc proc,
                                     intptr_t initParam) = 0;
    virtual bool EndDialog(Hwnd dialog, intptr_t result) = 0;
    virtual void Sleep(uint32_t ms) = 0;

    // Text.
    virtual void CharUpperA(char* text) = 0;  // in place, the locale's ANSI rules

    // Shell, files, profile, locale.
    virtual void ShellExecuteA(Hwnd owner, const char* verb, const char* file, const char* parameters,
                               const char* directory, int show) = 0;
    // Existence test of a file (not a directory). Stands in for OpenFile with
    // OF_EXIST, whose 128-byte OFSTRUCT would call every longer path missing.
    virtual bool FileExists(const char* path) = 0;
    virtual bool CopyFileA(const char* from, const char* to, bool failIfExists) = 0;
    virtual uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) = 0;
    virtual uint32_t GetModuleFileNameA(char* buffer, uint32_t size) = 0;  // the executable itself
    virtual bool SetCurrentDirectoryA(const char* path) = 0;
    virtual uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* fallback,
                                              char* buffer, uint32_t size, const char* file) = 0;
    virtual uint32_t GetSystemDefaultLCID() = 0;

    // Processes (Toolhelp).
    virtual Handle CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) = 0;
    virtual bool Process32First(Handle snapshot, ProcessEntry& entry) = 0;
    virtual bool Process32Next(Handle snapshot, ProcessEntry& entry) = 0;
    virtual Handle OpenProcess(uint32_t access, bool inherit, uint32_t processId) = 0;
    virtual bool GetExitCodeProcess(Handle process, uint32_t& exitCode) = 0;
    virtual bool TerminateProcess(Handle process, uint32_t exitCode) = 0;
    virtual bool CloseHandle(Handle handle) = 0;

    // Devices (SetupAPI, CfgMgr32, newdev).
    virtual Handle SetupDiGetClassDevsA(uint32_t flags) = 0;  // no class GUID, enumerator or parent
    virtual bool SetupDiEnumDeviceInfo(Handle set, uint32_t index, DeviceInfoData& device) = 0;
    virtual bool SetupDiGetDeviceRegistryPropertyA(Handle set, DeviceInfoData& device, uint32_t property,
                                                   uint32_t* dataType, uint8_t* buffer, uint32_t size,
                                                   uint32_t* requiredSize) = 0;
    virtual bool SetupDiDestroyDeviceInfoList(Handle set) = 0;
    virtual uint32_t CM_Get_DevNode_Status(uint32_t* status, uint32_t* problem, uint32_t devInst,
                                           uint32_t flags) = 0;
    virtual bool UpdateDriverForPlugAndPlayDevicesA(Hwnd owner, const char* hardwareId, const char* infPath,
                                                    uint32_t installFlags, int32_t* rebootRequired) = 0;

    // Token, privilege and restart.
    virtual bool OpenProcessToken(uint32_t access, Handle& token) = 0;  // of the current process
    virtual bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid& luid) = 0;
    virtual bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivileges& state) = 0;
    virtual bool ExitWindowsEx(uint32_t flags, uint32_t reason) = 0;

    // Errors.
    virtual uint32_t GetLastError() = 0;
    virtual void SetLastError(uint32_t code) = 0;
    // FormatMessageA with FORMAT_MESSAGE_ALLOCATE_BUFFER: *buffer receives the
    // system's allocation (release it with LocalFree); returns its length.
    virtual uint32_t FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId, char** buffer) = 0;
    virtual void LocalFree(void* memory) = 0;
};

// The platform the core talks to: the Win32 adapter in the program, a
// simulation in the host tests.
Platform& Sys();
void SetPlatform(Platform* platform);

}  // namespace zw
