#include "state/run_state.h"

namespace zw {

uint8_t silentMode = 0;
uint8_t unattended = 0;
uint8_t noRestart = 0;
int32_t exitCode = 0;
Hinstance instanceHandle = nullptr;
Hwnd installerWindow = nullptr;
int32_t currentIndex = 0;
int32_t rebootPending = 0;
std::string currentFile;
Handle startedProcess = nullptr;
std::vector<StartedProcess> startedProcesses;

bool MayShowBoxes() { return silentMode == 0 && unattended == 0; }

bool FitsPathBuffer(std::string_view path) { return path.size() < kPathCapacity; }

bool AssignCurrentFile(const std::string& path)
{
    if (!FitsPathBuffer(path)) {
        currentFile.clear();
        return false;
    }
    currentFile = path;
    return true;
}

bool CurrentFileExists() { return !currentFile.empty() && Sys().FileExists(currentFile.c_str()); }

void ResetRunState()
{
    silentMode = 0;
    unattended = 0;
    noRestart = 0;
    exitCode = 0;
    startedProcess = nullptr;
    startedProcesses.clear();
    instanceHandle = nullptr;
    installerWindow = nullptr;
    currentIndex = 0;
    rebootPending = 0;
    currentFile.clear();
}

}  // namespace zw
