// Run state of the install sequence. It lives for the whole process and is
// shared by the InstallerWindow's handlers and the ProgressDialog, which runs
// modally inside them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zw {

// 1-based number of the item being carried out; only ever grows.
extern int32_t currentIndex;
// 1 once an item or a driver installation asked for a restart.
extern int32_t rebootPending;
// The path under which the current item is tested and started. At most
// kPathCapacity - 1 characters: a path that would not fit makes the item
// count as missing rather than being cut into another name.
extern std::string currentFile;
// The hidden InstallerWindow, null until created.
extern Hwnd installerWindow;

constexpr size_t kPathCapacity = win::MAX_PATH;

// Back to the state of a fresh process (host tests run many "processes").
void ResetRunState();

}  // namespace zw
