// The C++ library's throw helpers, for the Windows builds.
//
// The launcher is built without exceptions: whatever the library would throw
// (an allocation that fails, a string past its size) can only end the
// process. The library's own helpers build their exceptions from a second,
// reference-counted string type and bring the unwinder's tables with them,
// about a sixth of the 32-bit executable. These end the process at once, with
// an exit code that tells an agent the run failed and why.
#ifdef _WIN32
#include <windows.h>

namespace {

[[noreturn]] void End(UINT code)
{
    ::TerminateProcess(::GetCurrentProcess(), code);
    for (;;) {
    }
}

}  // namespace

namespace std {

[[noreturn]] void __throw_bad_alloc() { End(ERROR_NOT_ENOUGH_MEMORY); }
[[noreturn]] void __throw_bad_array_new_length() { End(ERROR_NOT_ENOUGH_MEMORY); }
[[noreturn]] void __throw_length_error(const char*) { End(ERROR_NOT_ENOUGH_MEMORY); }
[[noreturn]] void __throw_logic_error(const char*) { End(ERROR_INTERNAL_ERROR); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { End(ERROR_INTERNAL_ERROR); }
[[noreturn]] void __throw_bad_function_call() { End(ERROR_INTERNAL_ERROR); }

}  // namespace std
#endif
