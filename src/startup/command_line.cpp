#include "startup/command_line.h"

namespace zw {

std::string_view CommandLineTail(std::string_view commandLine)
{
    size_t i = 0;
    const size_t n = commandLine.size();
    if (n > 0 && commandLine[0] == '"') {
        i = 1;
        while (i < n && commandLine[i] != '"') ++i;
        if (i < n) ++i;  // the closing quote
    } else {
        while (i<n&& static_cast<unsigned char>(commandLine[i])> 0x20) ++i;
    }
    while (i < n && commandLine[i] != '\0' && static_cast<unsigned char>(commandLine[i]) <= 0x20) ++i;
    return commandLine.substr(i);
}

bool HasSilentSwitch(std::string_view tail) { return tail.find("/s") != std::string_view::npos; }

}  // namespace zw
