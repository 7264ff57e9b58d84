// The start of the current item's file, directly or under the ProgressDialog.
#pragma once

#include <cstdint>

namespace zw {

// Starts currentFile as PlanStart says (the shell's start with the item's
// parameters and what keeps a package from restarting the machine, or a host
// of System32's, or nothing for a document nobody could see) and begins the
// item's wait. Before a Windows Installer package, the launcher waits while
// the installer is busy with another installation (at most
// kInstallerBusyLimitMs) and then for every "msiexec.exe" this run started
// (WaitForInstallersOfThisRun). Every process a start gives is noted in the
// run's record. Then sleeps a moment, so the started program is there to be
// seen.
void StartItemProgram();

constexpr uint32_t kInstallerBusyLimitMs = 10 * 60 * 1000;

}  // namespace zw
