// The processes this run's items were started as, and the installer
// processes among their descendants that a package waits for.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace zw {

// Notes a process that an item's start gave. The record opens a handle of its
// own (wait and query access) that it keeps until the run ends: the process's
// creation and exit times stay readable after it has ended, so a later
// process under the same id is never taken for it.
void NoteStartedProcess(Handle process);

// The run ends: each process of the record that still runs gets a copy of
// runLockHandle, which keeps the one-run lock until it ends; then the
// record's handles are closed.
void ForgetStartedProcesses();

// Before a package: waits, pumping messages, for every running
// "msiexec.exe" that this run started (the process itself, its creator or its
// creator's creator is one the record holds, checked against creation
// times), never for the process serviceProcessId (the Windows Installer
// service). Any other msiexec.exe is someone else's and is left alone. Only
// the run's time limit bounds the wait; nothing is ever ended.
void WaitForInstallersOfThisRun(uint32_t serviceProcessId);

}  // namespace zw
