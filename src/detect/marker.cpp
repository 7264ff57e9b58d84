#include "detect/marker.h"

#include "detect/detect_rules.h"
#include "platform/decimal.h"
#include "platform/platform.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "setuplist/setup_list.h"
#include "state/run_outcome.h"
#include "state/run_state.h"
#include "zarnowel_version.h"

namespace zw {

namespace {

bool listCompleted = false;
std::string items;

std::string ListValue(const char* key)
{
    if (programDirectory.empty()) return std::string();
    const std::string list = programDirectory + "\\" + (kSetupListFile + 2);
    char buffer[kDetectBufferSize] = {};
    Sys().GetPrivateProfileStringA(kSectionMarker, key, "", buffer, kDetectBufferSize, list.c_str());
    buffer[kDetectBufferSize - 1] = '\0';
    return buffer;
}

// "2026-12-08T13:32:39Z": UTC, the same in every locale.
std::string CompletedText()
{
    SystemTime t;
    Sys().GetSystemTime(t);
    std::string text;
    AppendDecimal(text, t.wYear, 4);
    text += '-';
    AppendDecimal(text, t.wMonth, 2);
    text += '-';
    AppendDecimal(text, t.wDay, 2);
    text += 'T';
    AppendDecimal(text, t.wHour, 2);
    text += ':';
    AppendDecimal(text, t.wMinute, 2);
    text += ':';
    AppendDecimal(text, t.wSecond, 2);
    return text + 'Z';
}

}  // namespace

void NoteListCompleted() { listCompleted = true; }

void NoteItemEnd(int32_t number, const std::string& how)
{
    items += (items.empty() ? "" : ";") + std::to_string(number) + "=" + how;
}

void WriteMarker()
{
    const std::string key = ListValue("Key");
    if (key.empty()) return;
    if (!listCompleted || RunFailed()) {
        Log("end: marker not written: the run ", RunFailed()
                                                     ? "failed (exit code " + std::to_string(RunExitCode()) + ")"
                                                     : std::string("did not complete its list"));
        return;
    }
    const std::string version = ListValue("Version");
    Version parsed;
    if (const char* problem = MarkerKeyProblem(key))
        return ReportFailure(win::ERROR_INVALID_DATA, "end: marker HKLM\\" + key + " not written: " + problem);
    if (!ParseVersion(version, parsed))
        return ReportFailure(win::ERROR_INVALID_DATA,
                             "end: marker not written: its Version \"" + version + "\" is no version");
    const uint32_t exitCode = RestartStarted()     ? win::ERROR_SUCCESS_REBOOT_INITIATED
                              : rebootPending == 1 ? win::ERROR_SUCCESS_REBOOT_REQUIRED
                                                   : kExitSuccess;
    const std::string completed = CompletedText();
    const uint8_t code[4] = {static_cast<uint8_t>(exitCode), static_cast<uint8_t>(exitCode >> 8),
                             static_cast<uint8_t>(exitCode >> 16), static_cast<uint8_t>(exitCode >> 24)};
    const std::string texts[][2] = {
        {"Completed", completed}, {"Items", items}, {"LauncherVersion", ZW_VERSION_TEXT}, {"Version", version}};

    Platform& sys = Sys();
    Handle handle = nullptr;
    // The 64-bit view from both executables: an agent's rule reads it there.
    uint32_t status = sys.RegCreateKeyExA(key.c_str(), win::KEY_SET_VALUE | win::KEY_WOW64_64KEY, handle);
    if (status == win::ERROR_SUCCESS) {
        status = sys.RegSetValueExA(handle, "ExitCode", win::REG_DWORD, code, sizeof code);
        // Version last: a run ended half-way through never satisfies the rule.
        for (const auto& value : texts) {
            if (status != win::ERROR_SUCCESS) break;
            status = sys.RegSetValueExA(handle, value[0].c_str(), win::REG_SZ,
                                        reinterpret_cast<const uint8_t*>(value[1].c_str()),
                                        static_cast<uint32_t>(value[1].size() + 1));
        }
        sys.RegCloseKey(handle);
    }
    if (status != win::ERROR_SUCCESS)
        return ReportFailure(
            status, "end: marker HKLM\\" + key + " (64-bit view) cannot be written: " + SystemErrorText(status));
    Log("end: marker HKLM\\", key, " (64-bit view) written: Version ", version, ", ExitCode ", exitCode, ", Completed ",
        completed);
}

void ResetMarker()
{
    listCompleted = false;
    items.clear();
}

}  // namespace zw
