// What an item's end means for the run: its exit code judged against the
// codes that count as success for it, and, when the time limit ends the run,
// what held it.
#pragma once

#include <cstdint>
#include <string>

#include "setuplist/setup_list.h"

namespace zw {

// 0 and 1707 (the Windows Installer's success), 3010 and 1641 (success that
// asks for a restart, or has begun one), what [ExitCodes] adds, and for an
// update (.msu) 0x240006 (already installed) and 0x80240017 (not applicable).
bool IsSuccessExitCode(const SetupItem& item, uint32_t code);
// A Windows update (.msu), by its file field.
bool IsUpdatePackage(const SetupItem& item);

// Item number ended with code: 3010 asks for a restart, 1641 has started one
// (nothing more starts), any other code that is no success for the item is a
// failure of the run.
void JudgeItemExitCode(int32_t number, const SetupItem& item, uint32_t code);

// The item is taken up now: the clock of what held the run starts.
void NoteItemTakenUp();

// The time limit is reached while item number was waited for: the log says
// which processes of it still run (image names and pids) and for how long it
// held the run, and the outcome becomes 1460. The processes are left running.
void ReportHeldAtTimeLimit(int32_t number, const SetupItem& item);

}  // namespace zw
