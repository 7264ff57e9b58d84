// Device lookup by hardware ID and the Plug and Play driver update.
//
// Both searches walk the device-information set of all classes (devices that
// are not present included), pump the thread's messages before each device and
// look only at the first string of a device's hardware-ID list. They keep
// nothing between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zw {

// Size of the buffer the hardware-ID list is read into. A list that doesn't
// fit is passed over. A first hardware ID taken from it, with its NUL, always
// fits a buffer of this size, so callers that want the ID whole use this size.
constexpr size_t kHardwareIdBufferSize = 356;

// Shown (no owner, MB_OK) by HardwareIdExists for each device whose list is
// longer than the buffer; Korean whatever the language of the run.
inline constexpr char kBufferTooSmallText[] =
    "\xB9\xF6\xC6\xDB\xB0\xA1 \xBA\xCE\xC1\xB7\xC7\xD5\xB4\xCF\xB4\xD9.";  // 버퍼가 부족합니다.
inline constexpr char kBufferTooSmallCaption[] = "\xBF\xC0\xB7\xF9";       // 오류

// The functions of system DLLs that are not KnownDLLs. Loaded by name, such a
// DLL would be taken from the launcher's folder, where anyone may have put
// one; so each is loaded from System32 alone, when a driver item first needs
// it, and stays loaded.
struct SystemEntry {
    const wchar_t* library;
    const char* function;
};
inline constexpr SystemEntry kDeviceEntries[] = {
    {L"cfgmgr32.dll", "CM_Get_DevNode_Status"},
    {L"newdev.dll", "UpdateDriverForPlugAndPlayDevicesA"},
};

// Loads the DLLs of kDeviceEntries from System32 and finds their functions.
// False, after a line in the run log, when one is missing, with the failing
// call's error as the last error: the driver item then fails and the run goes
// on.
bool LoadDeviceLibraries();

// Finds a present device whose first hardware ID contains searchText (both
// upper-cased with CharUpperA; searchText in place, so the caller's buffer
// reads in upper case afterwards). On success the upper-cased first hardware
// ID is copied with its NUL into foundHardwareId and true is returned.
// foundHardwareId is left untouched otherwise. A matching ID that wouldn't fit
// foundSize is never cut: that device is passed over (cannot happen when
// foundSize is kHardwareIdBufferSize).
bool FindDeviceByHardwareId(char* searchText, char* foundHardwareId, size_t foundSize);

// The driver of the device FindDeviceByHardwareId finds: the DriverVersion
// and ProviderName of its driver key, or why they cannot be read.
enum class FoundDriver : uint8_t { NoDevice, Read, Unreadable };
FoundDriver ReadFoundDeviceDriver(char* searchText, std::string& version, std::string& provider, std::string& why);

// True when some device, present or not, has hardwareId as its first hardware
// ID, letter case ignored. hardwareId is upper-cased in place.
bool HardwareIdExists(char* hardwareId);

// HardwareIdExists, then UpdateDriverForPlugAndPlayDevicesA with the owner, an
// own copy of the (upper-cased) hardware ID, the INF path and the flags as they
// are. rebootRequired is written only by the platform. True when the platform
// reports success; nothing is shown on failure. The platform's call runs on a
// thread of its own while this thread dispatches its messages; it returns
// once that call has returned.
bool UpdateDeviceDriver(Hwnd owner, char* hardwareId, const char* infPath, uint32_t installFlags,
                        int32_t* rebootRequired);

// True while UpdateDeviceDriver waits for the platform's call.
bool DriverUpdateRunning();

}  // namespace zw
