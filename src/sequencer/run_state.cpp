#include "sequencer/run_state.h"

namespace zw {

int32_t currentIndex = 0;
int32_t rebootPending = 0;
std::string currentFile;
Hwnd installerWindow = nullptr;

void ResetRunState()
{
    currentIndex = 0;
    rebootPending = 0;
    currentFile.clear();
    installerWindow = nullptr;
}

}  // namespace zw
