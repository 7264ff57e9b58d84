#include "restart/pending_restart.h"

#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/platform.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "setuplist/setup_list.h"

namespace zw {

namespace {

constexpr uint32_t kView = win::KEY_QUERY_VALUE | win::KEY_WOW64_64KEY;
constexpr uint32_t kRenameLimit = 1 << 20;

bool KeyExists(const char* key)
{
    Handle handle = nullptr;
    if (Sys().RegOpenKeyExA(key, kView, handle) != win::ERROR_SUCCESS) return false;
    Sys().RegCloseKey(handle);
    return true;
}

// A value of a key as bytes; empty when it cannot be read.
std::vector<uint8_t> ReadValue(const char* key, const char* name, uint32_t limit)
{
    Platform& sys = Sys();
    Handle handle = nullptr;
    std::vector<uint8_t> data;
    if (sys.RegOpenKeyExA(key, kView, handle) != win::ERROR_SUCCESS) return data;
    uint32_t type = 0, size = 0;
    if (sys.RegQueryValueExA(handle, name, type, nullptr, size) == win::ERROR_SUCCESS && size > 0 && size <= limit) {
        data.resize(size);
        if (sys.RegQueryValueExA(handle, name, type, data.data(), size) != win::ERROR_SUCCESS) size = 0;
        data.resize(size <= data.size() ? size : 0);
    }
    sys.RegCloseKey(handle);
    return data;
}

std::string Text(const std::vector<uint8_t>& data)
{
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

// The non-empty strings of a REG_MULTI_SZ.
size_t Entries(const std::vector<uint8_t>& data)
{
    size_t count = 0, length = 0;
    for (const uint8_t c : data) {
        if (c != 0) {
            ++length;
            continue;
        }
        count += length > 0;
        length = 0;
    }
    return count + (length > 0);
}

}  // namespace

bool PendingRestartRefuses()
{
    if (programDirectory.empty()) return false;
    const std::string list = programDirectory + "\\" + (kSetupListFile + 2);
    char mode[16] = {};
    Sys().GetPrivateProfileStringA(kSectionRestart, "Pending", "", mode, sizeof mode, list.c_str());
    mode[sizeof mode - 1] = '\0';
    if (mode[0] == '\0') return false;
    const bool refuse = EqualsIgnoringAsciiCase(mode, "refuse");
    if (!refuse && !EqualsIgnoringAsciiCase(mode, "log"))
        Log("start: [Restart] Pending=", mode, " is neither log nor refuse; the check only logs");

    std::string counted;
    auto note = [&counted](const std::string& what) { counted += (counted.empty() ? "" : "; ") + what; };
    if (KeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending"))
        note("Component Based Servicing (RebootPending)");
    if (KeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired"))
        note("Windows Update (RebootRequired)");
    const std::string active =
        Text(ReadValue("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", "ComputerName", 512));
    const std::string next =
        Text(ReadValue("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", 512));
    if (!active.empty() && !next.empty() && !EqualsIgnoringAsciiCase(active, next))
        note("computer rename (" + active + " to " + next + ")");
    size_t renames = 0;
    for (const char* name : {"PendingFileRenameOperations", "PendingFileRenameOperations2"})
        renames += Entries(ReadValue("SYSTEM\\CurrentControlSet\\Control\\Session Manager", name, kRenameLimit));

    const std::string files =
        renames == 0 ? std::string()
                     : "PendingFileRenameOperations " + std::to_string(renames) + " entries (logged, not counted)";
    if (counted.empty() && files.empty())
        Log("start: no restart is pending");
    else
        Log("start: pending restart: ", counted, counted.empty() || files.empty() ? "" : "; ", files);
    if (!refuse || counted.empty()) return false;
    Log("start: a restart is pending and [Restart] Pending=refuse: nothing is started");
    return true;
}

}  // namespace zw
