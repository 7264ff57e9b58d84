// The Win32 adapter: one system call per seam method, no decisions of its own.
#include <windows.h>
// Order matters: these need <windows.h> first.
#include <cfgmgr32.h>
#include <objbase.h>
#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>
#include <setupapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <cwchar>

#include "platform/adapter.h"

namespace zw {

static_assert(sizeof(SP_DEVINFO_DATA) <= sizeof(DeviceInfoData::systemRecord));
static_assert(kPathCapacity == MAX_PATH && kPathCapacity == sizeof(PROCESSENTRY32::szExeFile));
static_assert(sizeof(WCHAR) == sizeof(char16_t));
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
    entry.th32ParentProcessID = pe.th32ParentProcessID;
    std::memcpy(entry.szExeFile, pe.szExeFile, sizeof entry.szExeFile);
    entry.szExeFile[sizeof entry.szExeFile - 1] = '\0';
}

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
using GetMachineTypeAttributesFn = HRESULT(WINAPI*)(USHORT, int*);  // MACHINE_ATTRIBUTES*
using InitiateShutdownWFn = DWORD(WINAPI*)(LPWSTR, LPWSTR, DWORD, DWORD, DWORD);
using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);

// Looked up among the modules already loaded, never loaded: older 32-bit
// Windows lacks these functions and then simply counts as native. Settled by
// static initialisation, before WinMain runs.
template <class Fn>
Fn LookUp(const char* module, const char* name)
{
    HMODULE loaded = ::GetModuleHandleA(module);
    if (loaded == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(loaded, name)));
}

template <class Fn>
Fn LookUpKernel32(const char* name)
{
    return LookUp<Fn>("kernel32", name);
}

const IsWow64ProcessFn isWow64ProcessEntry = LookUpKernel32<IsWow64ProcessFn>("IsWow64Process");
const Wow64DisableFn wow64DisableEntry = LookUpKernel32<Wow64DisableFn>("Wow64DisableWow64FsRedirection");
const Wow64RevertFn wow64RevertEntry = LookUpKernel32<Wow64RevertFn>("Wow64RevertWow64FsRedirection");
const IsWow64Process2Fn isWow64Process2Entry = LookUpKernel32<IsWow64Process2Fn>("IsWow64Process2");
const GetMachineTypeAttributesFn getMachineTypeAttributesEntry =
    LookUpKernel32<GetMachineTypeAttributesFn>("GetMachineTypeAttributes");
// advapi32 is imported, so it is loaded; Windows before Vista lacks the call.
const InitiateShutdownWFn initiateShutdownWEntry = LookUp<InitiateShutdownWFn>("advapi32", "InitiateShutdownW");

// ntdll is mapped into every process before any other module.
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);
const NtCreateFileFn ntCreateFileEntry = LookUp<NtCreateFileFn>("ntdll", "NtCreateFile");
const RtlNtStatusToDosErrorFn statusToErrorEntry = LookUp<RtlNtStatusToDosErrorFn>("ntdll", "RtlNtStatusToDosError");

// Private object namespaces: Wine and systems before Vista lack some.
using CreateBoundaryDescriptorFn = HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSidFn = BOOL(WINAPI*)(HANDLE*, PSID);
using CreatePrivateNamespaceFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
using ClosePrivateNamespaceFn = BOOLEAN(WINAPI*)(HANDLE, ULONG);
using DeleteBoundaryDescriptorFn = VOID(WINAPI*)(HANDLE);
const CreateBoundaryDescriptorFn createBoundaryEntry =
    LookUpKernel32<CreateBoundaryDescriptorFn>("CreateBoundaryDescriptorW");
const AddSidFn addSidEntry = LookUpKernel32<AddSidFn>("AddSIDToBoundaryDescriptor");
const AddSidFn addIntegrityLabelEntry = LookUpKernel32<AddSidFn>("AddIntegrityLabelToBoundaryDescriptor");
const CreatePrivateNamespaceFn createNamespaceEntry =
    LookUpKernel32<CreatePrivateNamespaceFn>("CreatePrivateNamespaceW");
const ClosePrivateNamespaceFn closeNamespaceEntry = LookUpKernel32<ClosePrivateNamespaceFn>("ClosePrivateNamespace");
const DeleteBoundaryDescriptorFn deleteBoundaryEntry =
    LookUpKernel32<DeleteBoundaryDescriptorFn>("DeleteBoundaryDescriptor");

// A well-known SID added to a boundary by one of the two calls.
bool AddWellKnownSid(AddSidFn add, Handle& boundary, uint32_t wellKnownSid)
{
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!::CreateWellKnownSid(static_cast<WELL_KNOWN_SID_TYPE>(wellKnownSid), nullptr, sid, &size)) return false;
    HANDLE handle = boundary;
    const bool added = add(&handle, sid) != FALSE;
    boundary = handle;
    return added;
}

// Threads run the core's plain functions; the system needs its own calling
// convention, so each starts through this trampoline with its own record.
struct ThreadStart {
    ThreadProc proc;
    void* parameter;
};

DWORD WINAPI ThreadTrampoline(LPVOID record)
{
    const ThreadStart start = *static_cast<ThreadStart*>(record);
    ::HeapFree(::GetProcessHeap(), 0, record);
    return start.proc(start.parameter);
}

// The entries of DLLs that are not KnownDLLs, filled by GetProcAddress when
// the core has loaded them from System32; never imported, so a copy of such a
// DLL beside the launcher is never mapped.
using CmGetDevNodeStatusFn = CONFIGRET(WINAPI*)(PULONG, PULONG, DEVINST, ULONG);
using UpdateDriverFn = BOOL(WINAPI*)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);
CmGetDevNodeStatusFn cmGetDevNodeStatusEntry = nullptr;
UpdateDriverFn updateDriverEntry = nullptr;
using VersionInfoSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using VersionInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
using MsiProductStateFn = INT(WINAPI*)(LPCSTR);  // INSTALLSTATE
using MsiProductInfoFn = UINT(WINAPI*)(LPCSTR, LPCSTR, LPSTR, LPDWORD);
using MsiRelatedProductsFn = UINT(WINAPI*)(LPCSTR, DWORD, DWORD, LPSTR);
VersionInfoSizeFn versionInfoSizeEntry = nullptr;
VersionInfoFn versionInfoEntry = nullptr;
VerQueryValueFn verQueryValueEntry = nullptr;
MsiProductStateFn msiProductStateEntry = nullptr;
MsiProductInfoFn msiProductInfoEntry = nullptr;
MsiRelatedProductsFn msiRelatedProductsEntry = nullptr;

const struct {
    const char* name;
    FARPROC* entry;
} runTimeEntries[] = {
    {"CM_Get_DevNode_Status", reinterpret_cast<FARPROC*>(&cmGetDevNodeStatusEntry)},
    {"UpdateDriverForPlugAndPlayDevicesA", reinterpret_cast<FARPROC*>(&updateDriverEntry)},
    {"GetFileVersionInfoSizeA", reinterpret_cast<FARPROC*>(&versionInfoSizeEntry)},
    {"GetFileVersionInfoA", reinterpret_cast<FARPROC*>(&versionInfoEntry)},
    {"VerQueryValueA", reinterpret_cast<FARPROC*>(&verQueryValueEntry)},
    {"MsiQueryProductStateA", reinterpret_cast<FARPROC*>(&msiProductStateEntry)},
    {"MsiGetProductInfoA", reinterpret_cast<FARPROC*>(&msiProductInfoEntry)},
    {"MsiEnumRelatedProductsA", reinterpret_cast<FARPROC*>(&msiRelatedProductsEntry)},
};

SP_DEVINFO_DATA* Record(DeviceInfoData& device) { return reinterpret_cast<SP_DEVINFO_DATA*>(device.systemRecord); }
static_assert(sizeof(INFCONTEXT) <= sizeof(InfLine::systemRecord), "INFCONTEXT fits InfLine");
INFCONTEXT* Context(InfLine& line) { return reinterpret_cast<INFCONTEXT*>(line.systemRecord); }

template <class T>
T NotFound(T result)
{
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return result;
}

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
    bool PostMessageA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) override
    {
        return ::PostMessageA(H(hwnd), msg, wParam, lParam) != FALSE;
    }
    Hwnd FindWindowExA(Hwnd parent, Hwnd childAfter, const char* className, const char* windowName) override
    {
        return ::FindWindowExA(H(parent), H(childAfter), className, windowName);
    }
    uint32_t GetWindowThreadProcessId(Hwnd hwnd, uint32_t& processId) override
    {
        DWORD id = 0;
        const DWORD thread = ::GetWindowThreadProcessId(H(hwnd), &id);
        processId = id;
        return thread;
    }
    uint32_t GetCurrentThreadId() override { return ::GetCurrentThreadId(); }
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
    uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) override { return ::GetSystemDirectoryA(buffer, size); }
    uint32_t ExpandEnvironmentStringsA(const char* source, char* buffer, uint32_t size) override
    {
        return ::ExpandEnvironmentStringsA(source, buffer, size);
    }
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
    Handle CreateFileA(const char* path, uint32_t access, uint32_t share, void* securityDescriptor,
                       uint32_t disposition, uint32_t flags) override
    {
        SECURITY_ATTRIBUTES security{sizeof security, securityDescriptor, FALSE};
        return ::CreateFileA(path, access, share, securityDescriptor != nullptr ? &security : nullptr, disposition,
                             flags, nullptr);
    }
    Handle NtCreateFile(Handle folder, const char* name, uint32_t access, uint32_t share, void* securityDescriptor,
                        bool& created) override
    {
        created = false;
        WCHAR wide[MAX_PATH];
        const int length = ::MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH);
        if (length <= 1 || ntCreateFileEntry == nullptr || statusToErrorEntry == nullptr) {
            ::SetLastError(ERROR_INVALID_NAME);
            return INVALID_HANDLE_VALUE;
        }
        UNICODE_STRING text{static_cast<USHORT>((length - 1) * sizeof(WCHAR)),
                            static_cast<USHORT>(length * sizeof(WCHAR)), wide};
        OBJECT_ATTRIBUTES attributes{};
        InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, securityDescriptor);
        IO_STATUS_BLOCK status{};
        HANDLE file = nullptr;
        // FILE_OPEN_IF 3; FILE_NON_DIRECTORY_FILE 0x40, FILE_SYNCHRONOUS_IO_NONALERT 0x20,
        // FILE_OPEN_REPARSE_POINT 0x200000.
        const NTSTATUS result = ntCreateFileEntry(&file, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                                  FILE_ATTRIBUTE_NORMAL, share, 3, 0x40 | 0x20 | 0x200000, nullptr, 0);
        if (result < 0) {
            ::SetLastError(statusToErrorEntry(result));
            return INVALID_HANDLE_VALUE;
        }
        created = status.Information == 2;  // FILE_CREATED
        return file;
    }
    bool GetSecurityInfoSddl(Handle file, char*& sddl) override
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const DWORD error =
            ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor);
        if (error != ERROR_SUCCESS) {
            ::SetLastError(error);
            return false;
        }
        const BOOL ok = ::ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sddl, nullptr);
        ::LocalFree(descriptor);
        return ok != FALSE;
    }
    bool GetTokenUserSidString(char*& sid) override
    {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
        alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD size = 0;
        const BOOL ok = ::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                        ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid);
        ::CloseHandle(token);
        return ok != FALSE;
    }
    bool ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* sddl, void*& descriptor) override
    {
        PSECURITY_DESCRIPTOR d = nullptr;
        const BOOL ok = ::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &d, nullptr);
        descriptor = ok ? d : nullptr;
        return ok != FALSE;
    }
    uint32_t GetFileType(Handle file) override { return ::GetFileType(file); }
    bool GetFileInformationByHandle(Handle file, FileInformation& information) override
    {
        BY_HANDLE_FILE_INFORMATION i{};
        if (!::GetFileInformationByHandle(file, &i)) return false;
        information.dwFileAttributes = i.dwFileAttributes;
        information.nNumberOfLinks = i.nNumberOfLinks;
        return true;
    }
    uint32_t GetFinalPathNameByHandleA(Handle file, char* buffer, uint32_t size, uint32_t flags) override
    {
        return ::GetFinalPathNameByHandleA(file, buffer, size, flags);
    }
    uint32_t GetFullPathNameA(const char* path, uint32_t size, char* buffer) override
    {
        return ::GetFullPathNameA(path, size, buffer, nullptr);
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
    bool IsWow64Process2(uint16_t& processMachine, uint16_t& nativeMachine) override
    {
        USHORT process = IMAGE_FILE_MACHINE_UNKNOWN, native = IMAGE_FILE_MACHINE_UNKNOWN;
        if (isWow64Process2Entry == nullptr || !isWow64Process2Entry(::GetCurrentProcess(), &process, &native))
            return false;
        processMachine = process;
        nativeMachine = native;
        return true;
    }
    bool GetMachineTypeAttributes(uint16_t machine, uint32_t& attributes) override
    {
        int value = 0;
        if (getMachineTypeAttributesEntry == nullptr || FAILED(getMachineTypeAttributesEntry(machine, &value)))
            return false;
        attributes = static_cast<uint32_t>(value);
        return true;
    }
    bool GetProcessWindowStationFlags(uint32_t& flags) override
    {
        HWINSTA station = ::GetProcessWindowStation();  // not to be closed
        USEROBJECTFLAGS info{};
        DWORD needed = 0;
        if (station == nullptr || !::GetUserObjectInformationA(station, UOI_FLAGS, &info, sizeof info, &needed))
            return false;
        flags = info.dwFlags;
        return true;
    }
    bool GetCurrentSessionId(uint32_t& sessionId) override
    {
        DWORD session = 0;
        if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return false;
        sessionId = session;
        return true;
    }
    uint32_t GetCurrentProcessId() override { return ::GetCurrentProcessId(); }
    uint32_t GetProcessId(Handle process) override { return ::GetProcessId(process); }
    uint32_t GetTickCount() override { return ::GetTickCount(); }
    bool QueryUnbiasedInterruptTime(uint64_t& unbiasedTime) override
    {
        ULONGLONG time = 0;
        const bool ok = ::QueryUnbiasedInterruptTime(&time) != FALSE;
        unbiasedTime = time;
        return ok;
    }
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
    Handle CreateThread(ThreadProc proc, void* parameter) override
    {
        // From the process heap: operator new would bring the C++ runtime's
        // exception machinery into the executable.
        auto* start = static_cast<ThreadStart*>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(ThreadStart)));
        if (start == nullptr) {
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        start->proc = proc;
        start->parameter = parameter;
        HANDLE thread = ::CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
        if (thread == nullptr) ::HeapFree(::GetProcessHeap(), 0, start);  // the thread never took it
        return thread;
    }
    Handle OpenMutexA(uint32_t access, bool inherit, const char* name) override
    {
        return ::OpenMutexA(access, inherit ? TRUE : FALSE, name);
    }
    bool ReleaseMutex(Handle mutex) override { return ::ReleaseMutex(mutex) != FALSE; }
    int32_t CoInitializeEx(uint32_t coInit) override { return ::CoInitializeEx(nullptr, coInit); }
    void CoUninitialize() override { ::CoUninitialize(); }

    bool HasPrivateNamespaces() override
    {
        return createBoundaryEntry != nullptr && addSidEntry != nullptr && addIntegrityLabelEntry != nullptr &&
               createNamespaceEntry != nullptr && closeNamespaceEntry != nullptr && deleteBoundaryEntry != nullptr;
    }
    Handle CreateBoundaryDescriptorW(const wchar_t* name) override { return createBoundaryEntry(name, 0); }
    bool AddSIDToBoundaryDescriptor(Handle& boundary, uint32_t wellKnownSid) override
    {
        return AddWellKnownSid(addSidEntry, boundary, wellKnownSid);
    }
    bool AddIntegrityLabelToBoundaryDescriptor(Handle& boundary, uint32_t wellKnownSid) override
    {
        return AddWellKnownSid(addIntegrityLabelEntry, boundary, wellKnownSid);
    }
    Handle CreatePrivateNamespaceW(void* securityDescriptor, Handle boundary, const wchar_t* alias) override
    {
        SECURITY_ATTRIBUTES security{sizeof security, securityDescriptor, FALSE};
        return createNamespaceEntry(securityDescriptor != nullptr ? &security : nullptr, boundary, alias);
    }
    bool ClosePrivateNamespace(Handle privateNamespace, uint32_t flags) override
    {
        return closeNamespaceEntry(privateNamespace, flags) != FALSE;
    }
    void DeleteBoundaryDescriptor(Handle boundary) override { deleteBoundaryEntry(boundary); }
    Handle CreateMutexW(void* securityDescriptor, bool initialOwner, const wchar_t* name) override
    {
        SECURITY_ATTRIBUTES security{sizeof security, securityDescriptor, FALSE};
        return ::CreateMutexW(securityDescriptor != nullptr ? &security : nullptr, initialOwner ? TRUE : FALSE, name);
    }
    bool DuplicateHandle(Handle handle, Handle targetProcess) override
    {
        HANDLE copy = nullptr;
        return ::DuplicateHandle(::GetCurrentProcess(), handle, targetProcess, &copy, 0, FALSE,
                                 DUPLICATE_SAME_ACCESS) != FALSE;
    }

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
    bool QueryFullProcessImageNameA(Handle process, uint32_t flags, char* buffer, uint32_t& size) override
    {
        DWORD length = size;
        if (!::QueryFullProcessImageNameA(process, flags, buffer, &length)) return false;
        size = length;
        return true;
    }
    bool GetProcessTimes(Handle process, uint64_t& creation, uint64_t& exit) override
    {
        FILETIME created{}, ended{}, kernel{}, user{};
        if (!::GetProcessTimes(process, &created, &ended, &kernel, &user)) return false;
        creation = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        exit = (static_cast<uint64_t>(ended.dwHighDateTime) << 32) | ended.dwLowDateTime;
        return true;
    }
    bool CloseHandle(Handle handle) override { return ::CloseHandle(handle) != FALSE; }

    Handle LoadLibraryExW(const wchar_t* fileName, uint32_t flags) override
    {
        if (flags == LOAD_LIBRARY_SEARCH_SYSTEM32) return LoadSystemLibrary(fileName);
        return ::LoadLibraryExW(fileName, nullptr, flags);
    }
    bool GetProcAddress(Handle module, const char* procName) override
    {
        const FARPROC entry = ::GetProcAddress(static_cast<HMODULE>(module), procName);
        if (entry == nullptr) return false;
        for (const auto& known : runTimeEntries)
            if (std::strcmp(known.name, procName) == 0) *known.entry = entry;
        return true;
    }

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
    Handle SetupDiOpenDevRegKey(Handle set, DeviceInfoData& device, uint32_t scope, uint32_t profile, uint32_t keyType,
                                uint32_t access) override
    {
        return ::SetupDiOpenDevRegKey(set, Record(device), scope, profile, keyType, access);
    }
    Handle SetupOpenInfFileA(const char* fileName, uint32_t style) override
    {
        return ::SetupOpenInfFileA(fileName, nullptr, style, nullptr);
    }
    bool SetupFindFirstLineA(Handle inf, const char* section, const char* key, InfLine& line) override
    {
        return ::SetupFindFirstLineA(inf, section, key, Context(line)) != FALSE;
    }
    bool SetupGetStringFieldA(InfLine& line, uint32_t field, char* buffer, uint32_t size) override
    {
        return ::SetupGetStringFieldA(Context(line), field, buffer, size, nullptr) != FALSE;
    }
    void SetupCloseInfFile(Handle inf) override { ::SetupCloseInfFile(inf); }
    uint32_t CM_Get_DevNode_Status(uint32_t* status, uint32_t* problem, uint32_t devInst, uint32_t flags) override
    {
        if (cmGetDevNodeStatusEntry == nullptr) {
            ::SetLastError(ERROR_PROC_NOT_FOUND);
            return CR_FAILURE;
        }
        ULONG s = 0, p = 0;
        CONFIGRET result = cmGetDevNodeStatusEntry(&s, &p, devInst, flags);
        if (status) *status = s;
        if (problem) *problem = p;
        return result;
    }
    bool UpdateDriverForPlugAndPlayDevicesA(Hwnd owner, const char* hardwareId, const char* infPath,
                                            uint32_t installFlags, int32_t* rebootRequired) override
    {
        if (updateDriverEntry == nullptr) {
            ::SetLastError(ERROR_PROC_NOT_FOUND);
            return false;
        }
        return updateDriverEntry(H(owner), hardwareId, infPath, installFlags,
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
    uint32_t InitiateShutdownW(const char16_t* message, uint32_t gracePeriodSeconds, uint32_t flags,
                               uint32_t reason) override
    {
        if (initiateShutdownWEntry == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
        // The message is only read, whatever the declaration says.
        LPWSTR text = reinterpret_cast<LPWSTR>(const_cast<char16_t*>(message));
        return initiateShutdownWEntry(nullptr, text, gracePeriodSeconds, flags, reason);
    }

    uint32_t RegOpenKeyExA(const char* subKey, uint32_t access, Handle& key) override
    {
        HKEY h = nullptr;
        const LSTATUS status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, access, &h);
        key = h;
        return static_cast<uint32_t>(status);
    }
    uint32_t RegQueryValueExA(Handle key, const char* valueName, uint32_t& type, uint8_t* data, uint32_t& size) override
    {
        DWORD t = 0, length = size;
        const LSTATUS status = ::RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr, &t, data, &length);
        type = t;
        size = length;
        return static_cast<uint32_t>(status);
    }
    uint32_t RegCreateKeyExA(const char* subKey, uint32_t access, Handle& key) override
    {
        HKEY h = nullptr;
        const LSTATUS status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 access, nullptr, &h, nullptr);
        key = h;
        return static_cast<uint32_t>(status);
    }
    uint32_t RegSetValueExA(Handle key, const char* valueName, uint32_t type, const uint8_t* data,
                            uint32_t size) override
    {
        return static_cast<uint32_t>(::RegSetValueExA(static_cast<HKEY>(key), valueName, 0, type, data, size));
    }
    uint32_t RegCloseKey(Handle key) override { return static_cast<uint32_t>(::RegCloseKey(static_cast<HKEY>(key))); }
    uint32_t GetFileAttributesA(const char* path) override { return ::GetFileAttributesA(path); }
    void GetSystemTime(SystemTime& time) override
    {
        SYSTEMTIME t{};
        ::GetSystemTime(&t);
        time = {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    }
    uint32_t GetFileVersionInfoSizeA(const char* file) override
    {
        if (versionInfoSizeEntry == nullptr) return NotFound(0);
        DWORD ignored = 0;
        return versionInfoSizeEntry(file, &ignored);
    }
    bool GetFileVersionInfoA(const char* file, uint32_t size, void* data) override
    {
        if (versionInfoEntry == nullptr) return NotFound(false);
        return versionInfoEntry(file, 0, size, data) != FALSE;
    }
    bool VerQueryValueA(const void* block, const char* subBlock, const void*& buffer, uint32_t& length) override
    {
        if (verQueryValueEntry == nullptr) return NotFound(false);
        void* found = nullptr;
        UINT size = 0;
        const BOOL ok = verQueryValueEntry(block, subBlock, &found, &size);
        buffer = found;
        length = size;
        return ok != FALSE;
    }
    int32_t MsiQueryProductStateA(const char* product) override
    {
        return msiProductStateEntry == nullptr ? -2 : msiProductStateEntry(product);  // INSTALLSTATE_INVALIDARG
    }
    uint32_t MsiGetProductInfoA(const char* product, const char* property, char* buffer, uint32_t& size) override
    {
        if (msiProductInfoEntry == nullptr) return ERROR_PROC_NOT_FOUND;
        DWORD length = size;
        const UINT result = msiProductInfoEntry(product, property, buffer, &length);
        size = length;
        return result;
    }
    uint32_t MsiEnumRelatedProductsA(const char* upgradeCode, uint32_t index, char* productBuffer) override
    {
        if (msiRelatedProductsEntry == nullptr) return ERROR_PROC_NOT_FOUND;
        return msiRelatedProductsEntry(upgradeCode, 0, index, productBuffer);
    }

    uint32_t GetLastError() override { return ::GetLastError(); }
    void SetLastError(uint32_t code) override { ::SetLastError(code); }
    uint32_t FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId, char** buffer) override
    {
        return ::FormatMessageA(flags, nullptr, messageId, languageId, reinterpret_cast<LPSTR>(buffer), 0, nullptr);
    }
    void LocalFree(void* memory) override { ::LocalFree(memory); }
};

}  // namespace

void* LoadSystemLibrary(const wchar_t* fileName)
{
    HMODULE module = ::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows 7 without KB2533623 knows no search flags; the full path in
    // System32 (SysWOW64 for a 32-bit process, by the redirector) does the same.
    if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        wchar_t path[MAX_PATH];
        const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
        const size_t name = std::wcslen(fileName);
        if (length == 0 || length + 1 + name >= MAX_PATH) return nullptr;
        path[length] = L'\\';
        std::memcpy(path + length + 1, fileName, (name + 1) * sizeof(wchar_t));
        module = ::LoadLibraryExW(path, nullptr, 0);
    }
    return module;
}

Platform& Win32Platform()
{
    static Win32 platform;
    return platform;
}

}  // namespace zw
