#include "startup/command_line.h"

#include <vector>

#include "platform/ascii.h"

namespace zw {

namespace {

constexpr std::string_view kSilentSwitch = "/s";
constexpr std::string_view kNoRestartSwitch = "/norestart";
constexpr std::string_view kLogSwitch = "/log:";
constexpr std::string_view kTimeoutSwitch = "/timeout:";

size_t FindIgnoringAsciiCase(std::string_view text, std::string_view wanted, size_t from)
{
    for (size_t i = from; i + wanted.size() <= text.size(); ++i)
        if (EqualsIgnoringAsciiCase(text.substr(i, wanted.size()), wanted)) return i;
    return std::string_view::npos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The switch of the two that comes first at or after from.
struct ValueSwitch {
    size_t at = std::string_view::npos;
    std::string_view name;
};
ValueSwitch NextValueSwitch(std::string_view tail, size_t from)
{
    ValueSwitch next;
    for (std::string_view name : {kLogSwitch, kTimeoutSwitch}) {
        const size_t at = FindIgnoringAsciiCase(tail, name, from);
        if (at < next.at) next = {at, name};
    }
    return next;
}

// Whole minutes within the bounds, else 0.
uint32_t TimeoutMinutes(std::string_view text)
{
    if (text.empty() || text.size() > 4) return 0;
    uint32_t minutes = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        minutes = minutes * 10 + static_cast<uint32_t>(c - '0');
    }
    return minutes >= kMinTimeoutMinutes && minutes <= kMaxTimeoutMinutes ? minutes : 0;
}

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
    // The tail outside the values of /log: and /timeout: switches, in
    // pieces: a switch is looked for in each piece on its own, so none is
    // pieced together across a value either.
    std::vector<std::string_view> pieces;
    bool logFound = false;
    size_t from = 0;
    for (;;) {
        const ValueSwitch found = NextValueSwitch(tail, from);
        if (found.at == std::string_view::npos) break;
        const size_t start = found.at + found.name.size();
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
        const std::string_view value = tail.substr(pathStart, pathEnd - pathStart);
        if (found.name == kLogSwitch && !logFound) {
            logFound = true;
            switches.logPath = std::string(value);
        } else if (found.name == kTimeoutSwitch && !switches.timeoutGiven) {
            switches.timeoutGiven = true;
            switches.timeoutText = std::string(value);
            switches.timeoutMinutes = TimeoutMinutes(value);
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
