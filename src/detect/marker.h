// [Marker]: the one registry value an agent's detection rule reads, written
// in the 64-bit view when a run reached the end of its list without a
// failure. A failed run leaves an older marker as it is.
#pragma once

#include <cstdint>
#include <string>

namespace zw {

// The list's end was reached: after its last item, or when its last item
// started a restart.
void NoteListCompleted();
// How item number ended, for the marker's Items value ("skipped" or its code).
void NoteItemEnd(int32_t number, const std::string& how);
// At the run's end, before any restart: writes the marker when [Marker] is
// present, the list completed and nothing failed. A marker that cannot be
// written is a failure of the run with the system's error.
void WriteMarker();

void ResetMarker();

}  // namespace zw
