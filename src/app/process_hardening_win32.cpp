// The first thing the process does, before any other code of ours and before
// anything loads a DLL by name: the launcher runs elevated, often as SYSTEM,
// from folders that ordinary users can write to.
//
// Its static imports are KnownDLLs, which the loader never takes from the
// launcher's folder, and its manifest depends on no assembly, which the
// loader would look for in <exe>.local\ first. Everything loaded
// later by name, by us or by the system's own DLLs on our behalf, comes from
// System32 alone. Functions that older systems lack are looked up by name; a
// system without them keeps its defaults.
#include <windows.h>

#include <initializer_list>

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetSearchPathModeFn = BOOL(WINAPI*)(DWORD);
using SetProcessMitigationPolicyFn = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);

template <class Fn>
Fn Kernel32Entry(const char* name)
{
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel == nullptr ? nullptr : reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
}

void HardenProcess()
{
    // Windows 8 and later, or 7 with KB2533623: no application folder, no
    // current directory, no PATH for any load by name from now on.
    auto setDefault = Kernel32Entry<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
    // Where that is missing, at least the current directory goes. Only there:
    // the items inherit this setting, and must find their own DLLs as ever.
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
    // SearchPath looks in the current directory after the system folders.
    if (auto setSearch = Kernel32Entry<SetSearchPathModeFn>("SetSearchPathMode"))
        setSearch(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
    // Windows 10: System32 before the application folder even for a load that
    // asks for the standard order. Remote and low-label images stay allowed:
    // items may come from a share or a download, and the shell maps their
    // images into this process to read their resources before it starts them.
    // The policy is this process's own; the items do not inherit it.
    if (auto setPolicy = Kernel32Entry<SetProcessMitigationPolicyFn>("SetProcessMitigationPolicy")) {
        PROCESS_MITIGATION_IMAGE_LOAD_POLICY imageLoad{};
        imageLoad.PreferSystem32Images = 1;
        setPolicy(ProcessImageLoadPolicy, &imageLoad, sizeof imageLoad);
    }
    // Items inherit this environment (the shell's start takes none of its
    // own): cmd.exe and process creation then look for a bare program name in
    // PATH alone, never first in the current directory, which is the item's
    // folder. A reg.exe beside a batch item is not run.
    ::SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", L"1");
    // An agent's pipes or files given as standard handles never reach the
    // items, which may outlive the run and keep the agent waiting.
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE handle = ::GetStdHandle(which);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
    // A corrupted heap ends the process rather than let it run on.
    ::HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    // No "insert a disk" box for an item on an empty drive: the call fails and
    // the run goes on. The bits the starter gave are kept.
    ::SetErrorMode(::SetErrorMode(0) | SEM_FAILCRITICALERRORS);
}

// Right after the stack guard is seeded (101, the first priority an
// application may use) and before every other static initialiser: each has
// its own priority, so the order is ours, not the linker's.
__attribute__((constructor(102))) void HardenProcessAtStart() { HardenProcess(); }

}  // namespace
