// The processes this run's items were started as, and the installer
// processes among their descendants that a package may end.
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

// Before a package: ends up to two running "msiexec.exe" that this run
// started (the process itself, its creator or its creator's creator is one
// the record holds, checked against creation times), never the process
// serviceProcessId (the Windows Installer service). Any other msiexec.exe is
// someone else's installation and is left alone. Each one ended, left alone
// or not ended is logged; each ended one is waited for up to
// kTerminationWaitMs, since the system ends a process after TerminateProcess
// has returned.
void EndInstallersOfThisRun(uint32_t serviceProcessId);

}  // namespace zw
