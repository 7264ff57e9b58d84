#include "startup/command_line.h"

#include <vector>

#include "platform/ascii.h"

namespace zw {

namespace {

constexpr std::string_view kSilentSwitch = "/s";
constexpr std::string_view kNoRestartSwitch = "/norestart";
constexpr std::string_view kLogSwitch = "/log:";

size_t FindIgnoringAsciiCase(std::string_view text, std::string_view wanted, size_t from)
{
    for (size_t i = from; i + wanted.size() <= text.size(); ++i)
        if (EqualsIgnoringAsciiCase(text.substr(i, wanted.size()), wanted)) return i;
    return std::string_view::npos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

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

Switches ParseSwitches(std::string_view tail)
{
    Switches switches;
    // The tail outside the paths of /log: switches, in pieces: a switch is
    // looked for in each piece on its own, so none is pieced together across
    // a path either.
    std::vector<std::string_view> pieces;
    bool logFound = false;
    size_t from = 0;
    for (;;) {
        const size_t at = FindIgnoringAsciiCase(tail, kLogSwitch, from);
        if (at == std::string_view::npos) break;
        const size_t start = at + kLogSwitch.size();
        size_t pathStart = start, pathEnd = start, next = start;
        if (start < tail.size() && tail[start] == '"') {
            pathStart = start + 1;
            pathEnd = tail.find('"', pathStart);
            if (pathEnd == std::string_view::npos) pathEnd = tail.size();
            next = pathEnd < tail.size() ? pathEnd + 1 : pathEnd;
        } else {
            while (pathEnd < tail.size() && !IsBlank(tail[pathEnd])) ++pathEnd;
            next = pathEnd;
        }
        if (!logFound) {
            logFound = true;
            switches.logPath = std::string(tail.substr(pathStart, pathEnd - pathStart));
        }
        pieces.push_back(tail.substr(from, start - from));
        from = next;
    }
    pieces.push_back(tail.substr(from));
    for (std::string_view piece : pieces) {
        if (piece.find(kSilentSwitch) != std::string_view::npos) switches.silent = true;
        if (FindIgnoringAsciiCase(piece, kNoRestartSwitch, 0) != std::string_view::npos) switches.noRestart = true;
    }
    return switches;
}

bool HasSilentSwitch(std::string_view tail) { return ParseSwitches(tail).silent; }

}  // namespace zw
