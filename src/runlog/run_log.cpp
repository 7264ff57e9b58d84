#include "runlog/run_log.h"

#include "platform/decimal.h"
#include "platform/platform.h"
#include "platform/win_values.h"

namespace zw {

namespace {

Handle logFile = nullptr;

// Ordinary users may read a log the launcher creates, never write it; the
// folder's inherited rights do not apply.
constexpr char kLogSecurity[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";

// Whether the opened file is one plain file on disk at exactly the path that
// was asked for. The launcher runs as SYSTEM with a path in a folder that
// users may be able to write to: a hard link there would make the log append
// to whatever file it names, a symbolic link or a junction (of the file or of
// any folder above it) would put the log elsewhere. The last component was
// opened as a reparse point itself; the folders above are checked through the
// path the system reports for the handle, which names the file actually
// opened. So a path written with short (8.3) names or through a substituted
// drive is refused too.
bool IsPlainFileAt(Handle file, const std::string& path)
{
    Platform& sys = Sys();
    if (sys.GetFileType(file) != win::FILE_TYPE_DISK) return false;
    Platform::FileInformation information;
    if (!sys.GetFileInformationByHandle(file, information)) return false;
    if ((information.dwFileAttributes & (win::FILE_ATTRIBUTE_REPARSE_POINT | win::FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return false;
    if (information.nNumberOfLinks != 1) return false;

    char full[kPathCapacity] = {};
    const uint32_t fullLength = sys.GetFullPathNameA(path.c_str(), sizeof full, full);
    // \\?\C:\... or \\?\UNC\server\share\...
    char final[kPathCapacity + 8] = {};
    const uint32_t finalLength =
        sys.GetFinalPathNameByHandleA(file, final, sizeof final, win::FILE_NAME_NORMALIZED | win::VOLUME_NAME_DOS);
    if (fullLength == 0 || fullLength >= sizeof full || finalLength == 0 || finalLength >= sizeof final) return false;
    std::string actual(final, finalLength);
    if (actual.rfind("\\\\?\\UNC\\", 0) == 0)
        actual = "\\" + actual.substr(7);
    else if (actual.rfind("\\\\?\\", 0) == 0)
        actual = actual.substr(4);
    std::string wanted(full, fullLength);
    sys.CharUpperA(actual.data());
    sys.CharUpperA(wanted.data());
    return actual == wanted;
}

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
    // Without its own rights a created log would take the folder's, and the
    // folder may be one users can write to: then no log at all.
    void* security = nullptr;
    if (!sys.ConvertStringSecurityDescriptorToSecurityDescriptorA(kLogSecurity, security) || security == nullptr)
        return;
    void* redirection = nullptr;
    const bool unredirected = sys.Wow64DisableWow64FsRedirection(redirection);
    // FILE_APPEND_DATA for writing: every write lands at the end of the file
    // as it is then, so processes that share the log never overwrite each
    // other. A reparse point is opened itself, never followed.
    Handle file = sys.CreateFileA(name.c_str(), win::FILE_APPEND_DATA | win::FILE_READ_ATTRIBUTES,
                                  win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, security, win::OPEN_ALWAYS,
                                  win::FILE_ATTRIBUTE_NORMAL | win::FILE_FLAG_OPEN_REPARSE_POINT);
    const bool plain = file != kInvalidHandle && file != nullptr && IsPlainFileAt(file, name);
    if (unredirected) sys.Wow64RevertWow64FsRedirection(redirection);
    sys.LocalFree(security);
    if (file == kInvalidHandle || file == nullptr) return;
    if (!plain) {
        sys.CloseHandle(file);  // refused: the log stays off, nothing was written
        return;
    }
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
    const uint32_t length = sys.FormatMessageA(
        win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_FROM_SYSTEM | win::FORMAT_MESSAGE_IGNORE_INSERTS,
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
