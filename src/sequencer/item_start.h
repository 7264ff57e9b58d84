// The start of the current item's file, directly or under the ProgressDialog.
#pragma once

#include <cstdint>

namespace zw {

// Starts currentFile with the current item's parameters through the shell
// and begins the item's wait. Before a Windows Installer package, the launcher
// waits while the installer is busy with another installation (at most
// kInstallerBusyLimitMs) and then ends up to two running "msiexec.exe" that
// this run started (EndInstallersOfThisRun); when the wait ran out, none.
// Every process a start gives is noted in the run's record. Then sleeps a moment, so the
// started program is there to be seen.
void StartItemProgram();

constexpr uint32_t kInstallerBusyLimitMs = 10 * 60 * 1000;

}  // namespace zw
