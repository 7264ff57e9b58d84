// Compile-time proof that the core's copies of Win32 values match <windows.h>.
// The core's values are captured before <windows.h> defines its macros.
#include "platform/win_values.h"

namespace {
#define ZW_CAPTURE(name) constexpr long long core_##name = static_cast<long long>(zw::win::name);
ZW_WIN_CONSTANTS(ZW_CAPTURE)
#undef ZW_CAPTURE
}  // namespace

#include <windows.h>
#include <cfgmgr32.h>
#include <msi.h>
#include <newdev.h>
#include <objbase.h>
#include <setupapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

// Values the headers spell differently from the core.
#define PROCESS_ALL_ACCESS_LEGACY (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xFFF)
#define LANG_NEUTRAL_SUBLANG_DEFAULT MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)
#define QS_ALLINPUT_LEGACY                                                                                     \
    (QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_KEY | QS_RAWINPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY | \
     QS_SENDMESSAGE)

#define ZW_CHECK(name) static_assert(core_##name == static_cast<long long>(name), #name);
ZW_WIN_CONSTANTS(ZW_CHECK)
#undef ZW_CHECK
