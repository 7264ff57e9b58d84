#include "restart/restart.h"

#include "platform/ascii.h"
#include "platform/platform.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "state/bounded_box.h"
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

const char16_t kRestartNoticeEnglish[] = u"The installation has finished. The system restarts to complete it.";
// 설치가 끝났습니다. 설치를 완료하기 위해 시스템을 재부팅합니다.
const char16_t kRestartNoticeKorean[] =
    u"\uC124\uCE58\uAC00 \uB05D\uB0AC\uC2B5\uB2C8\uB2E4. \uC124\uCE58\uB97C \uC644\uB8CC\uD558\uAE30 "
    u"\uC704\uD574 \uC2DC\uC2A4\uD15C\uC744 \uC7AC\uBD80\uD305\uD569\uB2C8\uB2E4.";

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
    const uint32_t length = sys.FormatMessageA(
        win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_FROM_SYSTEM | win::FORMAT_MESSAGE_IGNORE_INSERTS,
        code, win::LANG_NEUTRAL_SUBLANG_DEFAULT, &text);
    const char* shown = length != 0 && text != nullptr ? text : kNoSystemText;
    Log("restart: ", failingCall, " failed: ", shown, " (", code, ")");
    // Nobody could answer the box in a silent run or on a window station
    // nobody sees; the run goes on as after OK.
    if (MayShowBoxes()) BoundedMessageBox(shown, failingCall, win::MB_OK, win::IDOK);
    if (text != nullptr) sys.LocalFree(text);
    sys.SetLastError(code);
}

namespace {

// ExitWindowsEx may accept the request and still not restart when the caller
// is not the interactive user (SYSTEM in session 0), and its EWX_FORCE does
// nothing while terminal services run: InitiateShutdownW restarts from any
// session, logging every session off. ExitWindowsEx remains where that call
// is missing or not implemented. The reason goes to the system's event log.
bool RequestRestart()
{
    Platform& sys = Sys();
    const bool korean = EqualsIgnoringAsciiCase(languageTag, "kor");
    const uint32_t result = sys.InitiateShutdownW(
        korean ? kRestartNoticeKorean : kRestartNoticeEnglish, kRestartGraceSeconds,
        win::SHUTDOWN_RESTART | win::SHUTDOWN_FORCE_OTHERS | win::SHUTDOWN_FORCE_SELF, kRestartReason);
    if (result == win::ERROR_SUCCESS) {
        Log("restart: the system restarts in ", kRestartGraceSeconds, " s");
        return true;
    }
    if (result != win::ERROR_CALL_NOT_IMPLEMENTED) {
        sys.SetLastError(result);
        ReportLastError("InitiateShutdownW");
        return false;
    }
    Log("restart: InitiateShutdownW is not implemented here; ExitWindowsEx instead");
    if (sys.ExitWindowsEx(win::EWX_REBOOT | win::EWX_FORCE, kRestartReason)) {
        Log("restart: the system restarts");
        return true;
    }
    ReportLastError("ExitWindowsEx");
    return false;
}

}  // namespace

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
    const bool accepted = RequestRestart();
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
    if (RunFailed()) {
        // A failed chain is not finished by a restart: whoever mends it
        // decides when the machine restarts. The exit code stays the failure.
        ReportRestartNeeded("the run failed, so it neither restarts nor asks; a restart is also pending");
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
    // Nobody answering by the time limit counts as No: the agent gets 3010.
    const int answer = BoundedMessageBox(korean ? kRestartQuestionKorean : kRestartQuestionEnglish,
                                         korean ? kRestartCaptionKorean : kRestartCaptionEnglish,
                                         win::MB_YESNO | win::MB_ICONQUESTION | win::MB_TOPMOST, win::IDNO);
    Log("end: a restart is needed; the user answered ", answer == win::IDYES ? "Yes" : "No");
    if (answer == win::IDYES)
        Restart();
    else
        ReportRestartNeeded("the user answered No");
}

}  // namespace zw
