// The command line as the launcher reads it: the tail after the program name
// and the switches found in it.
#pragma once

#include <string_view>

namespace zw {

// The command line without the program name, by the rules of the C start-up
// code: a quoted name ends at the next quote (skipped too), an unquoted one
// before the first character of code 0x20 or below; then every character from
// 0x01 to 0x20 is skipped.
std::string_view CommandLineTail(std::string_view commandLine);

// "/s" anywhere in the tail, case-sensitive, not split into arguments: /s,
// /silent and a/sb count; /S and -s do not.
bool HasSilentSwitch(std::string_view tail);

}  // namespace zw
