#include "restart/restart.h"

#include "platform/ascii.h"
#include "platform/platform.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "state/run_outcome.h"
#include "state/run_state.h"
#include "setuplist/setup_list.h"

namespace zw {

const char kRestartQuestionEnglish[] = "Reboot system now?";
const char kRestartCaptionEnglish[] = "System Rebooting";
// 프로그램 설치가 끝났습니다. 설치를 완료하려면 시스템을 재부팅하여야 합니다. 지금 재부팅 하시겠습니까?
const char kRestartQuestionKorean[] =
    "\xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5 \xBC\xB3\xC4\xA1\xB0\xA1 \xB3\xA1\xB3\xB5\xBD\xC0\xB4\xCF\xB4\xD9. "
    "\xBC\xB3\xC4\xA1\xB8\xA6 \xBF\xCF\xB7\xE1\xC7\xCF\xB7\xC1\xB8\xE9 \xBD\xC3\xBD\xBA\xC5\xDB\xC0\xBB "
    "\xC0\xE7\xBA\xCE\xC6\xC3\xC7\xCF\xBF\xA9\xBE\xDF \xC7\xD5\xB4\xCF\xB4\xD9. "
    "\xC1\xF6\xB1\xDD \xC0\xE7\xBA\xCE\xC6\xC3 \xC7\xCF\xBD\xC3\xB0\xDA\xBD\xC0\xB4\xCF\xB1\xEE?";
// 시스템 재부팅
const char kRestartCaptionKorean[] = "\xBD\xC3\xBD\xBA\xC5\xDB \xC0\xE7\xBA\xCE\xC6\xC3";

namespace {
constexpr char kShutdownPrivilege[] = "SeShutdownPrivilege";
constexpr char kNoSystemText[] = "FAILURE";
constexpr uint32_t kRestartReason =
    win::SHTDN_REASON_MAJOR_APPLICATION | win::SHTDN_REASON_MINOR_INSTALLATION | win::SHTDN_REASON_FLAG_PLANNED;
}  // namespace

void ReportLastError(const char* failingCall)
{
    Platform& sys = Sys();
    const uint32_t code = sys.GetLastError();
    char* text = nullptr;
    const uint32_t length = sys.FormatMessageA(win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_FROM_SYSTEM,
                                               code, win::LANG_NEUTRAL_SUBLANG_DEFAULT, &text);
    const char* shown = length != 0 && text != nullptr ? text : kNoSystemText;
    Log("restart: ", failingCall, " failed: ", shown, " (", code, ")");
    // Nobody could answer the box in a silent run; it goes on as after OK.
    if (silentMode == 0) sys.MessageBoxA(nullptr, shown, failingCall, win::MB_OK);
    if (text != nullptr) sys.LocalFree(text);
    sys.SetLastError(code);
}

bool RestartSystem()
{
    Platform& sys = Sys();
    Handle token = nullptr;
    if (!sys.OpenProcessToken(win::TOKEN_ADJUST_PRIVILEGES | win::TOKEN_QUERY, token)) {
        token = nullptr;
        ReportLastError("OpenProcessToken");
    }
    TokenPrivileges privileges;
    sys.LookupPrivilegeValueA(nullptr, kShutdownPrivilege, privileges.luid);
    privileges.privilegeCount = 1;
    privileges.attributes = win::SE_PRIVILEGE_ENABLED;
    // The call succeeds also when the token lacks the privilege; only the
    // last error tells (ERROR_NOT_ALL_ASSIGNED).
    sys.AdjustTokenPrivileges(token, false, privileges);
    if (sys.GetLastError() != win::ERROR_SUCCESS) ReportLastError("AdjustTokenPrivileges");
    // The reason goes to the system's event log: a planned installation.
    const bool accepted = sys.ExitWindowsEx(win::EWX_REBOOT | win::EWX_FORCE, kRestartReason);
    if (accepted)
        Log("restart: the system restarts");
    else
        ReportLastError("ExitWindowsEx");
    if (token != nullptr) sys.CloseHandle(token);
    return accepted;
}

namespace {

void Restart()
{
    if (RestartSystem())
        ReportRestartStarted("the launcher");
    else
        ReportRestartNeeded("Windows refused the restart");
}

}  // namespace

void OfferRestart()
{
    if (rebootPending != 1) {
        Log("end: no restart is needed");
        return;
    }
    if (RestartStarted()) {
        // Windows is already going down; a second request would change nothing.
        Log("end: a restart is needed; an item has already started one");
        return;
    }
    if (TimeLimitReached()) {
        // What still runs may be an installer half-way; no restart under it.
        ReportRestartNeeded("the time limit was reached, so the restart is skipped");
        return;
    }
    if (noRestart != 0) {
        // Whoever started the launcher (a management agent) restarts the
        // machine when it suits it.
        Log("end: a restart is needed; /norestart leaves it to the caller");
        ReportRestartNeeded("/norestart");
        return;
    }
    if (silentMode != 0) {
        Log("end: a restart is needed; restarting without a question (/s)");
        Restart();
        return;
    }
    const bool korean = EqualsIgnoringAsciiCase(languageTag, "kor");
    const int answer = Sys().MessageBoxA(nullptr, korean ? kRestartQuestionKorean : kRestartQuestionEnglish,
                                         korean ? kRestartCaptionKorean : kRestartCaptionEnglish,
                                         win::MB_YESNO | win::MB_ICONQUESTION | win::MB_TOPMOST);
    Log("end: a restart is needed; the user answered ", answer == win::IDYES ? "Yes" : "No");
    if (answer == win::IDYES)
        Restart();
    else
        ReportRestartNeeded("the user answered No");
}

}  // namespace zw
