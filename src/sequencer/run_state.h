// Run state of the install sequence. It lives for the whole process and is
// shared by the InstallerWindow's handlers and the ProgressDialog, which runs
// modally inside them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// The parameters that stand for none: the item is started at once, without
// the ProgressDialog, and the blank is what the program receives.
constexpr std::string_view kNoParameters = " ";

// Makes path the currentFile; false (and currentFile empty) when it would not
// fit, so the caller treats the item as missing.
bool AssignCurrentFile(const std::string& path);
// The existence test of the current item's file.
bool CurrentFileExists();
// Starts the current item's file with its parameters: before a Windows
// Installer package, up to two running "msiexec.exe" are ended.
void StartItemProgram();

// Back to the state of a fresh process (host tests run many "processes").
void ResetRunState();

}  // namespace zw
