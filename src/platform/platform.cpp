#include "platform/platform.h"

#include <cstdlib>

namespace zw {

namespace {
Platform* current = nullptr;
}

Platform& Sys()
{
    // Reaching the core before a platform is installed is a wiring fault, not a
    // run-time condition; stop at once rather than call through null.
    if (current == nullptr) std::abort();
    return *current;
}

void SetPlatform(Platform* platform) { current = platform; }

}  // namespace zw
