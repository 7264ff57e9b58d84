// The Win32 adapter: one system call per seam method, no decisions of its own.
#include <windows.h>
// Order matters: these need <windows.h> first.
#include <cfgmgr32.h>
#include <commctrl.h>
#include <newdev.h>
#include <setupapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>

#include "platform/adapter.h"

namespace zw {

static_assert(sizeof(SP_DEVINFO_DATA) <= sizeof(DeviceInfoData::systemRecord));
static_assert(kPathCapacity == MAX_PATH && kPathCapacity == sizeof(PROCESSENTRY32::szExeFile));
static_assert(sizeof(BOOL) == sizeof(int32_t) && sizeof(DWORD) == sizeof(uint32_t) && sizeof(ULONG) == 4);

namespace {

HWND H(Hwnd h) { return static_cast<HWND>(h); }

// The last message taken, so Translate/Dispatch get the system's full record
// (time and cursor position included) rather than a rebuilt one.
MSG lastMessage{};

MSG ToMsg(const Msg& m)
{
    if (lastMessage.hwnd == H(m.hwnd) && lastMessage.message == m.message && lastMessage.wParam == m.wParam &&
        lastMessage.lParam == m.lParam)
        return lastMessage;
    MSG out{};
    out.hwnd = H(m.hwnd);
    out.message = m.message;
    out.wParam = m.wParam;
    out.lParam = m.lParam;
    return out;
}

// Dialog procedures are the core's plain functions; the system needs its own
// calling convention, so the one modal dialog runs through this trampoline.
DialogProc activeDialogProc = nullptr;

INT_PTR CALLBACK DialogTrampoline(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return activeDialogProc != nullptr ? activeDialogProc(hwnd, msg, wParam, lParam) : FALSE;
}

void FillEntry(const PROCESSENTRY32& pe, ProcessEntry& entry)
{
    entry.th32ProcessID = pe.th32ProcessID;
    std::memcpy(entry.szExeFile, pe.szExeFile, sizeof entry.szExeFile);
    entry.szExeFile[sizeof entry.szExeFile - 1] = '\0';
}

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);

// Looked up among the modules already loaded, never loaded: older 32-bit
// Windows lacks these functions and then simply counts as native. Settled by
// static initialisation, before WinMain runs.
template <class Fn>
Fn LookUpKernel32(const char* name)
{
    HMODULE kernel = ::GetModuleHandleA("kernel32");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
}

const IsWow64ProcessFn isWow64ProcessEntry = LookUpKernel32<IsWow64ProcessFn>("IsWow64Process");
const Wow64DisableFn wow64DisableEntry = LookUpKernel32<Wow64DisableFn>("Wow64DisableWow64FsRedirection");
const Wow64RevertFn wow64RevertEntry = LookUpKernel32<Wow64RevertFn>("Wow64RevertWow64FsRedirection");

SP_DEVINFO_DATA* Record(DeviceInfoData& device) { return reinterpret_cast<SP_DEVINFO_DATA*>(device.systemRecord); }

class Win32 final : public Platform {
public:
    uintptr_t SetTimer(Hwnd hwnd, uintptr_t id, uint32_t elapseMs) override
    {
        return ::SetTimer(H(hwnd), id, elapseMs, nullptr);
    }
    bool KillTimer(Hwnd hwnd, uintptr_t id) override { return ::KillTimer(H(hwnd), id) != FALSE; }
    bool PeekMessageA(Msg& msg) override
    {
        MSG m;
        if (!::PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) return false;
        lastMessage = m;
        msg = {m.hwnd, m.message, m.wParam, m.lParam};
        return true;
    }
    bool TranslateMessage(const Msg& msg) override
    {
        MSG m = ToMsg(msg);
        return ::TranslateMessage(&m) != FALSE;
    }
    intptr_t DispatchMessageA(const Msg& msg) override
    {
        MSG m = ToMsg(msg);
        return ::DispatchMessageA(&m);
    }
    void PostQuitMessage(int exitCode) override { ::PostQuitMessage(exitCode); }
    bool DestroyWindow(Hwnd hwnd) override { return ::DestroyWindow(H(hwnd)) != FALSE; }
    intptr_t DefWindowProcA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) override
    {
        return ::DefWindowProcA(H(hwnd), msg, wParam, lParam);
    }
    int MessageBoxA(Hwnd owner, const char* text, const char* caption, uint32_t type) override
    {
        return ::MessageBoxA(H(owner), text, caption, type);
    }
    intptr_t DialogBoxParamA(Hinstance instance, int templateId, Hwnd owner, DialogProc proc,
                             intptr_t initParam) override
    {
        DialogProc outer = activeDialogProc;
        activeDialogProc = proc;
        INT_PTR result = ::DialogBoxParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(templateId), H(owner),
                                           DialogTrampoline, initParam);
        activeDialogProc = outer;
        return result;
    }
    bool EndDialog(Hwnd dialog, intptr_t result) override { return ::EndDialog(H(dialog), result) != FALSE; }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
    void CharUpperA(char* text) override { ::CharUpperA(text); }

    bool FileExists(const char* path) override
    {
        DWORD attributes = ::GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    bool CopyFileA(const char* from, const char* to, bool failIfExists) override
    {
        return ::CopyFileA(from, to, failIfExists ? TRUE : FALSE) != FALSE;
    }
    uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override { return ::GetWindowsDirectoryA(buffer, size); }
    uint32_t GetModuleFileNameA(char* buffer, uint32_t size) override
    {
        return ::GetModuleFileNameA(nullptr, buffer, size);
    }
    bool SetCurrentDirectoryA(const char* path) override { return ::SetCurrentDirectoryA(path) != FALSE; }
    uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* fallback, char* buffer,
                                      uint32_t size, const char* file) override
    {
        return ::GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
    }
    uint32_t GetSystemDefaultLCID() override { return ::GetSystemDefaultLCID(); }
    bool ShellExecuteExA(ShellExecuteInfo& info) override
    {
        SHELLEXECUTEINFOA sei{};
        sei.cbSize = sizeof sei;
        sei.fMask = info.fMask;
        sei.hwnd = H(info.hwnd);
        sei.lpVerb = info.lpVerb;
        sei.lpFile = info.lpFile;
        sei.lpParameters = info.lpParameters;
        sei.lpDirectory = info.lpDirectory;
        sei.nShow = info.nShow;
        const BOOL ok = ::ShellExecuteExA(&sei);
        info.hInstApp = reinterpret_cast<intptr_t>(sei.hInstApp);
        info.hProcess = sei.hProcess;
        return ok != FALSE;
    }
    Handle CreateFileA(const char* path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags) override
    {
        return ::CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
    }
    bool WriteFile(Handle file, const void* data, uint32_t size, uint32_t& written) override
    {
        DWORD n = 0;
        const BOOL ok = ::WriteFile(file, data, size, &n, nullptr);
        written = n;
        return ok != FALSE;
    }

    bool Wow64DisableWow64FsRedirection(void*& oldValue) override
    {
        return wow64DisableEntry != nullptr && wow64DisableEntry(&oldValue) != FALSE;
    }
    bool Wow64RevertWow64FsRedirection(void* oldValue) override
    {
        return wow64RevertEntry != nullptr && wow64RevertEntry(oldValue) != FALSE;
    }

    bool IsWow64Process(bool& wow64) override
    {
        BOOL value = FALSE;  // a call that fails without writing it leaves the process native
        if (isWow64ProcessEntry == nullptr || !isWow64ProcessEntry(::GetCurrentProcess(), &value)) {
            wow64 = false;
            return false;
        }
        wow64 = value != FALSE;
        return true;
    }
    uint32_t GetCurrentProcessId() override { return ::GetCurrentProcessId(); }
    uint32_t GetProcessId(Handle process) override { return ::GetProcessId(process); }
    uint32_t GetTickCount() override { return ::GetTickCount(); }
    void GetLocalTime(SystemTime& time) override
    {
        SYSTEMTIME t{};
        ::GetLocalTime(&t);
        time = {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    }

    uint32_t WaitForSingleObject(Handle handle, uint32_t timeoutMs) override
    {
        return ::WaitForSingleObject(handle, timeoutMs);
    }
    uint32_t MsgWaitForMultipleObjects(uint32_t count, const Handle* handles, bool waitAll, uint32_t timeoutMs,
                                       uint32_t wakeMask) override
    {
        return ::MsgWaitForMultipleObjects(count, handles, waitAll ? TRUE : FALSE, timeoutMs, wakeMask);
    }
    Handle OpenMutexA(uint32_t access, bool inherit, const char* name) override
    {
        return ::OpenMutexA(access, inherit ? TRUE : FALSE, name);
    }
    bool ReleaseMutex(Handle mutex) override { return ::ReleaseMutex(mutex) != FALSE; }

    Handle OpenSCManagerA(const char* machine, const char* database, uint32_t access) override
    {
        return ::OpenSCManagerA(machine, database, access);
    }
    Handle OpenServiceA(Handle manager, const char* name, uint32_t access) override
    {
        return ::OpenServiceA(static_cast<SC_HANDLE>(manager), name, access);
    }
    bool QueryServiceStatusEx(Handle service, ServiceStatusProcess& status) override
    {
        SERVICE_STATUS_PROCESS ssp{};
        DWORD needed = 0;
        const BOOL ok = ::QueryServiceStatusEx(static_cast<SC_HANDLE>(service), SC_STATUS_PROCESS_INFO,
                                               reinterpret_cast<LPBYTE>(&ssp), sizeof ssp, &needed);
        status.dwCurrentState = ssp.dwCurrentState;
        status.dwProcessId = ssp.dwProcessId;
        return ok != FALSE;
    }
    bool CloseServiceHandle(Handle handle) override
    {
        return ::CloseServiceHandle(static_cast<SC_HANDLE>(handle)) != FALSE;
    }

    Handle CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) override
    {
        return ::CreateToolhelp32Snapshot(flags, processId);
    }
    bool Process32First(Handle snapshot, ProcessEntry& entry) override
    {
        PROCESSENTRY32 pe{};
        pe.dwSize = sizeof pe;  // the system's own size for this architecture
        if (!::Process32First(snapshot, &pe)) return false;
        FillEntry(pe, entry);
        return true;
    }
    bool Process32Next(Handle snapshot, ProcessEntry& entry) override
    {
        PROCESSENTRY32 pe{};
        pe.dwSize = sizeof pe;
        if (!::Process32Next(snapshot, &pe)) return false;
        FillEntry(pe, entry);
        return true;
    }
    Handle OpenProcess(uint32_t access, bool inherit, uint32_t processId) override
    {
        return ::OpenProcess(access, inherit ? TRUE : FALSE, processId);
    }
    bool GetExitCodeProcess(Handle process, uint32_t& exitCode) override
    {
        DWORD code = 0;
        if (!::GetExitCodeProcess(process, &code)) return false;
        exitCode = code;
        return true;
    }
    bool TerminateProcess(Handle process, uint32_t exitCode) override
    {
        return ::TerminateProcess(process, exitCode) != FALSE;
    }
    bool CloseHandle(Handle handle) override { return ::CloseHandle(handle) != FALSE; }

    Handle SetupDiGetClassDevsA(uint32_t flags) override
    {
        return ::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, flags);
    }
    bool SetupDiEnumDeviceInfo(Handle set, uint32_t index, DeviceInfoData& device) override
    {
        SP_DEVINFO_DATA* record = Record(device);
        std::memset(record, 0, sizeof *record);
        record->cbSize = sizeof *record;  // 28 on x86, 32 on x64
        if (!::SetupDiEnumDeviceInfo(set, index, record)) return false;
        device.devInst = record->DevInst;
        return true;
    }
    bool SetupDiGetDeviceRegistryPropertyA(Handle set, DeviceInfoData& device, uint32_t property, uint32_t* dataType,
                                           uint8_t* buffer, uint32_t size, uint32_t* requiredSize) override
    {
        DWORD type = 0, required = 0;
        BOOL ok = ::SetupDiGetDeviceRegistryPropertyA(set, Record(device), property, &type, buffer, size, &required);
        if (dataType) *dataType = type;
        if (requiredSize) *requiredSize = required;
        return ok != FALSE;
    }
    bool SetupDiDestroyDeviceInfoList(Handle set) override { return ::SetupDiDestroyDeviceInfoList(set) != FALSE; }
    uint32_t CM_Get_DevNode_Status(uint32_t* status, uint32_t* problem, uint32_t devInst, uint32_t flags) override
    {
        ULONG s = 0, p = 0;
        CONFIGRET result = ::CM_Get_DevNode_Status(&s, &p, devInst, flags);
        if (status) *status = s;
        if (problem) *problem = p;
        return result;
    }
    bool UpdateDriverForPlugAndPlayDevicesA(Hwnd owner, const char* hardwareId, const char* infPath,
                                            uint32_t installFlags, int32_t* rebootRequired) override
    {
        return ::UpdateDriverForPlugAndPlayDevicesA(H(owner), hardwareId, infPath, installFlags,
                                                    reinterpret_cast<PBOOL>(rebootRequired)) != FALSE;
    }

    bool OpenProcessToken(uint32_t access, Handle& token) override
    {
        HANDLE h = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), access, &h)) return false;
        token = h;
        return true;
    }
    bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid& luid) override
    {
        LUID l{};
        BOOL ok = ::LookupPrivilegeValueA(systemName, name, &l);
        luid.lowPart = l.LowPart;
        luid.highPart = l.HighPart;
        return ok != FALSE;
    }
    bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivileges& state) override
    {
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = state.privilegeCount;
        tp.Privileges[0].Luid.LowPart = state.luid.lowPart;
        tp.Privileges[0].Luid.HighPart = state.luid.highPart;
        tp.Privileges[0].Attributes = state.attributes;
        return ::AdjustTokenPrivileges(token, disableAll ? TRUE : FALSE, &tp, 0, nullptr, nullptr) != FALSE;
    }
    bool ExitWindowsEx(uint32_t flags, uint32_t reason) override { return ::ExitWindowsEx(flags, reason) != FALSE; }

    uint32_t GetLastError() override { return ::GetLastError(); }
    void SetLastError(uint32_t code) override { ::SetLastError(code); }
    uint32_t FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId, char** buffer) override
    {
        return ::FormatMessageA(flags, nullptr, messageId, languageId, reinterpret_cast<LPSTR>(buffer), 0, nullptr);
    }
    void LocalFree(void* memory) override { ::LocalFree(memory); }
};

}  // namespace

Platform& Win32Platform()
{
    static Win32 platform;
    return platform;
}

}  // namespace zw
