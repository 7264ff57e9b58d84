// One tick of the wait for a started item, the same for a direct start and
// for an item under the ProgressDialog; the item's WaitPlan says which names
// it watches and whether a grace period follows.
#pragma once

#include "setuplist/setup_list.h"

namespace zw {

// True while the item is still to be waited for: its own program runs, or
// (after a short sleep) a name of its waitList does, or, for a direct start,
// the grace period's name shows up again within the period. The caller arms
// its timer again on true and ends the item's wait on false.
bool ItemStillRunning(const SetupItem& item);

}  // namespace zw
