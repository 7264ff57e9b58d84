// Trims of the statically linked C++ runtime.
#include <cstdlib>

// The runtime's default terminate handler names the type of an uncaught
// exception, and links the whole symbol demangler for it: about 50 KB of the
// 32-bit executable. The launcher throws nothing of its own; should the
// runtime ever terminate, the process ends the same way without the name.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
