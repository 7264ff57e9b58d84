// The stack protector's guard and its failure, for the Windows builds.
//
// The toolchain's own (libssp) seeds the guard through CryptAcquireContext,
// which loads a cryptographic provider DLL by name in a static initialiser,
// before the launcher has limited where DLLs come from. This one is seeded
// from values the process already has, as the system's own compilers do,
// and a smashed stack ends the process at once.
#ifdef _WIN32
#include <windows.h>

#include <cstdint>

extern "C" {

uintptr_t __stack_chk_guard = static_cast<uintptr_t>(0x2F8E5A3BC1D4E697ULL);

[[noreturn]] void __stack_chk_fail()
{
    ::TerminateProcess(::GetCurrentProcess(), 0xC0000409);  // STATUS_STACK_BUFFER_OVERRUN
    for (;;) {
    }
}

}  // extern "C"

namespace {

// Runs first of all (101; the hardening follows at 102), before any
// protected function of the program can be on the stack, and is not
// protected itself: the guard changes under it.
__attribute__((constructor(101), no_stack_protector)) void SeedStackGuard()
{
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    FILETIME time{};
    ::GetSystemTimeAsFileTime(&time);
    uint64_t seed = static_cast<uint64_t>(counter.QuadPart);
    seed ^= (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    seed ^= static_cast<uint64_t>(::GetCurrentProcessId()) << 40;
    seed ^= static_cast<uint64_t>(::GetCurrentThreadId()) << 20;
    seed ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&counter));  // where the stack lies
    seed ^= ::GetTickCount64();
    seed ^= seed >> 29;
    seed *= 0xBF58476D1CE4E5B9ULL;
    seed ^= seed >> 32;
    const uintptr_t guard = static_cast<uintptr_t>(seed);
    if (guard != 0) __stack_chk_guard = guard;
}

}  // namespace
#endif
