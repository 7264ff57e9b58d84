// The restart decision at the end of the run, the forced restart, and the
// report of a failing step.
#pragma once

#include <cstdint>

namespace zw {

// Called once, while the InstallerWindow is destroyed: acts only when an item
// or a driver installation asked for a restart, and not when an item has
// already started one, the time limit was reached or the run failed. With /norestart it
// neither restarts nor asks, leaving the restart to the caller (3010).
// Silent mode restarts without asking; otherwise the user is asked, in Korean
// or in English. The run's outcome learns what became of the restart.
void OfferRestart();

// Seconds between the restart request and the restart. The system shows the
// notice below in every session a user is logged on to (from session 0 the
// launcher cannot tell whether there is one); with nobody logged on the
// restart merely comes that much later.
constexpr uint32_t kRestartGraceSeconds = 30;

// Enables the shutdown privilege and forces a reboot. Every failing step is
// reported and the next one runs all the same; returns in every case, true
// when Windows accepted the restart.
bool RestartSystem();

// Shows the system's text for the thread's last error under the name of the
// failing call (in the log; in a box too unless the run is silent), and
// leaves the last error as it was.
void ReportLastError(const char* failingCall);

// The question's texts, as the message box receives them. The Korean ones are
// code page 949 bytes.
extern const char kRestartQuestionEnglish[];
extern const char kRestartCaptionEnglish[];
extern const char kRestartQuestionKorean[];
extern const char kRestartCaptionKorean[];
// The notice shown with the restart, in the language of the question.
extern const char16_t kRestartNoticeEnglish[];
extern const char16_t kRestartNoticeKorean[];

}  // namespace zw
