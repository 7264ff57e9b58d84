#include "driver/driver_update.h"

#include <cstring>
#include <string>

#include "platform/pump.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "state/bounded_box.h"
#include "state/run_state.h"

namespace zw {

namespace {

// Terminates a text at most maxLength characters long; returns its length, or
// maxLength + 1 when no NUL was found within it. Never reads past it.
size_t BoundedLength(const char* text, size_t maxLength)
{
    for (size_t i = 0; i <= maxLength; ++i)
        if (text[i] == '\0') return i;
    return maxLength + 1;
}

// Walks all devices, reading each one's hardware-ID list, and hands the
// readable ones to test(set, device, firstId, requiredSize) until it returns true.
// firstId is the property buffer as a C string, writable and NUL-terminated
// within the buffer. Returns whether a device matched.
template <class Test>
bool SearchDevices(bool reportLongLists, Test test)
{
    Platform& sys = Sys();
    Handle set = sys.SetupDiGetClassDevsA(win::DIGCF_ALLCLASSES);
    if (set == kInvalidHandle) return false;

    DeviceInfoData device;
    bool matched = false;
    for (uint32_t index = 0; sys.SetupDiEnumDeviceInfo(set, index, device); ++index) {
        PumpPendingMessages();

        // Cleared for every device: a short or unterminated property must not
        // pick up the tail of the previous device's list.
        uint8_t buffer[kHardwareIdBufferSize] = {};
        uint32_t dataType = 0;
        uint32_t requiredSize = 0;
        if (!sys.SetupDiGetDeviceRegistryPropertyA(set, device, win::SPDRP_HARDWAREID, &dataType, buffer,
                                                   kHardwareIdBufferSize, &requiredSize)) {
            uint32_t error = sys.GetLastError();
            if (error == win::ERROR_INVALID_DATA) continue;  // no hardware IDs
            if (error == win::ERROR_INSUFFICIENT_BUFFER) {
                if (reportLongLists) {
                    Log("driver: device ", index, " has a hardware-ID list longer than ", kHardwareIdBufferSize,
                        " bytes and is passed over");
                    // Nobody could answer the box in a silent run or on a window
                    // station nobody sees; the run goes on as after OK.
                    if (MayShowBoxes())
                        BoundedMessageBox(kBufferTooSmallText, kBufferTooSmallCaption, win::MB_OK, win::IDOK);
                }
                continue;
            }
            break;
        }
        // A list that fills the buffer without its terminator is still read as
        // a C string: the last byte is always a NUL.
        buffer[kHardwareIdBufferSize - 1] = 0;
        if (test(set, device, reinterpret_cast<char*>(buffer), requiredSize)) {
            matched = true;
            break;
        }
    }
    sys.SetupDiDestroyDeviceInfoList(set);
    return matched;
}

// One call of the platform's driver update, with what it gave back.
struct DriverUpdateCall {
    Hwnd owner;
    const char* hardwareId;
    const char* infPath;
    uint32_t installFlags;
    int32_t* rebootRequired;
    bool succeeded = false;
    uint32_t error = 0;  // the calling thread's last error after a failure
};

bool updateRunning = false;

uint32_t RunDriverUpdate(void* parameter)
{
    DriverUpdateCall& call = *static_cast<DriverUpdateCall*>(parameter);
    Platform& sys = Sys();
    call.succeeded = sys.UpdateDriverForPlugAndPlayDevicesA(call.owner, call.hardwareId, call.infPath,
                                                            call.installFlags, call.rebootRequired);
    call.error = call.succeeded ? 0 : sys.GetLastError();
    return 0;
}

// Class and co-installers may use COM and expect it set up on the thread
// that installs; a worker thread is of no apartment until it joins one.
uint32_t RunDriverUpdateOnThread(void* parameter)
{
    Platform& sys = Sys();
    const bool com = sys.CoInitializeEx(win::COINIT_MULTITHREADED) >= 0;
    RunDriverUpdate(parameter);
    if (com) sys.CoUninitialize();
    return 0;
}

// A driver installation can take minutes. It runs on a thread of its own
// while this one goes on serving its windows, so the progress dialog keeps
// painting and answering instead of being ghosted; this returns only once the
// call has, since the call works on the caller's buffers. Nothing but the
// platform's call runs on that thread: every log line is written here.
void CallDriverUpdate(DriverUpdateCall& call)
{
    Platform& sys = Sys();
    Handle thread = sys.CreateThread(RunDriverUpdateOnThread, &call);
    if (thread == nullptr) {
        Log("driver: no thread for the update (", SystemErrorText(sys.GetLastError()),
            "); it runs on the window's thread");
        RunDriverUpdate(&call);
        return;
    }
    updateRunning = true;
    // A quit request ends the pumping, not the wait.
    if (WaitPumpingMessages(thread, win::INFINITE) != WaitOutcome::Signalled)
        sys.WaitForSingleObject(thread, win::INFINITE);
    updateRunning = false;
    sys.CloseHandle(thread);
}

std::string Narrow(const wchar_t* text)
{
    std::string out;
    for (; *text != 0; ++text) out += static_cast<char>(*text);  // the names are ASCII
    return out;
}

// FindDeviceByHardwareId's test: a present device whose upper-cased first
// hardware ID holds the upper-cased searchText.
bool IsSearchedDevice(DeviceInfoData& device, char* firstId, char* searchText)
{
    Platform& sys = Sys();
    sys.CharUpperA(searchText);
    sys.CharUpperA(firstId);
    if (std::strstr(firstId, searchText) == nullptr) return false;
    uint32_t status = 0;
    uint32_t problem = 0;
    return sys.CM_Get_DevNode_Status(&status, &problem, device.devInst, 0) != win::CR_NO_SUCH_DEVNODE;
}

// A REG_SZ of the driver key, or false with why.
bool ReadDriverText(Handle key, const char* name, std::string& text, std::string& why)
{
    uint8_t data[128] = {};
    uint32_t type = 0, size = sizeof data - 1;  // the last byte stays a terminator
    const uint32_t read = Sys().RegQueryValueExA(key, name, type, data, size);
    if (read != win::ERROR_SUCCESS) {
        why = std::string(name) + " cannot be read: " + SystemErrorText(read);
        return false;
    }
    if (type != win::REG_SZ) {
        why = std::string(name) + " is of type " + std::to_string(type);
        return false;
    }
    text.assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    return true;
}

}  // namespace

bool DriverUpdateRunning() { return updateRunning; }

bool LoadDeviceLibraries()
{
    Platform& sys = Sys();
    for (const SystemEntry& entry : kDeviceEntries) {
        Handle module = sys.LoadLibraryExW(entry.library, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module == nullptr) {
            const uint32_t error = sys.GetLastError();
            Log("driver: ", Narrow(entry.library),
                " cannot be loaded from the system folder: ", SystemErrorText(error));
            sys.SetLastError(error);
            return false;
        }
        if (!sys.GetProcAddress(module, entry.function)) {
            const uint32_t error = sys.GetLastError();
            Log("driver: ", Narrow(entry.library), " has no ", entry.function, ": ", SystemErrorText(error));
            sys.SetLastError(error);
            return false;
        }
    }
    return true;
}

bool FindDeviceByHardwareId(char* searchText, char* foundHardwareId, size_t foundSize)
{
    if (searchText == nullptr || foundHardwareId == nullptr) return false;
    return SearchDevices(false, [&](Handle, DeviceInfoData& device, char* firstId, uint32_t) {
        if (!IsSearchedDevice(device, firstId, searchText)) return false;
        size_t length = std::strlen(firstId);
        if (length >= foundSize) return false;
        std::memcpy(foundHardwareId, firstId, length + 1);
        return true;
    });
}

FoundDriver ReadFoundDeviceDriver(char* searchText, std::string& version, std::string& provider, std::string& why)
{
    FoundDriver found = FoundDriver::NoDevice;
    if (searchText == nullptr) return found;
    Platform& sys = Sys();
    SearchDevices(false, [&](Handle set, DeviceInfoData& device, char* firstId, uint32_t) {
        if (!IsSearchedDevice(device, firstId, searchText)) return false;
        found = FoundDriver::Unreadable;
        Handle key =
            sys.SetupDiOpenDevRegKey(set, device, win::DICS_FLAG_GLOBAL, 0, win::DIREG_DRV, win::KEY_QUERY_VALUE);
        if (key == kInvalidHandle || key == nullptr) {
            why = std::string(firstId) + ": its driver key cannot be opened: " + SystemErrorText(sys.GetLastError());
            return true;
        }
        if (ReadDriverText(key, "DriverVersion", version, why) && ReadDriverText(key, "ProviderName", provider, why))
            found = FoundDriver::Read;
        else
            why = std::string(firstId) + ": " + why;
        sys.RegCloseKey(key);
        return true;
    });
    return found;
}

bool HardwareIdExists(char* hardwareId)
{
    if (hardwareId == nullptr) return false;
    Platform& sys = Sys();
    return SearchDevices(true, [&](Handle, DeviceInfoData&, char* firstId, uint32_t requiredSize) {
        sys.CharUpperA(hardwareId);
        sys.CharUpperA(firstId);
        // The required size covers the whole list, and firstId ends within the
        // buffer, so this is equality with the first hardware ID.
        return std::strncmp(hardwareId, firstId, requiredSize) == 0;
    });
}

bool UpdateDeviceDriver(Hwnd owner, char* hardwareId, const char* infPath, uint32_t installFlags,
                        int32_t* rebootRequired)
{
    if (hardwareId == nullptr || infPath == nullptr) return false;
    if (!HardwareIdExists(hardwareId)) {
        Log("driver: no device has ", Quoted(hardwareId), " as its first hardware ID; nothing is installed");
        return false;
    }

    // The platform gets a copy of its own; an ID too long for it isn't cut
    // (a cut ID would name another device or none).
    char copy[kHardwareIdBufferSize];
    size_t length = BoundedLength(hardwareId, kHardwareIdBufferSize - 1);
    if (length >= kHardwareIdBufferSize) return false;
    std::memcpy(copy, hardwareId, length + 1);

    DriverUpdateCall call{owner, copy, infPath, installFlags, rebootRequired};
    CallDriverUpdate(call);
    if (call.succeeded) {
        const bool restart = rebootRequired != nullptr && *rebootRequired != 0;
        Log("driver: ", infPath, " installed for ", copy, restart ? "; the system asks for a restart" : "");
        return true;
    }
    Log("driver: the update of ", copy, " with ", infPath,
        (installFlags & win::INSTALLFLAG_NONINTERACTIVE) != 0 ? " (no interaction)" : "",
        " failed: ", SystemErrorText(call.error));
    // The call ran on a thread of its own: its error is handed on here.
    Sys().SetLastError(call.error);
    return false;
}

}  // namespace zw
