// The lock is a mutex in a private namespace whose boundary holds the
// Administrators group at high integrity: only an elevated administrator or
// SYSTEM can create that namespace, so an ordinary user cannot take the name
// first, and the namespace and the mutex admit only SYSTEM and
// Administrators. Private namespaces live beside the global one, so runs in
// every session meet there. Where the system has no private namespaces (the
// functions are looked up by name), a mutex in the Global namespace with the
// same access serves; there a squatter's object of that name can only make
// the launcher refuse, never let two runs in.
#include "app/run_lock_win32.h"

#include <sddl.h>

#include <type_traits>

#include "runlog/run_log.h"

namespace zw {

namespace {

constexpr wchar_t kBoundaryName[] = L"Zarnowel.Run";
constexpr wchar_t kNamespaceAlias[] = L"Zarnowel";
constexpr wchar_t kMutexInNamespace[] = L"Zarnowel\\Run";
constexpr wchar_t kGlobalMutex[] = L"Global\\Zarnowel.Run";
// Generic all for SYSTEM and Administrators, nothing for anyone else; no
// inherited entries.
constexpr char kAccess[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";

using CreateBoundaryDescriptorFn = HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSidFn = BOOL(WINAPI*)(HANDLE*, PSID);
using CreatePrivateNamespaceFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
using OpenPrivateNamespaceFn = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
using ClosePrivateNamespaceFn = BOOLEAN(WINAPI*)(HANDLE, ULONG);
using DeleteBoundaryDescriptorFn = VOID(WINAPI*)(HANDLE);

struct NamespaceApi {
    CreateBoundaryDescriptorFn createBoundary = nullptr;
    AddSidFn addSid = nullptr;
    AddSidFn addIntegrityLabel = nullptr;
    CreatePrivateNamespaceFn createNamespace = nullptr;
    OpenPrivateNamespaceFn openNamespace = nullptr;
    ClosePrivateNamespaceFn closeNamespace = nullptr;
    DeleteBoundaryDescriptorFn deleteBoundary = nullptr;

    // Looked up among the modules already loaded, never loaded by name.
    bool Load()
    {
        HMODULE kernel = ::GetModuleHandleA("kernel32");
        if (kernel == nullptr) return false;
        auto get = [kernel](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
                reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
            return fn != nullptr;
        };
        return get(createBoundary, "CreateBoundaryDescriptorW") & get(addSid, "AddSIDToBoundaryDescriptor") &
               get(addIntegrityLabel, "AddIntegrityLabelToBoundaryDescriptor") &
               get(createNamespace, "CreatePrivateNamespaceW") & get(openNamespace, "OpenPrivateNamespaceW") &
               get(closeNamespace, "ClosePrivateNamespace") & get(deleteBoundary, "DeleteBoundaryDescriptor");
    }
};
NamespaceApi api;

// The mutex is taken at creation; an existing one, from any run, means busy.
bool CreateRunMutex(const wchar_t* name, SECURITY_ATTRIBUTES& access, RunLock& lock, const char* where)
{
    HANDLE mutex = ::CreateMutexW(&access, TRUE, name);
    const DWORD error = ::GetLastError();
    if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) {
        lock.mutex = mutex;
        Log("start: this run holds the one-run lock (", where, ")");
        return true;
    }
    if (mutex != nullptr) ::CloseHandle(mutex);
    // ERROR_ALREADY_EXISTS: another run; ERROR_ACCESS_DENIED: an object of
    // that name that this run may not use. Either way another run may hold it.
    Log("start: another run of the launcher holds the one-run lock (", where, ": ", SystemErrorText(error),
        "); nothing is started");
    return false;
}

bool OpenNamespace(SECURITY_ATTRIBUTES& access, RunLock& lock)
{
    lock.boundary = api.createBoundary(kBoundaryName, 0);
    if (lock.boundary == nullptr) return false;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    BYTE high[SECURITY_MAX_SID_SIZE];
    DWORD highSize = sizeof high;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !::CreateWellKnownSid(WinHighLabelSid, nullptr, high, &highSize) ||
        !api.addSid(&lock.boundary, administrators) || !api.addIntegrityLabel(&lock.boundary, high))
        return false;
    // The run that made the namespace may end between the two calls, taking
    // the namespace with it: then it is made anew.
    for (int attempt = 0; attempt < 3 && lock.namespaceHandle == nullptr; ++attempt) {
        lock.namespaceHandle = api.createNamespace(&access, lock.boundary, kNamespaceAlias);
        if (lock.namespaceHandle == nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS)
            lock.namespaceHandle = api.openNamespace(lock.boundary, kNamespaceAlias);
        else if (lock.namespaceHandle == nullptr)
            break;
    }
    return lock.namespaceHandle != nullptr;
}

}  // namespace

bool TakeRunLock(RunLock& lock)
{
    SECURITY_ATTRIBUTES access{};
    access.nLength = sizeof access;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kAccess, SDDL_REVISION_1,
                                                                 &access.lpSecurityDescriptor, nullptr)) {
        Log("start: the one-run lock's access cannot be built: ", SystemErrorText(::GetLastError()));
        access.lpSecurityDescriptor = nullptr;
    }
    bool held = false;
    if (api.Load() && OpenNamespace(access, lock)) {
        held = CreateRunMutex(kMutexInNamespace, access, lock, "private namespace");
    } else {
        Log("start: no private namespace for the one-run lock (", SystemErrorText(::GetLastError()),
            "); the Global namespace serves");
        held = CreateRunMutex(kGlobalMutex, access, lock, "Global namespace");
    }
    if (access.lpSecurityDescriptor != nullptr) ::LocalFree(access.lpSecurityDescriptor);
    if (!held) ReleaseRunLock(lock);
    return held;
}

void ReleaseRunLock(RunLock& lock)
{
    if (lock.mutex != nullptr) {
        ::ReleaseMutex(lock.mutex);
        ::CloseHandle(lock.mutex);
        lock.mutex = nullptr;
    }
    if (lock.namespaceHandle != nullptr) {
        api.closeNamespace(lock.namespaceHandle, 0);
        lock.namespaceHandle = nullptr;
    }
    if (lock.boundary != nullptr) {
        api.deleteBoundary(lock.boundary);
        lock.boundary = nullptr;
    }
}

}  // namespace zw
