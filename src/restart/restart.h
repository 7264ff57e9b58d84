// The restart decision at the end of the run, the forced restart, and the
// report of a failing step.
#pragma once

namespace zw {

// Called once, while the InstallerWindow is destroyed: acts only when an item
// or a driver installation asked for a restart, and not when an item has
// already started one or the time limit was reached. With /norestart it
// neither restarts nor asks, leaving the restart to the caller (3010).
// Silent mode restarts without asking; otherwise the user is asked, in Korean
// or in English. The run's outcome learns what became of the restart.
void OfferRestart();

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

}  // namespace zw
