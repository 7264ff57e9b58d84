// Start-up of the launcher: the switches and values it settles before the
// InstallerWindow exists, and the command-line rules they rest on.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace zw {

// 1 when the command-line tail holds "/s": the silent section of the setup
// list and a restart without a question.
extern uint8_t silentMode;
// The module instance; the ProgressDialog's templates are loaded from it.
extern Hinstance instanceHandle;

// The command line without the program name, by the rules of the C start-up
// code: a quoted name ends at the next quote (skipped too), an unquoted one
// before the first character of code 0x20 or below; then every character from
// 0x01 to 0x20 is skipped.
std::string_view CommandLineTail(std::string_view commandLine);

// "/s" anywhere in the tail, case-sensitive, not split into arguments: /s,
// /silent and a/sb count; /S and -s do not.
bool HasSilentSwitch(std::string_view tail);

}  // namespace zw
