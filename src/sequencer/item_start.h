// The start of the current item's file, directly or under the ProgressDialog.
#pragma once

namespace zw {

// Starts currentFile with the current item's parameters through the shell:
// before a Windows Installer package, up to two running "msiexec.exe" are
// ended. Then sleeps a moment, so the started program is there to be seen.
void StartItemProgram();

}  // namespace zw
