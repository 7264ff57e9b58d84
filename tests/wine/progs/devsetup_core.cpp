// devsetup: sets up root-enumerated test devices in a Wine prefix and runs the
// launcher's device lookup and driver update against them, printing what the
// system did.
//
//   devsetup create <deviceName> <hardwareId> [<moreIds>...]   register a root device
//   devsetup createlong <deviceName> <hardwareId>               same, ID list longer than 356 bytes
//   devsetup remove <hardwareId>                                 remove devices with that first ID
//   devsetup show <hardwareId>                                   properties and driver key
//   devsetup step <text> <infPath>                               the driver step: find, then update
//
// Everything goes to stdout as "key: value" lines. A message box that the
// update brings up is answered with OK by a watcher thread, which reports its
// caption and text (as UTF-16 code units, independent of the code page).
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "driver/driver_update.h"
#include "platform/adapter.h"

namespace {

const GUID kClassSystem = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// One "key: value" line, the value formatted as printf does.
__attribute__((format(printf, 2, 3))) void Out(const char* key, const char* format, ...)
{
    char value[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(value, sizeof value, format, args);
    va_end(args);
    std::printf("%s: %s\n", key, value);
    std::fflush(stdout);
}

// The code units of a text in hex: UTF-16 ones, or the bytes of an ANSI text
// as the system code page holds them.
template <class Unit>
std::string HexUnits(const Unit* s)
{
    std::string out;
    for (; *s; ++s) {
        char b[8];
        std::snprintf(b, sizeof b, "%s%0*X", out.empty() ? "" : " ", static_cast<int>(2 * sizeof(Unit)),
                      static_cast<unsigned>(static_cast<std::make_unsigned_t<Unit>>(*s)));
        out += b;
    }
    return out;
}

// A device property's bytes; on failure false, the error in GetLastError.
bool ReadProperty(HDEVINFO set, SP_DEVINFO_DATA& dev, DWORD property, std::vector<BYTE>& data)
{
    DWORD type = 0, need = 0;
    data.assign(4096, 0);
    if (!SetupDiGetDeviceRegistryPropertyA(set, &dev, property, &type, data.data(), static_cast<DWORD>(data.size()),
                                           &need))
        return false;
    data.resize(need);
    return true;
}

std::string PropertyText(HDEVINFO set, SP_DEVINFO_DATA& dev, DWORD property)
{
    std::vector<BYTE> data;
    if (!ReadProperty(set, dev, property, data)) return "(error " + std::to_string(GetLastError()) + ")";
    return std::string(reinterpret_cast<const char*>(data.data()),
                       strnlen(reinterpret_cast<const char*>(data.data()), data.size()));
}

// Devices of all classes whose first hardware ID equals id, letter case ignored.
template <class Action>
int ForEachDevice(const char* id, Action action)
{
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        Out("classDevsError", "%lu", GetLastError());
        return 0;
    }
    int count = 0;
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
        std::vector<BYTE> data;
        if (!ReadProperty(set, dev, SPDRP_HARDWAREID, data)) continue;
        data.push_back(0);
        if (lstrcmpiA(reinterpret_cast<const char*>(data.data()), id) != 0) continue;
        ++count;
        action(set, dev);
    }
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& dev)
{
    char instance[MAX_DEVICE_ID_LEN + 1] = {};
    SetupDiGetDeviceInstanceIdA(set, &dev, instance, sizeof instance, nullptr);
    return instance;
}

int Create(const char* name, const std::vector<std::string>& ids)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kClassSystem, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        Out("createListError", "%lu", GetLastError());
        return 1;
    }
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    int rc = 1;
    std::vector<char> list;  // REG_MULTI_SZ: each ID with its terminator, then one more
    for (const std::string& id : ids) list.insert(list.end(), id.c_str(), id.c_str() + id.size() + 1);
    list.push_back('\0');
    if (!SetupDiCreateDeviceInfoA(set, name, &kClassSystem, "Zarnowel test device", nullptr, DICD_GENERATE_ID, &dev)) {
        Out("createInfoError", "%lu", GetLastError());
    } else if (!SetupDiSetDeviceRegistryPropertyA(set, &dev, SPDRP_HARDWAREID, reinterpret_cast<BYTE*>(list.data()),
                                                  static_cast<DWORD>(list.size()))) {
        Out("setHardwareIdError", "%lu", GetLastError());
    } else if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &dev)) {
        Out("registerError", "%lu", GetLastError());
    } else {
        Out("created", "%s", InstanceId(set, dev).c_str());
        Out("hardwareIdBytes", "%u", static_cast<unsigned>(list.size()));
        rc = 0;
    }
    SetupDiDestroyDeviceInfoList(set);
    return rc;
}

int Remove(const char* id)
{
    ForEachDevice(id, [&](HDEVINFO set, SP_DEVINFO_DATA& dev) {
        if (!SetupDiCallClassInstaller(DIF_REMOVE, set, &dev))
            Out("removeError", "%s %lu", InstanceId(set, dev).c_str(), GetLastError());
    });
    return 0;
}

std::string RegValue(HKEY key, const char* name)
{
    char data[512] = {};
    DWORD type = 0, size = sizeof data - 1;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (r != ERROR_SUCCESS) return "(none)";
    if (type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(data));
    return data;
}

int Show(const char* id)
{
    int n = ForEachDevice(id, [&](HDEVINFO set, SP_DEVINFO_DATA& dev) {
        Out("device", "%s", InstanceId(set, dev).c_str());
        Out("  driver", "%s", PropertyText(set, dev, SPDRP_DRIVER).c_str());
        Out("  service", "%s", PropertyText(set, dev, SPDRP_SERVICE).c_str());
        Out("  deviceDesc", "%s", PropertyText(set, dev, SPDRP_DEVICEDESC).c_str());
        HKEY key = SetupDiOpenDevRegKey(set, &dev, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            Out("  driverKey", "(error %lu)", GetLastError());
            return;
        }
        for (const char* value : {"InfPath", "InfSection", "ZarnowelInstalled"})
            Out((std::string("  driverKey.") + value).c_str(), "%s", RegValue(key, value).c_str());
        RegCloseKey(key);
    });
    Out("devices", "%d", n);
    return 0;
}

DWORD stepStart = 0;

// Answers any message box that comes up with OK and reports it.
DWORD WINAPI AnswerBoxes(void*)
{
    HWND answered = nullptr;
    for (;;) {
        HWND box = FindWindowA("#32770", nullptr);
        DWORD pid = 0;
        if (box != nullptr) GetWindowThreadProcessId(box, &pid);
        if (box != nullptr && box != answered && pid == GetCurrentProcessId() && IsWindowVisible(box)) {
            answered = box;
            Out("box.shownAfterMs", "%lu", GetTickCount() - stepStart);
            wchar_t caption[128] = {}, text[256] = {};
            GetWindowTextW(box, caption, 127);
            GetDlgItemTextW(box, 0xFFFF, text, 255);  // the box's static text
            Out("box.caption", "%s", HexUnits(caption).c_str());
            Out("box.text", "%s", HexUnits(text).c_str());
            char ansi[256] = {};
            GetWindowTextA(box, ansi, 255);
            Out("box.captionBytes", "%s", HexUnits(ansi).c_str());
            GetDlgItemTextA(box, 0xFFFF, ansi, 255);
            Out("box.textBytes", "%s", HexUnits(ansi).c_str());
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            while (IsWindow(box)) Sleep(10);
            Out("box.closedAfterMs", "%lu", GetTickCount() - stepStart);
        }
        Sleep(50);
    }
}

// FindDeviceByHardwareId over a copy of text.
std::string FindId(const char* text)
{
    char search[200] = {};
    std::snprintf(search, sizeof search, "%s", text);
    char found[zw::kHardwareIdBufferSize] = {};
    bool result = zw::FindDeviceByHardwareId(search, found, sizeof found);
    Out("find.result", "%d", result ? 1 : 0);
    Out("find.found", "%s", found);
    return found;
}

// As the progress dialog runs it: search, and update only for a found ID.
int Step(const char* text, const char* infPath)
{
    stepStart = GetTickCount();
    CreateThread(nullptr, 0, AnswerBoxes, nullptr, 0, nullptr);
    std::string found = FindId(text);
    if (found.empty()) {
        Out("update", "not called");
        return 0;
    }
    BOOL rebootRequired = FALSE;
    SetLastError(0);
    Out("update.calledAfterMs", "%lu", GetTickCount() - stepStart);
    bool updated =
        zw::UpdateDeviceDriver(nullptr, found.data(), infPath, 0, reinterpret_cast<int32_t*>(&rebootRequired));
    DWORD error = GetLastError();
    Out("update.result", "%d", updated ? 1 : 0);
    Out("update.lastError", "0x%lX", error);
    Out("update.rebootRequired", "%d", rebootRequired);
    Out("update.returnedAfterMs", "%lu", GetTickCount() - stepStart);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    zw::SetPlatform(&zw::Win32Platform());
    // The device functions come from System32 at run time, as in the launcher's driver step.
    if (!zw::LoadDeviceLibraries()) Out("libraries", "missing");
    std::string verb = argc > 1 ? argv[1] : "";
    Out("arch", sizeof(void*) == 8 ? "x64" : "x86");
    Out("acp", "%u", GetACP());
    if (verb == "create" && argc >= 4) return Create(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    if (verb == "createlong" && argc == 4) {
        std::vector<std::string> ids{argv[3]};
        for (int i = 0; i < 12; ++i) ids.push_back("ZARNOWEL\\COMPATIBLE_ID_PADDING_" + std::to_string(i));
        return Create(argv[2], ids);
    }
    if (verb == "remove" && argc == 3) return Remove(argv[2]);
    if (verb == "show" && argc == 3) return Show(argv[2]);
    if (verb == "step" && argc == 4) return Step(argv[2], argv[3]);
    std::fprintf(stderr, "usage: devsetup create|createlong|remove|show|step ...\n");
    return 2;
}
