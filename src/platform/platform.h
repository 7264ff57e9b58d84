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

// Values of the Win32 headers the core relies on, under their Win32 names.
// constants_check_win32.cpp checks each one against <windows.h>. Where
// <windows.h> came first, its macros are set aside while these are declared.
#pragma push_macro("WM_CREATE")
#undef WM_CREATE
#pragma push_macro("WM_DESTROY")
#undef WM_DESTROY
#pragma push_macro("WM_CLOSE")
#undef WM_CLOSE
#pragma push_macro("WM_QUIT")
#undef WM_QUIT
#pragma push_macro("WM_INITDIALOG")
#undef WM_INITDIALOG
#pragma push_macro("WM_COMMAND")
#undef WM_COMMAND
#pragma push_macro("WM_TIMER")
#undef WM_TIMER
#pragma push_macro("WM_KEYDOWN")
#undef WM_KEYDOWN
#pragma push_macro("WM_USER")
#undef WM_USER
#pragma push_macro("IDOK")
#undef IDOK
#pragma push_macro("IDCANCEL")
#undef IDCANCEL
#pragma push_macro("IDYES")
#undef IDYES
#pragma push_macro("IDNO")
#undef IDNO
#pragma push_macro("MB_OK")
#undef MB_OK
#pragma push_macro("MB_YESNO")
#undef MB_YESNO
#pragma push_macro("MB_ICONQUESTION")
#undef MB_ICONQUESTION
#pragma push_macro("MB_TOPMOST")
#undef MB_TOPMOST
#pragma push_macro("SW_HIDE")
#undef SW_HIDE
#pragma push_macro("SW_SHOW")
#undef SW_SHOW
#pragma push_macro("HFILE_ERROR")
#undef HFILE_ERROR
#pragma push_macro("STILL_ACTIVE")
#undef STILL_ACTIVE
#pragma push_macro("PROCESS_ALL_ACCESS_LEGACY")
#undef PROCESS_ALL_ACCESS_LEGACY
#pragma push_macro("TH32CS_SNAPPROCESS")
#undef TH32CS_SNAPPROCESS
#pragma push_macro("PROCESSENTRY32_SIZE_X86")
#undef PROCESSENTRY32_SIZE_X86
#pragma push_macro("DIGCF_ALLCLASSES")
#undef DIGCF_ALLCLASSES
#pragma push_macro("SPDRP_HARDWAREID")
#undef SPDRP_HARDWAREID
#pragma push_macro("SP_DEVINFO_DATA_SIZE_X86")
#undef SP_DEVINFO_DATA_SIZE_X86
#pragma push_macro("CR_SUCCESS")
#undef CR_SUCCESS
#pragma push_macro("CR_NO_SUCH_DEVNODE")
#undef CR_NO_SUCH_DEVNODE
#pragma push_macro("ERROR_SUCCESS")
#undef ERROR_SUCCESS
#pragma push_macro("ERROR_INVALID_DATA")
#undef ERROR_INVALID_DATA
#pragma push_macro("ERROR_INSUFFICIENT_BUFFER")
#undef ERROR_INSUFFICIENT_BUFFER
#pragma push_macro("ERROR_NO_MORE_ITEMS")
#undef ERROR_NO_MORE_ITEMS
#pragma push_macro("ERROR_NOT_ALL_ASSIGNED")
#undef ERROR_NOT_ALL_ASSIGNED
#pragma push_macro("ERROR_PRIVILEGE_NOT_HELD")
#undef ERROR_PRIVILEGE_NOT_HELD
#pragma push_macro("TOKEN_ADJUST_PRIVILEGES")
#undef TOKEN_ADJUST_PRIVILEGES
#pragma push_macro("TOKEN_QUERY")
#undef TOKEN_QUERY
#pragma push_macro("SE_PRIVILEGE_ENABLED")
#undef SE_PRIVILEGE_ENABLED
#pragma push_macro("EWX_REBOOT")
#undef EWX_REBOOT
#pragma push_macro("EWX_FORCE")
#undef EWX_FORCE
#pragma push_macro("FORMAT_MESSAGE_ALLOCATE_BUFFER")
#undef FORMAT_MESSAGE_ALLOCATE_BUFFER
#pragma push_macro("FORMAT_MESSAGE_FROM_SYSTEM")
#undef FORMAT_MESSAGE_FROM_SYSTEM
#pragma push_macro("LANG_NEUTRAL_SUBLANG_DEFAULT")
#undef LANG_NEUTRAL_SUBLANG_DEFAULT
#pragma push_macro("LANG_KOREAN")
#undef LANG_KOREAN
#pragma push_macro("MAX_PATH")
#undef MAX_PATH
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

#define ZW_WIN_CONSTANTS(X)                                                                                          \
    X(WM_CREATE)                                                                                                     \
    X(WM_DESTROY) X(WM_CLOSE) X(WM_QUIT) X(WM_INITDIALOG) X(WM_COMMAND) X(WM_TIMER) X(WM_KEYDOWN) X(WM_USER) X(IDOK) \
        X(IDCANCEL) X(IDYES) X(IDNO) X(MB_OK) X(MB_YESNO) X(MB_ICONQUESTION) X(MB_TOPMOST) X(SW_HIDE) X(SW_SHOW)     \
            X(HFILE_ERROR) X(STILL_ACTIVE) X(PROCESS_ALL_ACCESS_LEGACY) X(TH32CS_SNAPPROCESS)                        \
                X(PROCESSENTRY32_SIZE_X86) X(DIGCF_ALLCLASSES) X(SPDRP_HARDWAREID) X(SP_DEVINFO_DATA_SIZE_X86)       \
                    X(CR_SUCCESS) X(CR_NO_SUCH_DEVNODE) X(ERROR_SUCCESS) X(ERROR_INVALID_DATA)                       \
                        X(ERROR_INSUFFICIENT_BUFFER) X(ERROR_NO_MORE_ITEMS) X(ERROR_NOT_ALL_ASSIGNED)                \
                            X(ERROR_PRIVILEGE_NOT_HELD) X(TOKEN_ADJUST_PRIVILEGES) X(TOKEN_QUERY)                    \
                                X(SE_PRIVILEGE_ENABLED) X(EWX_REBOOT) X(EWX_FORCE) X(FORMAT_MESSAGE_ALLOCATE_BUFFER) \
                                    X(FORMAT_MESSAGE_FROM_SYSTEM) X(LANG_NEUTRAL_SUBLANG_DEFAULT) X(LANG_KOREAN)     \
                                        X(MAX_PATH)

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
    // The adapter keeps the system's own SP_DEVINFO_DATA here (28 bytes on x86,
    // 32 on x64), so a record taken from the enumeration can be handed back.
    alignas(8) uint8_t systemRecord[32] = {};
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
    virtual uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* fallback, char* buffer,
                                              uint32_t size, const char* file) = 0;
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
    virtual uint32_t CM_Get_DevNode_Status(uint32_t* status, uint32_t* problem, uint32_t devInst, uint32_t flags) = 0;
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

#pragma pop_macro("WM_CREATE")
#pragma pop_macro("WM_DESTROY")
#pragma pop_macro("WM_CLOSE")
#pragma pop_macro("WM_QUIT")
#pragma pop_macro("WM_INITDIALOG")
#pragma pop_macro("WM_COMMAND")
#pragma pop_macro("WM_TIMER")
#pragma pop_macro("WM_KEYDOWN")
#pragma pop_macro("WM_USER")
#pragma pop_macro("IDOK")
#pragma pop_macro("IDCANCEL")
#pragma pop_macro("IDYES")
#pragma pop_macro("IDNO")
#pragma pop_macro("MB_OK")
#pragma pop_macro("MB_YESNO")
#pragma pop_macro("MB_ICONQUESTION")
#pragma pop_macro("MB_TOPMOST")
#pragma pop_macro("SW_HIDE")
#pragma pop_macro("SW_SHOW")
#pragma pop_macro("HFILE_ERROR")
#pragma pop_macro("STILL_ACTIVE")
#pragma pop_macro("PROCESS_ALL_ACCESS_LEGACY")
#pragma pop_macro("TH32CS_SNAPPROCESS")
#pragma pop_macro("PROCESSENTRY32_SIZE_X86")
#pragma pop_macro("DIGCF_ALLCLASSES")
#pragma pop_macro("SPDRP_HARDWAREID")
#pragma pop_macro("SP_DEVINFO_DATA_SIZE_X86")
#pragma pop_macro("CR_SUCCESS")
#pragma pop_macro("CR_NO_SUCH_DEVNODE")
#pragma pop_macro("ERROR_SUCCESS")
#pragma pop_macro("ERROR_INVALID_DATA")
#pragma pop_macro("ERROR_INSUFFICIENT_BUFFER")
#pragma pop_macro("ERROR_NO_MORE_ITEMS")
#pragma pop_macro("ERROR_NOT_ALL_ASSIGNED")
#pragma pop_macro("ERROR_PRIVILEGE_NOT_HELD")
#pragma pop_macro("TOKEN_ADJUST_PRIVILEGES")
#pragma pop_macro("TOKEN_QUERY")
#pragma pop_macro("SE_PRIVILEGE_ENABLED")
#pragma pop_macro("EWX_REBOOT")
#pragma pop_macro("EWX_FORCE")
#pragma pop_macro("FORMAT_MESSAGE_ALLOCATE_BUFFER")
#pragma pop_macro("FORMAT_MESSAGE_FROM_SYSTEM")
#pragma pop_macro("LANG_NEUTRAL_SUBLANG_DEFAULT")
#pragma pop_macro("LANG_KOREAN")
#pragma pop_macro("MAX_PATH")
