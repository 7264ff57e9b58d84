// [Restart] Pending=log|refuse: whether Windows waits for a restart before
// item 1 starts. A package installed now might fail, or be undone by the
// restart's own work.
#pragma once

namespace zw {

constexpr const char* kSectionRestart = "Restart";

// Reads [Restart] Pending and, when present, logs the restart signals.
// True when the run must start nothing: Pending=refuse and a counted signal
// (servicing, Windows Update, a computer rename) is set. File renames are
// only logged: cleanups leave them set across restarts.
bool PendingRestartRefuses();

}  // namespace zw
