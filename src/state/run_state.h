// Process-wide run state: set up at start, read and written by the rooms
// above it (start-up, the setup list, the sequence and its dialog, the
// restart). It lives for the whole process; there is one thread, so it needs
// no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace zw {

// 1 when the command-line tail holds "/s": the silent section of the setup
// list, a restart without a question, and no message box at all.
extern uint8_t silentMode;
// 1 when the process's window station is not visible (a service's) or it
// runs in session 0: nobody could answer a box. Decided once at start.
extern uint8_t unattended;
// 1 with "/norestart": a restart that would be made or asked for is left to
// whoever started the launcher, and the run ends with exit code 3010.
extern uint8_t noRestart;
// The bound of /timeout:<minutes> on the whole run, in milliseconds from
// runStartAwakeMs; 0 for none. It counts only time the machine is awake: a
// laptop resumed after a night asleep must not find its time used up.
extern uint32_t timeLimitMs;
extern uint64_t runStartAwakeMs;
// Milliseconds the machine was awake since it started
// (QueryUnbiasedInterruptTime; GetTickCount where that cannot be read).
uint64_t AwakeMs();
// The module instance; the ProgressDialog's templates are loaded from it.
extern Hinstance instanceHandle;
// The hidden InstallerWindow, null until created.
extern Hwnd installerWindow;
// 1-based number of the item being carried out; only ever grows.
extern int32_t currentIndex;
// 1 once an item or a driver installation asked for a restart.
extern int32_t rebootPending;
// The path under which the current item is tested and started. At most
// kPathCapacity - 1 characters: a path that would not fit makes the item
// count as missing rather than being cut into another name.
extern std::string currentFile;
// The process of the item being waited for, while its wait lasts, when its
// file is one that is waited for through its process; null otherwise.
extern Handle startedProcess;
// Every process an item's start gave in this run, with its creation time (a
// FILETIME) and a handle of the record's own, open until the run ends.
struct StartedProcess {
    uint32_t processId = 0;
    uint64_t created = 0;
    Handle handle = nullptr;
};
extern std::vector<StartedProcess> startedProcesses;
// The handle whose life is this run's hold on the one-run lock (the private
// namespace, or the Global mutex), null without one. When the run ends, each
// process it started that still runs gets a copy (runLockKeptByLeftovers), so
// no new run starts beside it.
extern Handle runLockHandle;
extern bool runLockKeptByLeftovers;

// False in a silent run and on a window station nobody sees: what a box would
// have said goes to the log alone, and the shell is told to show none either.
bool MayShowBoxes();

// True once the sequence has met the end of its list (or an item that ends
// it); a run destroyed before that was cut short.
extern bool listDone;

// True when path fits the currentFile buffer.
bool FitsPathBuffer(std::string_view path);
// Makes path the currentFile; false (and currentFile empty) when it would not
// fit, so the caller treats the item as missing.
bool AssignCurrentFile(const std::string& path);
// The existence test of the current item's file.
bool CurrentFileExists();

// True once the time limit is reached: nothing more starts, and the waits end
// with what still runs left running.
bool RunTimeIsUp();
// Milliseconds until the time limit; UINT32_MAX without one.
uint32_t RunTimeLeftMs();

// Back to the state of a fresh process (host tests run many "processes").
void ResetRunState();

}  // namespace zw
