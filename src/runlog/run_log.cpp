#include "runlog/run_log.h"

#include <algorithm>

#include "platform/decimal.h"
#include "platform/platform.h"
#include "platform/win_values.h"

namespace zw {

namespace {

Handle logFile = nullptr;

// A log the launcher creates is SYSTEM's and the Administrators' alone: it
// may hold what the items were told. The folder's inherited rights do not
// apply.
constexpr char kLogSecurity[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// What lets a holder write, append, delete or change the rights (owner
// included) of a file: FILE_WRITE_DATA, FILE_APPEND_DATA, DELETE, WRITE_DAC,
// WRITE_OWNER, MAXIMUM_ALLOWED, GENERIC_ALL, GENERIC_WRITE.
constexpr uint32_t kChanges = 0x2 | 0x4 | 0x10000 | 0x40000 | 0x80000 | 0x2000000 | 0x10000000 | 0x40000000;

// SYSTEM, the Administrators, or the account this run is (SYSTEM, or an
// administrator who started it elevated).
bool IsAdministrative(std::string_view sid, std::string_view own)
{
    return sid == "SY" || sid == "BA" || sid == "S-1-5-18" || sid == "S-1-5-32-544" || (!own.empty() && sid == own);
}

// The access mask of an ACE's rights field: hexadecimal, or two-letter codes.
// A code not known here counts as every right.
uint32_t RightsOf(std::string_view rights)
{
    if (rights.size() > 2 && rights[0] == '0' && (rights[1] == 'x' || rights[1] == 'X')) {
        uint32_t mask = 0;
        for (const char c : rights.substr(2)) {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return UINT32_MAX;
            mask = mask << 4 | static_cast<uint32_t>(digit);
        }
        return mask;
    }
    static const struct {
        char code[3];
        uint32_t mask;
    } kCodes[] = {{"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000}, {"RC", 0x20000},
                  {"SD", 0x10000},    {"WD", 0x40000},    {"WO", 0x80000},    {"FA", 0x1F01FF},   {"FR", 0x120089},
                  {"FW", 0x120116},   {"FX", 0x1200A0},   {"CC", 0x1},        {"DC", 0x2},        {"LC", 0x4},
                  {"SW", 0x8},        {"RP", 0x10},       {"WP", 0x20},       {"DT", 0x40},       {"LO", 0x80},
                  {"CR", 0x100}};
    uint32_t mask = 0;
    for (size_t at = 0; at < rights.size(); at += 2) {
        uint32_t code = UINT32_MAX;
        for (const auto& known : kCodes)
            if (rights.substr(at, 2) == known.code) code = known.mask;
        mask |= code;
    }
    return mask;
}

// Whether a file's owner and DACL, in SDDL, keep it to SYSTEM and the
// Administrators: the owner is one of them, and no entry that applies to the
// file lets anyone else change it. No DACL at all lets everyone in.
bool OnlyAdministratorsMayChange(std::string_view sddl, std::string_view own)
{
    if (sddl.substr(0, 2) != "O:") return false;
    const size_t ownerEnd = sddl.find(':', 2);
    if (ownerEnd == std::string_view::npos || !IsAdministrative(sddl.substr(2, ownerEnd - 3), own)) return false;
    const size_t dacl = sddl.find("D:");
    if (dacl == std::string_view::npos || sddl.find("NO_ACCESS_CONTROL", dacl) != std::string_view::npos) return false;
    for (size_t at = sddl.find('(', dacl); at != std::string_view::npos; at = sddl.find('(', at + 1)) {
        const size_t end = sddl.find(')', at);
        if (end == std::string_view::npos) return false;
        // type;flags;rights;object;inherited object;SID
        std::string_view fields[6];
        std::string_view rest = sddl.substr(at + 1, end - at - 1);
        for (auto& field : fields) {
            const size_t semicolon = rest.find(';');
            field = rest.substr(0, semicolon);
            rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        }
        // A deny entry grants nothing; an inherit-only one applies to no file.
        if (fields[0] == "D" || fields[1].find("IO") != std::string_view::npos) continue;
        if (!IsAdministrative(fields[5], own) && (RightsOf(fields[2]) & kChanges) != 0) return false;
    }
    return true;
}

// The path the system reports for an open file or folder, in the form
// GetFullPathName gives (C:\... or \\server\share\...), upper-cased; empty
// when it cannot be told.
std::string FinalPathOf(Handle handle)
{
    Platform& sys = Sys();
    // \\?\C:\... or \\?\UNC\server\share\...
    char final[kPathCapacity + 8] = {};
    const uint32_t length =
        sys.GetFinalPathNameByHandleA(handle, final, sizeof final, win::FILE_NAME_NORMALIZED | win::VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof final) return {};
    std::string actual(final, length);
    if (actual.rfind("\\\\?\\UNC\\", 0) == 0)
        actual = "\\" + actual.substr(7);
    else if (actual.rfind("\\\\?\\", 0) == 0)
        actual = actual.substr(4);
    sys.CharUpperA(actual.data());
    return actual;
}

bool IsAt(Handle handle, std::string wanted)
{
    Sys().CharUpperA(wanted.data());
    return FinalPathOf(handle) == wanted;
}

// Whether the opened file is one plain file on disk at exactly the path that
// was asked for. The launcher runs as SYSTEM with a path in a folder that
// users may be able to write to: a hard link there would make the log append
// to whatever file it names, a symbolic link would put the log elsewhere.
// The last component was opened as a reparse point itself, in the folder
// opened before it.
bool IsPlainFileAt(Handle file, const std::string& fullPath)
{
    Platform& sys = Sys();
    if (sys.GetFileType(file) != win::FILE_TYPE_DISK) return false;
    Platform::FileInformation information;
    if (!sys.GetFileInformationByHandle(file, information)) return false;
    if ((information.dwFileAttributes & (win::FILE_ATTRIBUTE_REPARSE_POINT | win::FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return false;
    return information.nNumberOfLinks == 1 && IsAt(file, fullPath);
}

// The folder that will hold the log, opened itself (never through a link of
// its own), when it is a plain folder at exactly that path: a junction
// anywhere above it, a short (8.3) name or a substituted drive shows in the
// path the system reports for it. The file is then made in the folder that
// handle holds, whatever its path names by then, so nothing is ever made at
// a place that is refused.
Handle OpenPlainFolder(const std::string& folder)
{
    Platform& sys = Sys();
    Handle handle = sys.CreateFileA(folder.c_str(), win::FILE_TRAVERSE | win::FILE_READ_ATTRIBUTES,
                                    win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING,
                                    win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT);
    if (handle == kInvalidHandle || handle == nullptr) return nullptr;
    Platform::FileInformation information;
    if (sys.GetFileInformationByHandle(handle, information) &&
        (information.dwFileAttributes & (win::FILE_ATTRIBUTE_REPARSE_POINT | win::FILE_ATTRIBUTE_DIRECTORY)) ==
            win::FILE_ATTRIBUTE_DIRECTORY &&
        IsAt(handle, folder))
        return handle;
    sys.CloseHandle(handle);
    return nullptr;
}

Handle OpenLogFile(const std::string& path, void* security)
{
    Platform& sys = Sys();
    char full[kPathCapacity] = {};
    const uint32_t fullLength = sys.GetFullPathNameA(path.c_str(), sizeof full, full);
    if (fullLength == 0 || fullLength >= sizeof full) return nullptr;
    const std::string fullPath(full, fullLength);
    const size_t slash = fullPath.find_last_of('\\');
    if (slash == std::string::npos || slash + 1 == fullPath.size()) return nullptr;
    // A drive's root keeps its backslash.
    Handle folder = OpenPlainFolder(fullPath.substr(0, slash == 2 ? 3 : slash));
    if (folder == nullptr) return nullptr;
    // FILE_APPEND_DATA for writing: every write lands at the end of the file
    // as it is then, so processes that share the log never overwrite each
    // other. A reparse point is opened itself, never followed.
    bool created = false;
    Handle file = sys.NtCreateFile(folder, fullPath.c_str() + slash + 1,
                                   win::FILE_APPEND_DATA | win::FILE_READ_ATTRIBUTES | win::READ_CONTROL,
                                   win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, security, created);
    sys.CloseHandle(folder);
    if (file == kInvalidHandle || file == nullptr) return nullptr;
    bool plain = IsPlainFileAt(file, fullPath);
    // CreateFile gives an existing file none of the rights asked for: a file
    // someone else made first is used only when no user may change it.
    if (plain && !created) {
        char* sddl = nullptr;
        char* own = nullptr;
        plain = sys.GetSecurityInfoSddl(file, sddl) && sddl != nullptr && sys.GetTokenUserSidString(own) &&
                own != nullptr && OnlyAdministratorsMayChange(sddl, own);
        if (sddl != nullptr) sys.LocalFree(sddl);
        if (own != nullptr) sys.LocalFree(own);
    }
    if (plain) return file;
    sys.CloseHandle(file);  // refused: the log stays off, nothing was written
    return nullptr;
}

}  // namespace

void OpenRunLog(std::string_view path)
{
    CloseRunLog();
    if (path.empty()) return;
    Platform& sys = Sys();
    // Without its own rights a created log would take the folder's, and the
    // folder may be one users can write to: then no log at all.
    void* security = nullptr;
    if (!sys.ConvertStringSecurityDescriptorToSecurityDescriptorA(kLogSecurity, security) || security == nullptr)
        return;
    // Under WOW64 a path in System32 would name SysWOW64 for this process and
    // System32 for the 64-bit sibling: one log, two files. Off for this one
    // open only; what else the thread opens or loads relies on it.
    void* redirection = nullptr;
    const bool unredirected = sys.Wow64DisableWow64FsRedirection(redirection);
    logFile = OpenLogFile(std::string(path), security);
    if (unredirected) sys.Wow64RevertWow64FsRedirection(redirection);
    sys.LocalFree(security);
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

namespace {

bool EndsName(char c)
{
    return c == ' ' || c == '\t' || c == '"' || c == ',' || c == '/' || c == '=' || c == ':' || c == ';' || c == '&' ||
           c == '?';
}

bool IsSecretName(std::string_view name)
{
    std::string upper;
    for (const char c : name) upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    for (const char* part : {"PASS", "PWD", "SECRET", "TOKEN"})
        if (upper.find(part) != std::string::npos) return true;
    return upper.size() >= 3 && upper.compare(upper.size() - 3, 3, "KEY") == 0;
}

}  // namespace

void AppendLogPart(std::string& line, Masked masked)
{
    const std::string_view text = masked.text;
    line += '"';
    size_t at = 0;
    for (size_t equals = text.find('='); equals != std::string_view::npos; equals = text.find('=', at)) {
        size_t name = equals;
        while (name > at && !EndsName(text[name - 1])) --name;
        line.append(text.substr(at, equals + 1 - at));
        at = equals + 1;
        if (!IsSecretName(text.substr(name, equals - name))) continue;
        // The value runs to a blank, or to the end of the quotes it is in or
        // starts with.
        size_t end = at;
        if (std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(name), '"') % 2 == 1)
            end = text.find('"', at);
        else if (at < text.size() && text[at] == '"')
            end = text.find('"', at + 1) == std::string_view::npos ? text.size() : text.find('"', at + 1) + 1;
        else
            while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
        line += "***";
        at = end == std::string_view::npos ? text.size() : end;
    }
    line.append(text.substr(at));
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
