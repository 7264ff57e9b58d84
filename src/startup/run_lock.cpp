// The lock is the private object namespace itself: only the run that creates
// it goes on. Its boundary holds the Administrators group at high integrity,
// so only an elevated administrator or SYSTEM can create it and an ordinary
// user cannot take the name first; the namespace and the mutex in it admit
// only SYSTEM and Administrators. Private namespaces live beside the global
// one, so runs in every session meet there.
//
// A run never opens a namespace that exists: once its creator has closed
// it, OpenPrivateNamespace fails for others while those who opened it
// earlier still create objects in it, so a mutex there could be held in an
// orphaned namespace while a new one is made. The creator destroys it at the
// end, unless processes left running hold copies of its handle: then it stays
// until the last of them has ended.
//
// Only where the system has no private namespaces (looked up by name) does a
// mutex in the Global namespace serve; a squatter's object of that name can
// only make the launcher refuse, never let two runs in.
#include "startup/run_lock.h"

#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "state/run_state.h"

namespace zw {

namespace {

constexpr wchar_t kBoundaryName[] = L"Zarnowel.Run";
constexpr wchar_t kNamespaceAlias[] = L"Zarnowel";
constexpr wchar_t kMutexInNamespace[] = L"Zarnowel\\Run";
constexpr wchar_t kGlobalMutex[] = L"Global\\Zarnowel.Run";
// Generic all for SYSTEM and Administrators, nothing for anyone else; no
// inherited entries.
constexpr char kAccess[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";
// A run that is ending may be destroying the namespace just now.
constexpr int kCreateAttempts = 3;
constexpr uint32_t kCreateRetryMs = 250;

bool Refuse(const char* what, uint32_t error)
{
    Log("start: the one-run lock ", what, " (", SystemErrorText(error), "); nothing is started");
    return false;
}

// The mutex is taken at creation; an existing one, from any run, means busy.
bool CreateRunMutex(const wchar_t* name, void* access, RunLock& lock, const char* where)
{
    Platform& sys = Sys();
    lock.mutex = sys.CreateMutexW(access, true, name);
    const uint32_t error = sys.GetLastError();
    if (lock.mutex != nullptr && error != win::ERROR_ALREADY_EXISTS) {
        Log("start: this run holds the one-run lock (", where, ")");
        return true;
    }
    // ERROR_ALREADY_EXISTS: another run; ERROR_ACCESS_DENIED: an object of
    // that name that this run may not use. Either way another run may hold it.
    return Refuse(where[0] == 'G' ? "is held by another run (Global namespace)" : "cannot be had (its mutex)", error);
}

bool CreateNamespace(void* access, RunLock& lock)
{
    Platform& sys = Sys();
    lock.boundary = sys.CreateBoundaryDescriptorW(kBoundaryName);
    if (lock.boundary == nullptr || !sys.AddSIDToBoundaryDescriptor(lock.boundary, win::WinBuiltinAdministratorsSid) ||
        !sys.AddIntegrityLabelToBoundaryDescriptor(lock.boundary, win::WinHighLabelSid))
        return Refuse("cannot be had (its boundary)", sys.GetLastError());
    for (int attempt = 1; attempt <= kCreateAttempts; ++attempt) {
        lock.privateNamespace = sys.CreatePrivateNamespaceW(access, lock.boundary, kNamespaceAlias);
        if (lock.privateNamespace != nullptr) return true;
        const uint32_t error = sys.GetLastError();
        if (error != win::ERROR_ALREADY_EXISTS) return Refuse("cannot be had (its private namespace)", error);
        if (attempt < kCreateAttempts) sys.Sleep(kCreateRetryMs);
    }
    return Refuse("is held by another run, or by what one left running", win::ERROR_ALREADY_EXISTS);
}

}  // namespace

bool TakeRunLock(RunLock& lock)
{
    Platform& sys = Sys();
    runLockHandle = nullptr;
    runLockKeptByLeftovers = false;
    void* access = nullptr;
    if (!sys.ConvertStringSecurityDescriptorToSecurityDescriptorA(kAccess, access)) access = nullptr;
    if (access == nullptr)
        Log("start: the one-run lock's access cannot be built: ", SystemErrorText(sys.GetLastError()));
    bool held = false;
    if (sys.HasPrivateNamespaces()) {
        held = CreateNamespace(access, lock) && CreateRunMutex(kMutexInNamespace, access, lock, "private namespace");
        if (held) runLockHandle = lock.privateNamespace;
    } else {
        Log("start: the system has no private namespaces; the one-run lock is in the Global namespace");
        held = CreateRunMutex(kGlobalMutex, access, lock, "Global namespace");
        if (held) runLockHandle = lock.mutex;
    }
    if (access != nullptr) sys.LocalFree(access);
    if (!held) ReleaseRunLock(lock);
    return held;
}

void ReleaseRunLock(RunLock& lock)
{
    Platform& sys = Sys();
    if (lock.mutex != nullptr) {
        sys.ReleaseMutex(lock.mutex);
        sys.CloseHandle(lock.mutex);
        lock.mutex = nullptr;
    }
    if (lock.privateNamespace != nullptr) {
        // Destroyed unless copies of the handle keep it for what runs on.
        sys.ClosePrivateNamespace(lock.privateNamespace,
                                  runLockKeptByLeftovers ? 0 : win::PRIVATE_NAMESPACE_FLAG_DESTROY);
        lock.privateNamespace = nullptr;
    }
    if (lock.boundary != nullptr) {
        sys.DeleteBoundaryDescriptor(lock.boundary);
        lock.boundary = nullptr;
    }
    runLockHandle = nullptr;
}

}  // namespace zw
