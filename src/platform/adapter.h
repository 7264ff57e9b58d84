#pragma once

#include "platform/platform.h"

namespace zw {

// The real Windows behind the seam.
Platform& Win32Platform();

// A system DLL from System32 alone (LoadLibraryExW with
// LOAD_LIBRARY_SEARCH_SYSTEM32, or its full path where the system knows no
// search flags); null when it cannot be loaded.
void* LoadSystemLibrary(const wchar_t* fileName);

}  // namespace zw
