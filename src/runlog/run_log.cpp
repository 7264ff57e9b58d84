#include "runlog/run_log.h"

#include "platform/decimal.h"
#include "platform/platform.h"
#include "platform/win_values.h"

namespace zw {

namespace {

Handle logFile = nullptr;

}  // namespace

void OpenRunLog(std::string_view path)
{
    CloseRunLog();
    if (path.empty()) return;
    Platform& sys = Sys();
    const std::string name(path);
    // Under WOW64 a path in System32 would name SysWOW64 for this process and
    // System32 for the 64-bit sibling: one log, two files. Off for this one
    // call only; what else the thread opens or loads relies on it.
    void* redirection = nullptr;
    const bool unredirected = sys.Wow64DisableWow64FsRedirection(redirection);
    // FILE_APPEND_DATA alone: every write lands at the end of the file as it
    // is then, so processes that share the log never overwrite each other.
    Handle file = sys.CreateFileA(name.c_str(), win::FILE_APPEND_DATA, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                  win::OPEN_ALWAYS, win::FILE_ATTRIBUTE_NORMAL);
    if (unredirected) sys.Wow64RevertWow64FsRedirection(redirection);
    if (file == kInvalidHandle || file == nullptr) return;
    logFile = file;
}

void CloseRunLog()
{
    if (logFile == nullptr) return;
    Sys().CloseHandle(logFile);
    logFile = nullptr;
}

bool RunLogOpen() { return logFile != nullptr; }

void AppendLogPart(std::string& line, std::string_view text) { line += text; }

void AppendLogPart(std::string& line, Quoted quoted)
{
    line += '"';
    line += quoted.text;
    line += '"';
}

void AppendLogPart(std::string& line, Hex hex)
{
    line += "0x";
    bool leading = true;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const unsigned nibble = (hex.value >> shift) & 0xF;
        if (leading && nibble == 0 && shift > 0) continue;
        leading = false;
        line += "0123456789ABCDEF"[nibble];
    }
}

void AppendLogPart(std::string& line, unsigned long long number) { AppendDecimal(line, number, 1); }

void AppendLogPart(std::string& line, long long number)
{
    if (number < 0) line += '-';
    AppendDecimal(line, number < 0 ? 0ULL - static_cast<unsigned long long>(number) : number, 1);
}

void WriteRunLogLine(std::string_view text)
{
    if (logFile == nullptr) return;
    Platform& sys = Sys();
    SystemTime t;
    sys.GetLocalTime(t);
    // "2026-12-08 07:13:07.123 [1234] "
    const struct {
        unsigned value;
        int width;
        const char* after;
    } parts[] = {
        {t.wYear, 4, "-"},   {t.wMonth, 2, "-"},  {t.wDay, 2, " "},           {t.wHour, 2, ":"},
        {t.wMinute, 2, ":"}, {t.wSecond, 2, "."}, {t.wMilliseconds, 3, " ["}, {sys.GetCurrentProcessId(), 1, "] "}};
    std::string line;
    line.reserve(text.size() + 40);
    for (const auto& part : parts) {
        AppendDecimal(line, part.value, part.width);
        line += part.after;
    }
    for (const char c : text) line += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    line += "\r\n";
    // One write per line, so lines of processes sharing the file never mix.
    uint32_t written = 0;
    if (!sys.WriteFile(logFile, line.data(), static_cast<uint32_t>(line.size()), written) || written != line.size())
        CloseRunLog();  // a log that cannot be written stays off
}

std::string SystemErrorText(uint32_t code)
{
    Platform& sys = Sys();
    const uint32_t saved = sys.GetLastError();
    char* buffer = nullptr;
    const uint32_t length = sys.FormatMessageA(win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_FROM_SYSTEM,
                                               code, win::LANG_NEUTRAL_SUBLANG_DEFAULT, &buffer);
    std::string text = length != 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
    if (buffer != nullptr) sys.LocalFree(buffer);
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.empty()) text = "error";
    // Small codes are Win32 errors, written as the documentation lists them;
    // large ones (SetupAPI's, HRESULTs) read better in hexadecimal.
    text += " (";
    if (code > 0xFFFF)
        AppendLogPart(text, Hex(code));
    else
        AppendLogPart(text, code);
    text += ')';
    sys.SetLastError(saved);
    return text;
}

}  // namespace zw
