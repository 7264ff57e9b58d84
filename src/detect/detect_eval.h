// [Detect] on the machine: each rule holds, does not hold or cannot be
// judged, and what the sequencer does with that before and after an item.
#pragma once

#include <cstdint>
#include <string>

#include "detect/detect_rules.h"

namespace zw {

enum class Verdict : uint8_t { Holds, NotHeld, Unknown };

struct RuleFinding {
    Verdict verdict = Verdict::Unknown;
    std::string found;  // what was found, for the log
};

// One rule of item number, through Sys(). msi.dll and version.dll are loaded
// from System32 when a rule first needs them.
RuleFinding EvaluateRule(const DetectRule& rule, int32_t number);

// Reads item number's [Detect] value and checks its rules, after the item's
// lasting change of directory and before its file is looked for. True when
// every rule holds: the item is skipped and counts as success. Rules that
// cannot be judged never skip.
bool DetectSkips(int32_t number);

// Item number ended with code, which counts as success for it; accepted
// only by [ExitCodes] when listedOnly. After 0 and 1707 its rules must hold
// now, else the run fails with 1603; after any other code they are not
// checked (the log says why).
void DetectAfter(int32_t number, uint32_t code, bool listedOnly);

void ResetDetect();

}  // namespace zw
