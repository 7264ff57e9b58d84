// The one seam between the launcher's core and Windows.
//
// The core never includes <windows.h>; everything it asks of the system goes
// through Platform, whose methods are named after the Win32 calls they wrap and
// keep their argument order. The Win32 adapter (adapter_win32.cpp) is one
// call per method; the host tests substitute a simulated Windows. The Win32
// values the core passes through it are in win_values.h.
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
// A thread's start routine, minus the calling convention (the adapter's
// trampoline supplies it).
using ThreadProc = uint32_t (*)(void*);

inline Handle const kInvalidHandle = reinterpret_cast<Handle>(static_cast<intptr_t>(-1));

struct Msg {
    Hwnd hwnd = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// The system's path buffers (MAX_PATH), terminator included; also room for an
// image name, PROCESSENTRY32's szExeFile. The adapter checks both.
constexpr size_t kPathCapacity = 260;

// The fields of PROCESSENTRY32 (ANSI) that the watcher uses; the adapter
// sets the record's size itself.
struct ProcessEntry {
    uint32_t th32ProcessID = 0;
    uint32_t th32ParentProcessID = 0;  // the creator's id when this one was created; it may since be reused
    char szExeFile[kPathCapacity] = {};
};

// The fields of SP_DEVINFO_DATA that the driver update uses.
struct DeviceInfoData {
    uint32_t devInst = 0;
    // The adapter keeps the system's own SP_DEVINFO_DATA here (28 bytes on x86,
    // 32 on x64), so a record taken from the enumeration can be handed back.
    alignas(8) uint8_t systemRecord[32] = {};
};

// A line of an INF file: the system's INFCONTEXT (16 bytes on x86, 24 on x64).
struct InfLine {
    alignas(8) uint8_t systemRecord[24] = {};
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

// SHELLEXECUTEINFOA: what the core gives and what it gets back.
struct ShellExecuteInfo {
    uint32_t fMask = 0;
    Hwnd hwnd = nullptr;
    const char* lpVerb = nullptr;
    const char* lpFile = nullptr;
    const char* lpParameters = nullptr;
    const char* lpDirectory = nullptr;
    int nShow = 0;
    intptr_t hInstApp = 0;      // out: above 32 on success, else an error value
    Handle hProcess = nullptr;  // out, with SEE_MASK_NOCLOSEPROCESS: the started process, if one was
};

// The fields of SERVICE_STATUS_PROCESS that the core reads.
struct ServiceStatusProcess {
    uint32_t dwCurrentState = 0;
    uint32_t dwProcessId = 0;
};

// The first fields of VS_FIXEDFILEINFO, as VerQueryValueA(block, "\\") gives them.
struct FixedFileInfo {
    uint32_t dwSignature = 0;  // 0xFEEF04BD
    uint32_t dwStrucVersion = 0;
    uint32_t dwFileVersionMS = 0;
    uint32_t dwFileVersionLS = 0;
};

// SYSTEMTIME.
struct SystemTime {
    uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
    uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
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
    virtual bool PostMessageA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
    // A top-level window by class and title, after childAfter (parent null).
    virtual Hwnd FindWindowExA(Hwnd parent, Hwnd childAfter, const char* className, const char* windowName) = 0;
    // The window's thread id; processId receives its process's.
    virtual uint32_t GetWindowThreadProcessId(Hwnd hwnd, uint32_t& processId) = 0;
    virtual uint32_t GetCurrentThreadId() = 0;
    virtual intptr_t DialogBoxParamA(Hinstance instance, int templateId, Hwnd owner, DialogProc proc,
                                     intptr_t initParam) = 0;
    virtual bool EndDialog(Hwnd dialog, intptr_t result) = 0;
    virtual void Sleep(uint32_t ms) = 0;

    // Text.
    virtual void CharUpperA(char* text) = 0;  // in place, the locale's ANSI rules

    // Shell, files, profile, locale.
    // Existence test of a file (not a directory). Stands in for OpenFile with
    // OF_EXIST, whose 128-byte OFSTRUCT would call every longer path missing.
    virtual bool FileExists(const char* path) = 0;
    virtual bool CopyFileA(const char* from, const char* to, bool failIfExists) = 0;
    virtual uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) = 0;
    virtual uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) = 0;
    // The length of the expansion with its terminator; more than size when
    // the buffer is too small, 0 on failure.
    virtual uint32_t ExpandEnvironmentStringsA(const char* source, char* buffer, uint32_t size) = 0;
    virtual uint32_t GetModuleFileNameA(char* buffer, uint32_t size) = 0;  // the executable itself
    virtual bool SetCurrentDirectoryA(const char* path) = 0;
    virtual uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* fallback, char* buffer,
                                              uint32_t size, const char* file) = 0;
    virtual uint32_t GetSystemDefaultLCID() = 0;
    virtual bool ShellExecuteExA(ShellExecuteInfo& info) = 0;
    // The log file. CreateFileA without a template; securityDescriptor, when
    // not null, is the one a created file gets (from the SDDL conversion below).
    virtual Handle CreateFileA(const char* path, uint32_t access, uint32_t share, void* securityDescriptor,
                               uint32_t disposition, uint32_t flags) = 0;
    // NtCreateFile of the file name in the folder that folder holds (a
    // handle of CreateFileA), whatever path names that folder by now:
    // FILE_OPEN_IF, a plain file, synchronous, a reparse point opened itself.
    // created: the file was made by this call (and got securityDescriptor).
    virtual Handle NtCreateFile(Handle folder, const char* name, uint32_t access, uint32_t share,
                                void* securityDescriptor, bool& created) = 0;
    // GetSecurityInfo of an open file (owner and DACL), as SDDL
    // (ConvertSecurityDescriptorToStringSecurityDescriptorA); released with
    // LocalFree.
    virtual bool GetSecurityInfoSddl(Handle file, char*& sddl) = 0;
    // The user SID of the current process's token (GetTokenInformation,
    // TokenUser) as text (ConvertSidToStringSidA); released with LocalFree.
    virtual bool GetTokenUserSidString(char*& sid) = 0;
    virtual bool WriteFile(Handle file, const void* data, uint32_t size, uint32_t& written) = 0;
    // SDDL_REVISION_1; the descriptor is released with LocalFree.
    virtual bool ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* sddl, void*& descriptor) = 0;
    virtual uint32_t GetFileType(Handle file) = 0;
    // The fields of BY_HANDLE_FILE_INFORMATION that tell a plain file.
    struct FileInformation {
        uint32_t dwFileAttributes = 0;
        uint32_t nNumberOfLinks = 0;
    };
    virtual bool GetFileInformationByHandle(Handle file, FileInformation& information) = 0;
    virtual uint32_t GetFinalPathNameByHandleA(Handle file, char* buffer, uint32_t size, uint32_t flags) = 0;
    virtual uint32_t GetFullPathNameA(const char* path, uint32_t size, char* buffer) = 0;  // no file part
    // The WOW64 file system redirection of the calling thread, looked up by
    // name like IsWow64Process: false where the system has no such function or
    // the call fails. A successful Disable is always followed by a Revert.
    virtual bool Wow64DisableWow64FsRedirection(void*& oldValue) = 0;
    virtual bool Wow64RevertWow64FsRedirection(void* oldValue) = 0;

    // Process identity and time.
    // IsWow64Process of the current process, looked up by name among the
    // modules already loaded: false when the system has no such function or
    // the call fails (the process then counts as native).
    virtual bool IsWow64Process(bool& wow64) = 0;
    // IsWow64Process2 of the current process, looked up by name the same way:
    // false where the system has no such function (before Windows 10 1511) or
    // the call fails. processMachine is IMAGE_FILE_MACHINE_UNKNOWN for a
    // process that does not run under WOW64.
    virtual bool IsWow64Process2(uint16_t& processMachine, uint16_t& nativeMachine) = 0;
    // GetMachineTypeAttributes, looked up by name (Windows 11): false where the
    // system has no such function or the call fails.
    virtual bool GetMachineTypeAttributes(uint16_t machine, uint32_t& attributes) = 0;
    // The visibility of the process's window station: GetProcessWindowStation,
    // then GetUserObjectInformationA with UOI_FLAGS; flags receives the
    // USEROBJECTFLAGS' dwFlags. False when either call fails.
    virtual bool GetProcessWindowStationFlags(uint32_t& flags) = 0;
    // ProcessIdToSessionId of the current process: false when it fails.
    virtual bool GetCurrentSessionId(uint32_t& sessionId) = 0;
    virtual uint32_t GetCurrentProcessId() = 0;
    virtual uint32_t GetProcessId(Handle process) = 0;
    virtual uint32_t GetTickCount() = 0;
    // Time the machine was awake since it started (sleep and hibernation not
    // counted), in 100 ns units. False when it cannot be read.
    virtual bool QueryUnbiasedInterruptTime(uint64_t& unbiasedTime) = 0;
    virtual void GetLocalTime(SystemTime& time) = 0;

    // Waiting and synchronisation.
    virtual uint32_t WaitForSingleObject(Handle handle, uint32_t timeoutMs) = 0;
    virtual uint32_t MsgWaitForMultipleObjects(uint32_t count, const Handle* handles, bool waitAll, uint32_t timeoutMs,
                                               uint32_t wakeMask) = 0;
    // A thread of the process running proc(parameter); the handle is signalled
    // when it has ended. Null when no thread could be made.
    virtual Handle CreateThread(ThreadProc proc, void* parameter) = 0;
    virtual Handle OpenMutexA(uint32_t access, bool inherit, const char* name) = 0;
    // COM on the calling thread: CoInitializeEx(nullptr, coInit)'s HRESULT;
    // each success (S_OK, S_FALSE) is balanced by CoUninitialize.
    virtual int32_t CoInitializeEx(uint32_t coInit) = 0;
    virtual void CoUninitialize() = 0;
    virtual bool ReleaseMutex(Handle mutex) = 0;

    // The one-run lock. HasPrivateNamespaces: kernel32 exports every
    // function of private object namespaces (looked up by name among the
    // modules already loaded; Wine and systems before Vista lack some).
    virtual bool HasPrivateNamespaces() = 0;
    virtual Handle CreateBoundaryDescriptorW(const wchar_t* name) = 0;  // flags 0
    // The SID of a WELL_KNOWN_SID_TYPE (CreateWellKnownSid, no domain).
    virtual bool AddSIDToBoundaryDescriptor(Handle& boundary, uint32_t wellKnownSid) = 0;
    virtual bool AddIntegrityLabelToBoundaryDescriptor(Handle& boundary, uint32_t wellKnownSid) = 0;
    // securityDescriptor: from the SDDL conversion below.
    virtual Handle CreatePrivateNamespaceW(void* securityDescriptor, Handle boundary, const wchar_t* alias) = 0;
    virtual bool ClosePrivateNamespace(Handle privateNamespace, uint32_t flags) = 0;
    virtual void DeleteBoundaryDescriptor(Handle boundary) = 0;
    virtual Handle CreateMutexW(void* securityDescriptor, bool initialOwner, const wchar_t* name) = 0;
    // DuplicateHandle of one of this process's handles into targetProcess
    // (opened with PROCESS_DUP_HANDLE), same access, not inheritable: the copy
    // is the target's, and is closed when it ends.
    virtual bool DuplicateHandle(Handle handle, Handle targetProcess) = 0;

    // Services.
    virtual Handle OpenSCManagerA(const char* machine, const char* database, uint32_t access) = 0;
    virtual Handle OpenServiceA(Handle manager, const char* name, uint32_t access) = 0;
    // QueryServiceStatusEx with SC_STATUS_PROCESS_INFO.
    virtual bool QueryServiceStatusEx(Handle service, ServiceStatusProcess& status) = 0;
    virtual bool CloseServiceHandle(Handle handle) = 0;

    // Processes (Toolhelp).
    virtual Handle CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) = 0;
    virtual bool Process32First(Handle snapshot, ProcessEntry& entry) = 0;
    virtual bool Process32Next(Handle snapshot, ProcessEntry& entry) = 0;
    virtual Handle OpenProcess(uint32_t access, bool inherit, uint32_t processId) = 0;
    virtual bool GetExitCodeProcess(Handle process, uint32_t& exitCode) = 0;
    // The image's full path in Win32 form (flags 0); size is the buffer's
    // size in, the length written out.
    virtual bool QueryFullProcessImageNameA(Handle process, uint32_t flags, char* buffer, uint32_t& size) = 0;
    // GetProcessTimes: creation and exit as FILETIME values (100 ns since
    // 1601); exit is unspecified while the process runs.
    virtual bool GetProcessTimes(Handle process, uint64_t& creation, uint64_t& exit) = 0;
    virtual bool CloseHandle(Handle handle) = 0;

    // System DLLs that are not KnownDLLs, loaded when first needed.
    virtual Handle LoadLibraryExW(const wchar_t* fileName, uint32_t flags) = 0;  // no file handle
    // True when the module exports the function. The adapter keeps the entry
    // for its method of the same name (CM_Get_DevNode_Status,
    // UpdateDriverForPlugAndPlayDevicesA); until then that method fails with
    // ERROR_PROC_NOT_FOUND.
    virtual bool GetProcAddress(Handle module, const char* procName) = 0;

    // Devices (SetupAPI, CfgMgr32, newdev).
    virtual Handle SetupDiGetClassDevsA(uint32_t flags) = 0;  // no class GUID, enumerator or parent
    virtual bool SetupDiEnumDeviceInfo(Handle set, uint32_t index, DeviceInfoData& device) = 0;
    virtual bool SetupDiGetDeviceRegistryPropertyA(Handle set, DeviceInfoData& device, uint32_t property,
                                                   uint32_t* dataType, uint8_t* buffer, uint32_t size,
                                                   uint32_t* requiredSize) = 0;
    virtual bool SetupDiDestroyDeviceInfoList(Handle set) = 0;
    // The device's key of the given kind, closed with RegCloseKey;
    // kInvalidHandle on failure (GetLastError).
    virtual Handle SetupDiOpenDevRegKey(Handle set, DeviceInfoData& device, uint32_t scope, uint32_t profile,
                                        uint32_t keyType, uint32_t access) = 0;
    // INF files: kInvalidHandle on failure (GetLastError), no error line.
    virtual Handle SetupOpenInfFileA(const char* fileName, uint32_t style) = 0;
    virtual bool SetupFindFirstLineA(Handle inf, const char* section, const char* key, InfLine& line) = 0;
    virtual bool SetupGetStringFieldA(InfLine& line, uint32_t field, char* buffer, uint32_t size) = 0;
    virtual void SetupCloseInfFile(Handle inf) = 0;
    virtual uint32_t CM_Get_DevNode_Status(uint32_t* status, uint32_t* problem, uint32_t devInst, uint32_t flags) = 0;
    virtual bool UpdateDriverForPlugAndPlayDevicesA(Hwnd owner, const char* hardwareId, const char* infPath,
                                                    uint32_t installFlags, int32_t* rebootRequired) = 0;

    // Token, privilege and restart.
    virtual bool OpenProcessToken(uint32_t access, Handle& token) = 0;  // of the current process
    virtual bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid& luid) = 0;
    virtual bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivileges& state) = 0;
    virtual bool ExitWindowsEx(uint32_t flags, uint32_t reason) = 0;
    // InitiateShutdownW of the local machine, looked up by name in advapi32:
    // its result (ERROR_SUCCESS or an error code), or ERROR_CALL_NOT_IMPLEMENTED
    // where the system has no such function. message may be null.
    virtual uint32_t InitiateShutdownW(const char16_t* message, uint32_t gracePeriodSeconds, uint32_t flags,
                                       uint32_t reason) = 0;

    // The registry below HKEY_LOCAL_MACHINE; each returns its LSTATUS. The
    // view is the access's KEY_WOW64_64KEY or KEY_WOW64_32KEY.
    virtual uint32_t RegOpenKeyExA(const char* subKey, uint32_t access, Handle& key) = 0;
    virtual uint32_t RegQueryValueExA(Handle key, const char* valueName, uint32_t& type, uint8_t* data,
                                      uint32_t& size) = 0;
    // REG_OPTION_NON_VOLATILE, no class, the rights the new key inherits.
    virtual uint32_t RegCreateKeyExA(const char* subKey, uint32_t access, Handle& key) = 0;
    virtual uint32_t RegSetValueExA(Handle key, const char* valueName, uint32_t type, const uint8_t* data,
                                    uint32_t size) = 0;
    virtual uint32_t RegCloseKey(Handle key) = 0;
    virtual uint32_t GetFileAttributesA(const char* path) = 0;
    virtual void GetSystemTime(SystemTime& time) = 0;

    // version.dll and msi.dll, loaded from System32 like newdev: until their
    // entries are found each fails with ERROR_PROC_NOT_FOUND
    // (INSTALLSTATE_INVALIDARG for the product state).
    virtual uint32_t GetFileVersionInfoSizeA(const char* file) = 0;
    virtual bool GetFileVersionInfoA(const char* file, uint32_t size, void* data) = 0;
    virtual bool VerQueryValueA(const void* block, const char* subBlock, const void*& buffer, uint32_t& length) = 0;
    virtual int32_t MsiQueryProductStateA(const char* product) = 0;
    // size: the buffer's size in characters in, the length out.
    virtual uint32_t MsiGetProductInfoA(const char* product, const char* property, char* buffer, uint32_t& size) = 0;
    // productBuffer holds 39 characters.
    virtual uint32_t MsiEnumRelatedProductsA(const char* upgradeCode, uint32_t index, char* productBuffer) = 0;

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
