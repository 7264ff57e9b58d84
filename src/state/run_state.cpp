#include "state/run_state.h"

#include "state/run_outcome.h"

namespace zw {

uint8_t silentMode = 0;
uint8_t unattended = 0;
uint8_t noRestart = 0;
uint32_t timeLimitMs = 0;
uint64_t runStartAwakeMs = 0;
Hinstance instanceHandle = nullptr;
Hwnd installerWindow = nullptr;
int32_t currentIndex = 0;
int32_t rebootPending = 0;
std::string currentFile;
Handle startedProcess = nullptr;
std::vector<StartedProcess> startedProcesses;
Handle runLockHandle = nullptr;
bool runLockKeptByLeftovers = false;

bool MayShowBoxes() { return silentMode == 0 && unattended == 0; }
bool listDone = false;

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

uint64_t AwakeMs()
{
    uint64_t unbiased = 0;
    if (Sys().QueryUnbiasedInterruptTime(unbiased)) return unbiased / 10000;
    return Sys().GetTickCount();
}

bool RunTimeIsUp() { return RunTimeLeftMs() == 0; }

uint32_t RunTimeLeftMs()
{
    if (timeLimitMs == 0) return UINT32_MAX;
    const uint64_t spent = AwakeMs() - runStartAwakeMs;
    return spent >= timeLimitMs ? 0 : static_cast<uint32_t>(timeLimitMs - spent);
}

void ResetRunState()
{
    silentMode = 0;
    unattended = 0;
    noRestart = 0;
    timeLimitMs = 0;
    runStartAwakeMs = 0;
    ResetRunOutcome();
    startedProcess = nullptr;
    startedProcesses.clear();
    runLockHandle = nullptr;
    runLockKeptByLeftovers = false;
    listDone = false;
    instanceHandle = nullptr;
    installerWindow = nullptr;
    currentIndex = 0;
    rebootPending = 0;
    currentFile.clear();
}

}  // namespace zw
