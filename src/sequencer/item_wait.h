// The wait for a started item, the same for a direct start and for an item
// under the ProgressDialog; the item's WaitPlan says which names it watches
// and whether a grace period follows.
//
// A program, batch file or package is first waited for through the process
// its start gave: while that runs, a tick is one zero-timeout wait on its
// handle and takes no process snapshot. Once it has ended (its exit code
// read: 3010 and 1641 ask for a restart) the names decide, as for every other
// file: the item's own name, then all waitList names against one snapshot,
// then for a direct start the grace period. A process a snapshot finds by a
// name is held through its handle in the same way; when it ends, the next
// tick takes a snapshot at once. One that cannot be opened is looked for by
// snapshots on every tick.
#pragma once

#include "platform/platform.h"
#include "setuplist/setup_list.h"

namespace zw {

// The current item has been started: its wait begins. process is the handle
// the start gave (null for none); it is kept in startedProcess when the
// item's file is one waited for through its process, or startedByHost (a
// host of System32's runs the file), and closed otherwise.
void BeginItemWait(Handle process, bool startedByHost = false);

// One wait tick. True while the item is still to be waited for; the caller
// arms its timer again on true and ends the item on false.
bool ItemStillRunning(const SetupItem& item);

// The item's wait is over, however it ended (the wait found nothing, the
// dialog was closed, the run ends, a time limit): every process handle the
// wait holds is closed, the exit code of a started process that has ended is
// noted, and the log says what held the wait. Does nothing when no wait is
// open.
void EndItemWait();

}  // namespace zw
