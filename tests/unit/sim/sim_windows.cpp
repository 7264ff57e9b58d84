#include "sim/sim_windows.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/ascii.h"
#include "platform/win_values.h"
#include "profile/profile_text.h"

namespace sim {

using namespace zw::win;

std::string UpperAscii(std::string s)
{
    for (char& c : s) c = zw::AsciiUpper(c);
    return s;
}

std::vector<uint8_t> MultiSz(const std::vector<std::string>& strings)
{
    std::vector<uint8_t> out;
    for (const std::string& s : strings) {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    }
    out.push_back(0);
    return out;
}

namespace {

std::string Hex(uintptr_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string BaseOf(const std::string& path)
{
    size_t k = path.find_last_of('\\');
    return k == std::string::npos ? path : path.substr(k + 1);
}

}  // namespace

SimWindows::SimWindows()
{
    answer = [](const BoxShown& box) { return (box.type & 0xF) == MB_YESNO ? IDNO : IDOK; };
    AddDirectory(currentDirectory);
    AddDirectory(windowsDirectory);
}

SimWindows::~SimWindows()
{
    for (void* p : allocations_) delete[] static_cast<char*>(p);
}

void SimWindows::Record(const std::string& name, const std::string& detail)
{
    calls.push_back({now, name, detail});
    if (onCall) {
        Call last = calls.back();
        onCall(last);
    }
}

std::vector<Call> SimWindows::CallsNamed(const std::string& name) const
{
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.name == name) out.push_back(c);
    return out;
}

// ---------------------------------------------------------------- clock

void SimWindows::At(uint64_t time, std::function<void()> action) { events_.emplace(time, std::move(action)); }

void SimWindows::AdvanceTo(uint64_t time)
{
    while (!events_.empty() && events_.begin()->first <= time) {
        auto it = events_.begin();
        now = std::max(now, it->first);
        std::function<void()> action = std::move(it->second);
        events_.erase(it);
        action();
    }
    now = std::max(now, time);
}

// ---------------------------------------------------------------- windows

Hwnd SimWindows::CreateTestWindow(zw::WindowProc proc)
{
    Hwnd h = reinterpret_cast<Hwnd>(nextHwnd_ += 0x10);
    windows_[h].proc = proc;
    Record("CreateWindow", Hex(reinterpret_cast<uintptr_t>(h)));
    proc(h, WM_CREATE, 0, 0);
    return h;
}

bool SimWindows::IsAlive(Hwnd hwnd) const
{
    auto it = windows_.find(hwnd);
    return it != windows_.end() && it->second.alive;
}

bool SimWindows::TimerArmed(Hwnd hwnd, uintptr_t id) const { return timers_.count({hwnd, id}) != 0; }

Hwnd SimWindows::OpenDialog() const
{
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it)
        if (!it->ended && IsAlive(it->hwnd)) return it->hwnd;
    return nullptr;
}

void SimWindows::PostMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    posted_.push_back({hwnd, message, wParam, lParam});
}

bool SimWindows::TakeTimer(Msg& msg)
{
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->second.due <= now && (best == timers_.end() || it->second.due < best->second.due)) best = it;
    if (best == timers_.end()) return false;
    msg = {best->first.first, WM_TIMER, best->first.second, 0};
    best->second.due = now + best->second.period;
    return true;
}

bool SimWindows::PeekMessageA(Msg& msg)
{
    Record("PeekMessageA");
    AdvanceTo(now);  // events due at this very moment
    if (!posted_.empty()) {
        msg = posted_.front();
        posted_.pop_front();
        return true;
    }
    if (quitPending_) {
        quitPending_ = false;
        msg = {nullptr, WM_QUIT, static_cast<uintptr_t>(quitCode_), 0};
        return true;
    }
    return TakeTimer(msg);
}

bool SimWindows::GetMessage(Msg& msg)
{
    for (;;) {
        AdvanceTo(now);
        if (!posted_.empty()) {
            msg = posted_.front();
            posted_.pop_front();
            return true;
        }
        if (quitPending_) {
            quitPending_ = false;
            msg = {nullptr, WM_QUIT, static_cast<uintptr_t>(quitCode_), 0};
            return true;
        }
        if (TakeTimer(msg)) return true;
        uint64_t next = UINT64_MAX;
        for (const auto& t : timers_) next = std::min(next, t.second.due);
        if (!events_.empty()) next = std::min(next, events_.begin()->first);
        if (next == UINT64_MAX) return false;
        AdvanceTo(next);
    }
}

int SimWindows::RunMessageLoop(uint64_t limitMs)
{
    uint64_t limit = now + limitMs;
    Msg msg;
    for (;;) {
        if (!GetMessage(msg)) {
            loopStarved = true;
            return -1;
        }
        if (now > limit) {
            timedOut = true;
            return -1;
        }
        if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
        DispatchMessageA(msg);
    }
}

bool SimWindows::TranslateMessage(const Msg&) { return false; }

intptr_t SimWindows::DispatchMessageA(const Msg& msg)
{
    auto it = windows_.find(msg.hwnd);
    if (it == windows_.end() || !it->second.alive) return 0;
    Record("Dispatch", std::to_string(msg.message) + ":" + std::to_string(msg.wParam));
    if (it->second.isDialog) return it->second.dialogProc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    return it->second.proc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

void SimWindows::PostQuitMessage(int exitCode)
{
    Record("PostQuitMessage", std::to_string(exitCode));
    quitPending_ = true;
    quitCode_ = exitCode;
}

bool SimWindows::DestroyWindow(Hwnd hwnd)
{
    Record("DestroyWindow", Hex(reinterpret_cast<uintptr_t>(hwnd)));
    auto it = windows_.find(hwnd);
    if (it == windows_.end() || !it->second.alive) {
        lastError = 1400;  // ERROR_INVALID_WINDOW_HANDLE
        return false;
    }
    Window& w = it->second;
    if (w.isDialog)
        w.dialogProc(hwnd, WM_DESTROY, 0, 0);
    else
        w.proc(hwnd, WM_DESTROY, 0, 0);
    w.alive = false;
    for (auto t = timers_.begin(); t != timers_.end();) t = t->first.first == hwnd ? timers_.erase(t) : std::next(t);
    return true;
}

intptr_t SimWindows::DefWindowProcA(Hwnd hwnd, uint32_t msg, uintptr_t, intptr_t)
{
    Record("DefWindowProcA", std::to_string(msg));
    if (msg == WM_CLOSE) DestroyWindow(hwnd);
    return 0;
}

uintptr_t SimWindows::SetTimer(Hwnd hwnd, uintptr_t id, uint32_t elapseMs)
{
    Record("SetTimer", std::to_string(id) + ":" + std::to_string(elapseMs));
    if (!IsAlive(hwnd)) {
        lastError = 1400;
        return 0;
    }
    timers_[{hwnd, id}] = {now + elapseMs, elapseMs};
    return id;
}

bool SimWindows::KillTimer(Hwnd hwnd, uintptr_t id)
{
    Record("KillTimer", std::to_string(id));
    return timers_.erase({hwnd, id}) != 0;
}

int SimWindows::MessageBoxA(Hwnd owner, const char* text, const char* caption, uint32_t type)
{
    Record("MessageBoxA", std::string(caption ? caption : "") + "|" + (text ? text : ""));
    boxes.push_back({now, owner, text ? text : "", caption ? caption : "", type});
    BoxShown shown = boxes.back();
    AdvanceTo(now + boxAnswerDelayMs);
    return answer(shown);
}

intptr_t SimWindows::DialogBoxParamA(zw::Hinstance, int templateId, Hwnd owner, zw::DialogProc proc, intptr_t initParam)
{
    Record("DialogBoxParamA", std::to_string(templateId));
    Hwnd h = reinterpret_cast<Hwnd>(nextHwnd_ += 0x10);
    Window& w = windows_[h];
    w.isDialog = true;
    w.dialogProc = proc;
    w.dialogIndex = dialogs.size();
    dialogs.push_back({now, 0, templateId, owner, h, 0, false});
    size_t index = w.dialogIndex;
    auto ownerIt = windows_.find(owner);
    if (ownerIt != windows_.end()) ownerIt->second.enabled = false;

    proc(h, WM_INITDIALOG, 0, initParam);
    Msg msg;
    while (!dialogs[index].ended) {
        if (!GetMessage(msg)) {
            loopStarved = true;
            break;
        }
        if (msg.message == WM_QUIT) {
            // The dialog manager gives the quit request back to the outer loop.
            quitPending_ = true;
            quitCode_ = static_cast<int>(msg.wParam);
            break;
        }
        DispatchMessageA(msg);
    }
    windows_[h].alive = false;
    for (auto t = timers_.begin(); t != timers_.end();) t = t->first.first == h ? timers_.erase(t) : std::next(t);
    ownerIt = windows_.find(owner);
    if (ownerIt != windows_.end()) ownerIt->second.enabled = true;
    dialogs[index].closed = now;
    Record("DialogClosed", std::to_string(dialogs[index].result));
    return dialogs[index].result;
}

bool SimWindows::EndDialog(Hwnd dialog, intptr_t result)
{
    Record("EndDialog", std::to_string(result));
    auto it = windows_.find(dialog);
    if (it == windows_.end() || !it->second.isDialog || !it->second.alive) return false;
    DialogRun& run = dialogs[it->second.dialogIndex];
    if (!run.ended) {
        run.ended = true;
        run.result = result;
    }
    return true;
}

void SimWindows::Sleep(uint32_t ms)
{
    Record("Sleep", std::to_string(ms));
    AdvanceTo(now + ms);
}

// ---------------------------------------------------------------- text

void SimWindows::Upper1252(char* text)
{
    for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p) {
        unsigned char c = *p;
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 0x20);
        else if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            c = static_cast<unsigned char>(c - 0x20);
        else if (c == 0x9A || c == 0x9C || c == 0x9E)
            c = static_cast<unsigned char>(c - 0x10);
        else if (c == 0xFF)
            c = 0x9F;
        *p = c;
    }
}

void SimWindows::CharUpperA(char* text)
{
    Record("CharUpperA", text);
    Upper1252(text);
}

// ---------------------------------------------------------------- files

std::string SimWindows::Resolve(const std::string& path) const
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    std::string cwdDrive = currentDirectory.substr(0, 2);
    std::string prefix, rest;
    if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
        prefix = "\\\\";
        rest = p.substr(2);
    } else if (p.size() >= 2 && p[1] == ':') {
        prefix = UpperAscii(p.substr(0, 2));
        rest = p.substr(2);
        if (rest.empty() || rest[0] != '\\')
            rest = (UpperAscii(cwdDrive) == prefix ? currentDirectory.substr(2) : std::string()) + "\\" + rest;
    } else if (!p.empty() && p[0] == '\\') {
        prefix = cwdDrive;
        rest = p;
    } else {
        prefix = cwdDrive;
        rest = currentDirectory.substr(2) + "\\" + p;
    }
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = rest.find('\\', i);
        if (j == std::string::npos) j = rest.size();
        std::string part = rest.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        // Win32 drops trailing dots and blanks of a path component.
        while (!part.empty() && (part.back() == ' ' || part.back() == '.')) part.pop_back();
        if (!part.empty()) parts.push_back(part);
    }
    std::string out = prefix;
    if (prefix != "\\\\") out += "\\";
    for (size_t k = 0; k < parts.size(); ++k) out += (k ? "\\" : "") + parts[k];
    return out;
}

void SimWindows::AddDirectory(const std::string& path)
{
    std::string r = Resolve(path);
    for (;;) {
        directories_.insert(UpperAscii(r));
        size_t k = r.find_last_of('\\');
        if (k == std::string::npos || k <= 2) break;
        r = r.substr(0, k);
    }
    directories_.insert(UpperAscii(r.substr(0, 2)) + "\\");
}

void SimWindows::AddFile(const std::string& path, const std::string& content)
{
    std::string r = Resolve(path);
    size_t k = r.find_last_of('\\');
    if (k != std::string::npos) AddDirectory(k <= 2 ? r.substr(0, 3) : r.substr(0, k));
    files_.insert(UpperAscii(r));
    content_[UpperAscii(r)] = content;
}

void SimWindows::AddLauncher(const std::string& list)
{
    AddFile(modulePath);
    AddFile(modulePath.substr(0, modulePath.find_last_of('\\') + 1) + "Zarnowel.ini", list);
}

bool SimWindows::HasFile(const std::string& path) const { return files_.count(UpperAscii(Resolve(path))) != 0; }

std::string SimWindows::FileContent(const std::string& path) const
{
    auto it = content_.find(UpperAscii(Resolve(path)));
    return it == content_.end() ? std::string() : it->second;
}

bool SimWindows::FileExists(const char* path)
{
    Record("FileExists", path);
    return files_.count(UpperAscii(Resolve(path))) != 0;
}

bool SimWindows::CopyFileA(const char* from, const char* to, bool failIfExists)
{
    Record("CopyFileA", std::string(from) + "|" + to);
    std::string src = UpperAscii(Resolve(from)), dst = Resolve(to);
    size_t k = dst.find_last_of('\\');
    std::string dir = UpperAscii(k <= 2 ? dst.substr(0, 3) : dst.substr(0, k));
    if (copyFails || files_.count(src) == 0 || directories_.count(dir) == 0 ||
        (failIfExists && files_.count(UpperAscii(dst)))) {
        lastError = 2;
        return false;
    }
    std::string content = content_[src];
    files_.insert(UpperAscii(dst));
    content_[UpperAscii(dst)] = content;
    return true;
}

uint32_t SimWindows::GetWindowsDirectoryA(char* buffer, uint32_t size)
{
    Record("GetWindowsDirectoryA", std::to_string(size));
    if (windowsDirectory.size() + 1 > size) return static_cast<uint32_t>(windowsDirectory.size() + 1);
    std::memcpy(buffer, windowsDirectory.c_str(), windowsDirectory.size() + 1);
    return static_cast<uint32_t>(windowsDirectory.size());
}

uint32_t SimWindows::GetModuleFileNameA(char* buffer, uint32_t size)
{
    Record("GetModuleFileNameA", std::to_string(size));
    if (size == 0) return 0;
    if (modulePath.size() + 1 > size) {
        std::memcpy(buffer, modulePath.data(), size - 1);
        buffer[size - 1] = '\0';
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    std::memcpy(buffer, modulePath.c_str(), modulePath.size() + 1);
    return static_cast<uint32_t>(modulePath.size());
}

bool SimWindows::SetCurrentDirectoryA(const char* path)
{
    Record("SetCurrentDirectoryA", path);
    std::string r = Resolve(path);
    if (directories_.count(UpperAscii(r)) == 0) {
        lastError = 3;  // ERROR_PATH_NOT_FOUND
        return false;
    }
    currentDirectory = r;
    return true;
}

uint32_t SimWindows::GetPrivateProfileStringA(const char* section, const char* key, const char* fallback, char* buffer,
                                              uint32_t size, const char* file)
{
    Record("GetPrivateProfileStringA", std::string(section) + "|" + key + "|" + file);
    std::string path = UpperAscii(Resolve(file));
    zw::ProfileText text(files_.count(path) ? content_[path] : std::string());
    return text.Read(section, key, fallback, buffer, size);
}

uint32_t SimWindows::GetSystemDefaultLCID() { return lcid; }

// ---------------------------------------------------------------- processes

uint32_t SimWindows::AddProcess(const std::string& image, uint64_t start, uint64_t end, uint32_t exitCode,
                                uint32_t parent)
{
    const uint32_t pid = nextPid_ += 4;
    AddProcessWithId(pid, image, start, end, parent);
    processes.back().exitCode = exitCode;
    return pid;
}

void SimWindows::AddProcessWithId(uint32_t pid, const std::string& image, uint64_t start, uint64_t end, uint32_t parent)
{
    Process p;
    p.pid = pid;
    p.image = image;
    p.start = start;
    p.end = end;
    p.parent = parent;
    processes.push_back(p);
}

Process* SimWindows::HandleProcess(Handle h)
{
    auto it = processHandles_.find(h);
    return it == processHandles_.end() || it->second >= processes.size() ? nullptr : &processes[it->second];
}

Process* SimWindows::RunningWithId(uint32_t pid)
{
    for (Process& p : processes)
        if (p.pid == pid && Running(p)) return &p;
    return nullptr;
}

Process* SimWindows::FindProcess(uint32_t pid)
{
    for (Process& p : processes)
        if (p.pid == pid) return &p;
    return nullptr;
}

bool SimWindows::Running(const Process& p) const { return p.start <= now && now < p.end; }

bool SimWindows::ShellExecuteExA(zw::ShellExecuteInfo& info)
{
    const char* parameters = info.lpParameters;
    Record("ShellExecuteExA", std::string(info.lpFile) + "|" + (parameters ? parameters : "") + "|" + Hex(info.fMask));
    Start s{now,
            info.lpVerb ? info.lpVerb : "",
            info.lpFile,
            parameters ? parameters : "",
            info.lpDirectory ? info.lpDirectory : currentDirectory,
            info.nShow,
            false,
            Resolve(info.lpFile),
            info.fMask};
    for (const auto& [name, m] : mutexes)
        if (m.ownedByCaller > 0) s.mutexOwnedByCaller = true;
    info.hProcess = nullptr;
    auto scripted = programs.find(UpperAscii(BaseOf(s.resolved)));
    if (files_.count(UpperAscii(s.resolved)) && scripted != programs.end() && scripted->second.shellError != 0) {
        lastError = 0;
        info.hInstApp = scripted->second.shellError;
        starts.push_back(s);
        return false;
    }
    if (files_.count(UpperAscii(s.resolved))) {
        s.started = true;
        ProgramScript script;
        auto it = programs.find(UpperAscii(BaseOf(s.resolved)));
        if (it != programs.end()) script = it->second;
        if (!script.noProcess) {
            // A package that finds the installer's mutex taken gives up at once.
            uint32_t exitCode = script.exitCode;
            uint64_t duration = script.durationMs;
            auto busy = mutexes.find("Global\\_MSIExecute");
            if (UpperAscii(BaseOf(s.resolved)).size() > 4 &&
                UpperAscii(s.resolved).substr(UpperAscii(s.resolved).size() - 4) == ".MSI" && busy != mutexes.end() &&
                (busy->second.ownedByCaller > 0 || HeldByOther(busy->second))) {
                exitCode = 1618;  // ERROR_INSTALL_ALREADY_RUNNING
                duration = 50;
            }
            s.pid = AddProcess(script.image.empty() ? BaseOf(s.resolved) : script.image, now, now + duration, exitCode,
                               currentPid);
            if (info.fMask & SEE_MASK_NOCLOSEPROCESS) {
                info.hProcess = NewHandle(HandleKind::Process);
                processHandles_[info.hProcess] = processes.size() - 1;
            }
        }
        for (const auto& child : script.children)
            AddProcess(child.image, now + child.delayMs, now + child.delayMs + child.durationMs, 0, s.pid);
        info.hInstApp = 42;
    } else {
        lastError = 2;
        info.hInstApp = 2;  // SE_ERR_FNF
    }
    starts.push_back(s);
    return s.started;
}

Handle SimWindows::CreateFileA(const char* path, uint32_t access, uint32_t share, void* securityDescriptor,
                               uint32_t disposition, uint32_t flags)
{
    Record("CreateFileA", std::string(path) + "|" + Hex(access) + "|" + Hex(share) + "|" + std::to_string(disposition) +
                              "|" + Hex(flags));
    std::string full = Resolve(path);
    const std::string system32 = UpperAscii(Resolve(windowsDirectory + "\\System32")) + "\\";
    if (wow64 && !fsRedirectionOff && UpperAscii(full).rfind(system32, 0) == 0)
        full = Resolve(windowsDirectory + "\\SysWOW64\\" + full.substr(system32.size()));
    if (std::strlen(path) >= MAX_PATH || full.size() >= MAX_PATH) {
        lastError = 3;  // ERROR_PATH_NOT_FOUND, as the system reports a path beyond MAX_PATH
        return zw::kInvalidHandle;
    }
    // Links among the folders are always followed; the last one, unless the
    // caller opens the reparse point itself.
    bool reparsePoint = false;
    for (int hops = 0; hops < 32; ++hops) {
        bool followed = false;
        for (size_t at = full.find('\\', 3); !followed; at = full.find('\\', at + 1)) {
            const std::string prefix = at == std::string::npos ? full : full.substr(0, at);
            auto link = links.find(UpperAscii(prefix));
            if (link != links.end()) {
                if (at == std::string::npos && (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0) {
                    reparsePoint = true;
                    break;
                }
                full = Resolve(link->second + (at == std::string::npos ? "" : full.substr(at)));
                followed = true;
            }
            if (at == std::string::npos) break;
        }
        if (!followed) break;
    }
    const std::string key = UpperAscii(full);
    const size_t k = full.find_last_of('\\');
    const std::string dir = UpperAscii(k <= 2 ? full.substr(0, 3) : full.substr(0, k));
    if (directories_.count(dir) == 0) {
        lastError = 3;
        return zw::kInvalidHandle;
    }
    if (directories_.count(key) != 0 || readOnlyFiles.count(key) != 0) {
        lastError = ERROR_ACCESS_DENIED;
        return zw::kInvalidHandle;
    }
    if (disposition != OPEN_ALWAYS) {
        lastError = 87;
        return zw::kInvalidHandle;
    }
    if (!reparsePoint && files_.insert(key).second) {
        content_[key];
        if (securityDescriptor != nullptr) createdWith[key] = static_cast<const char*>(securityDescriptor);
    }
    Handle h = NewHandle(HandleKind::File);
    namedHandles_[h] = key;
    openFiles_[h] = {full, reparsePoint};
    return h;
}

bool SimWindows::ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* sddl, void*& descriptor)
{
    Record("ConvertStringSecurityDescriptorToSecurityDescriptorA", sddl);
    descriptor = nullptr;
    if (sddlFails) {
        lastError = 1336;  // ERROR_INVALID_ACL
        return false;
    }
    // The sim's descriptor is the SDDL text itself.
    char* p = new char[std::strlen(sddl) + 1];
    std::memcpy(p, sddl, std::strlen(sddl) + 1);
    allocations_.insert(p);
    descriptor = p;
    return true;
}

uint32_t SimWindows::GetFileType(Handle file)
{
    auto it = openFiles_.find(file);
    if (it == openFiles_.end()) return 0;  // FILE_TYPE_UNKNOWN
    auto type = fileTypes.find(UpperAscii(it->second.path));
    return type == fileTypes.end() ? FILE_TYPE_DISK : type->second;
}

bool SimWindows::GetFileInformationByHandle(Handle file, FileInformation& information)
{
    auto it = openFiles_.find(file);
    if (it == openFiles_.end()) {
        lastError = 6;
        return false;
    }
    information.dwFileAttributes = it->second.reparsePoint ? FILE_ATTRIBUTE_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL;
    auto count = linkCounts.find(UpperAscii(it->second.path));
    information.nNumberOfLinks = count == linkCounts.end() ? 1 : count->second;
    return true;
}

uint32_t SimWindows::GetFinalPathNameByHandleA(Handle file, char* buffer, uint32_t size, uint32_t)
{
    auto it = openFiles_.find(file);
    if (it == openFiles_.end()) {
        lastError = 6;
        return 0;
    }
    const std::string final = "\\\\?\\" + it->second.path;
    if (final.size() >= size) return static_cast<uint32_t>(final.size() + 1);
    std::memcpy(buffer, final.c_str(), final.size() + 1);
    return static_cast<uint32_t>(final.size());
}

uint32_t SimWindows::GetFullPathNameA(const char* path, uint32_t size, char* buffer)
{
    const std::string full = Resolve(path);
    if (full.size() >= size) return static_cast<uint32_t>(full.size() + 1);
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    return static_cast<uint32_t>(full.size());
}

Handle SimWindows::LoadLibraryExW(const wchar_t* fileName, uint32_t flags)
{
    std::string name;
    for (const wchar_t* c = fileName; *c != 0; ++c) name += static_cast<char>(*c);
    Record("LoadLibraryExW", name + "|" + Hex(flags));
    const std::string system32 = Resolve(windowsDirectory + "\\System32");
    const std::string appDir = modulePath.substr(0, modulePath.find_last_of('\\'));
    std::vector<std::string> order;
    if (name.find('\\') != std::string::npos)
        order = {Resolve(name)};
    else if (flags == LOAD_LIBRARY_SEARCH_SYSTEM32)
        order = {system32 + "\\" + name};
    else  // the standard order, as without SetDefaultDllDirectories
        order = {appDir + "\\" + name, system32 + "\\" + name, Resolve(name)};
    for (const std::string& candidate : order) {
        const bool systemDll = UpperAscii(candidate).rfind(UpperAscii(system32) + "\\", 0) == 0 &&
                               system32Dlls.count(UpperAscii(name)) != 0;
        if (!systemDll && !HasFile(candidate)) continue;
        Handle h = reinterpret_cast<Handle>(nextHandle_++);
        modules_[h] = candidate;
        loadedModules.push_back(candidate);
        return h;
    }
    lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

bool SimWindows::GetProcAddress(Handle module, const char* procName)
{
    Record("GetProcAddress", procName);
    auto it = modules_.find(module);
    if (it != modules_.end()) {
        const std::string& path = it->second;
        auto dll = system32Dlls.find(UpperAscii(path.substr(path.find_last_of('\\') + 1)));
        if (dll != system32Dlls.end() && dll->second.count(procName) != 0) return true;
    }
    lastError = ERROR_PROC_NOT_FOUND;
    return false;
}

bool SimWindows::WriteFile(Handle file, const void* data, uint32_t size, uint32_t& written)
{
    Record("WriteFile", std::to_string(size));
    written = 0;
    if (!IsKind(file, HandleKind::File) || writeFails) {
        lastError = writeFails ? 112 : 6;  // ERROR_DISK_FULL, ERROR_INVALID_HANDLE
        return false;
    }
    content_[namedHandles_[file]].append(static_cast<const char*>(data), size);
    written = size;
    return true;
}

bool SimWindows::Wow64DisableWow64FsRedirection(void*& oldValue)
{
    Record("Wow64DisableWow64FsRedirection");
    if (!wow64) {
        lastError = 1;  // ERROR_INVALID_FUNCTION: nothing to turn off
        return false;
    }
    oldValue = reinterpret_cast<void*>(static_cast<uintptr_t>(fsRedirectionOff ? 1 : 0));
    fsRedirectionOff = true;
    return true;
}

bool SimWindows::Wow64RevertWow64FsRedirection(void* oldValue)
{
    Record("Wow64RevertWow64FsRedirection");
    fsRedirectionOff = reinterpret_cast<uintptr_t>(oldValue) != 0;
    return true;
}

bool SimWindows::IsWow64Process(bool& result)
{
    Record("IsWow64Process");
    result = wow64CallFails ? false : wow64;
    return !wow64CallFails;
}

bool SimWindows::IsWow64Process2(uint16_t& process, uint16_t& native)
{
    Record("IsWow64Process2");
    if (!hasWow64Process2) return false;
    process = processMachine;
    native = nativeMachine;
    return true;
}

bool SimWindows::GetMachineTypeAttributes(uint16_t machine, uint32_t& attributes)
{
    Record("GetMachineTypeAttributes", Hex(machine));
    if (!hasMachineTypeAttributes) return false;
    auto it = machineAttributes.find(machine);
    attributes = it == machineAttributes.end() ? 0 : it->second;
    return true;
}

bool SimWindows::GetProcessWindowStationFlags(uint32_t& flags)
{
    Record("GetProcessWindowStationFlags");
    if (stationQueryFails) {
        lastError = ERROR_ACCESS_DENIED;
        return false;
    }
    flags = stationVisible ? WSF_VISIBLE : 0;
    return true;
}

bool SimWindows::GetCurrentSessionId(uint32_t& session)
{
    Record("GetCurrentSessionId");
    session = sessionId;
    return true;
}

Handle SimWindows::CreateThread(zw::ThreadProc proc, void* parameter)
{
    Record("CreateThread");
    if (threadCreateFails) {
        lastError = 8;  // ERROR_NOT_ENOUGH_MEMORY
        return nullptr;
    }
    Handle h = NewHandle(HandleKind::Thread);
    // The procedure runs now; what its calls take is charged to the thread,
    // whose handle is signalled that much later. Each thread has its own
    // last error.
    const uint32_t callerError = lastError;
    ++onThread_;
    threadBusyMs_ = 0;
    proc(parameter);
    --onThread_;
    threadEnds_[h] = now + threadBusyMs_;
    lastError = callerError;
    return h;
}

uint32_t SimWindows::GetCurrentProcessId() { return currentPid; }

uint32_t SimWindows::GetProcessId(Handle process)
{
    if (!IsKind(process, HandleKind::Process)) {
        lastError = 6;
        return 0;
    }
    Process* p = HandleProcess(process);
    return p != nullptr ? p->pid : 0;
}

uint32_t SimWindows::GetTickCount() { return static_cast<uint32_t>(tickBase + now); }

void SimWindows::GetLocalTime(zw::SystemTime& time)
{
    // 2026-12-08 10:00:00.000 at virtual time 0.
    const uint64_t ms = now % 1000, seconds = now / 1000;
    const uint64_t days = seconds / 86400, rest = seconds % 86400;
    time = {};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = static_cast<uint16_t>(8 + days);
    time.wHour = static_cast<uint16_t>(10 + rest / 3600);
    time.wMinute = static_cast<uint16_t>(rest / 60 % 60);
    time.wSecond = static_cast<uint16_t>(rest % 60);
    time.wMilliseconds = static_cast<uint16_t>(ms);
}

bool SimWindows::Signalled(Handle h, uint64_t& when)
{
    when = UINT64_MAX;
    if (IsKind(h, HandleKind::Process)) {
        Process* p = HandleProcess(h);
        if (p == nullptr || !Running(*p)) return true;
        when = p->end;
        return false;
    }
    if (IsKind(h, HandleKind::Thread)) {
        if (now >= threadEnds_[h]) return true;
        when = threadEnds_[h];
        return false;
    }
    if (IsKind(h, HandleKind::Mutex)) {
        Mutex& m = mutexes[namedHandles_[h]];
        if (!HeldByOther(m)) {
            ++m.ownedByCaller;
            ++m.acquisitions;
            return true;
        }
        when = m.heldUntil;
        return false;
    }
    return false;
}

bool SimWindows::InputPending() const
{
    if (!posted_.empty() || quitPending_) return true;
    for (const auto& t : timers_)
        if (t.second.due <= now) return true;
    return false;
}

uint64_t SimWindows::NextWake() const
{
    uint64_t next = UINT64_MAX;
    for (const auto& t : timers_) next = std::min(next, t.second.due);
    if (!events_.empty()) next = std::min(next, events_.begin()->first);
    return next;
}

uint32_t SimWindows::WaitForSingleObject(Handle handle, uint32_t timeoutMs)
{
    Record("WaitForSingleObject", std::to_string(timeoutMs));
    if (!IsKind(handle, HandleKind::Process) && !IsKind(handle, HandleKind::Mutex) &&
        !IsKind(handle, HandleKind::Thread)) {
        lastError = 6;
        return WAIT_FAILED;
    }
    const uint64_t deadline = timeoutMs == INFINITE ? UINT64_MAX : now + timeoutMs;
    for (;;) {
        uint64_t when = 0;
        AdvanceTo(now);
        if (Signalled(handle, when)) return WAIT_OBJECT_0;
        if (now >= deadline) return WAIT_TIMEOUT;
        // Nothing is dispatched: only scheduled events move the world on.
        uint64_t next = std::min(when, deadline);
        if (!events_.empty()) next = std::min(next, events_.begin()->first);
        if (next == UINT64_MAX) {
            loopStarved = true;
            return WAIT_FAILED;
        }
        AdvanceTo(next);
    }
}

uint32_t SimWindows::MsgWaitForMultipleObjects(uint32_t count, const Handle* handles, bool, uint32_t timeoutMs,
                                               uint32_t wakeMask)
{
    Record("MsgWaitForMultipleObjects", std::to_string(count) + ":" + std::to_string(timeoutMs) + ":" + Hex(wakeMask));
    const uint64_t deadline = timeoutMs == INFINITE ? UINT64_MAX : now + timeoutMs;
    for (;;) {
        AdvanceTo(now);
        uint64_t soonest = UINT64_MAX;
        for (uint32_t i = 0; i < count; ++i) {
            if (!IsKind(handles[i], HandleKind::Process) && !IsKind(handles[i], HandleKind::Mutex) &&
                !IsKind(handles[i], HandleKind::Thread)) {
                lastError = 6;
                return WAIT_FAILED;
            }
            uint64_t when = 0;
            if (Signalled(handles[i], when)) return WAIT_OBJECT_0 + i;
            soonest = std::min(soonest, when);
        }
        if (InputPending()) return WAIT_OBJECT_0 + count;
        if (now >= deadline) return WAIT_TIMEOUT;
        const uint64_t next = std::min({soonest, deadline, NextWake()});
        if (next == UINT64_MAX) {
            loopStarved = true;
            return WAIT_FAILED;
        }
        AdvanceTo(next);
    }
}

Handle SimWindows::OpenMutexA(uint32_t access, bool inherit, const char* name)
{
    Record("OpenMutexA", Hex(access) + ":" + (inherit ? "1" : "0") + ":" + name);
    auto it = mutexes.find(name);
    if (it == mutexes.end() || !it->second.exists) {
        lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (it->second.openError != 0) {
        lastError = it->second.openError;
        return nullptr;
    }
    Handle h = NewHandle(HandleKind::Mutex);
    namedHandles_[h] = name;
    return h;
}

bool SimWindows::ReleaseMutex(Handle mutex)
{
    Record("ReleaseMutex");
    if (!IsKind(mutex, HandleKind::Mutex)) {
        lastError = 6;
        return false;
    }
    Mutex& m = mutexes[namedHandles_[mutex]];
    if (m.ownedByCaller == 0) {
        lastError = 288;  // ERROR_NOT_OWNER
        return false;
    }
    --m.ownedByCaller;
    return true;
}

Handle SimWindows::OpenSCManagerA(const char* machine, const char* database, uint32_t access)
{
    Record("OpenSCManagerA",
           std::string(machine ? machine : "(local)") + ":" + (database ? database : "(active)") + ":" + Hex(access));
    if (serviceManagerFails) {
        lastError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return NewHandle(HandleKind::ServiceManager);
}

Handle SimWindows::OpenServiceA(Handle manager, const char* name, uint32_t access)
{
    Record("OpenServiceA", std::string(name) + ":" + Hex(access));
    if (!IsKind(manager, HandleKind::ServiceManager)) {
        lastError = 6;
        return nullptr;
    }
    if (services.count(name) == 0) {
        lastError = 1060;  // ERROR_SERVICE_DOES_NOT_EXIST
        return nullptr;
    }
    Handle h = NewHandle(HandleKind::Service);
    namedHandles_[h] = name;
    return h;
}

bool SimWindows::QueryServiceStatusEx(Handle service, zw::ServiceStatusProcess& status)
{
    Record("QueryServiceStatusEx");
    if (!IsKind(service, HandleKind::Service)) {
        lastError = 6;
        return false;
    }
    const uint32_t pid = services[namedHandles_[service]];
    status.dwProcessId = pid;
    status.dwCurrentState = pid != 0 ? 4 : 1;  // SERVICE_RUNNING, SERVICE_STOPPED
    return true;
}

bool SimWindows::CloseServiceHandle(Handle handle)
{
    Record("CloseServiceHandle");
    if (!IsKind(handle, HandleKind::ServiceManager) && !IsKind(handle, HandleKind::Service)) {
        ++badCloses;
        return false;
    }
    handles_.erase(handle);
    namedHandles_.erase(handle);
    return true;
}

bool SimWindows::IsKind(Handle h, HandleKind kind) const
{
    auto it = handles_.find(h);
    return it != handles_.end() && it->second == kind;
}

Handle SimWindows::NewHandle(HandleKind kind)
{
    Handle h = reinterpret_cast<Handle>(nextHandle_ += 4);
    handles_[h] = kind;
    return h;
}

Handle SimWindows::CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId)
{
    Record("CreateToolhelp32Snapshot", Hex(flags) + ":" + std::to_string(processId));
    if (snapshotFails) {
        lastError = 8;
        return zw::kInvalidHandle;
    }
    Handle h = NewHandle(HandleKind::Snapshot);
    Snapshot& snap = snapshots_[h];
    for (size_t i = 0; i < processes.size(); ++i)
        if (Running(processes[i])) snap.entries.push_back(i);
    return h;
}

namespace {
void FillEntry(zw::ProcessEntry& entry, const Process& p)
{
    entry.th32ProcessID = p.pid;
    entry.th32ParentProcessID = p.parent;
    size_t n = std::min(p.image.size(), sizeof entry.szExeFile - 1);
    std::memcpy(entry.szExeFile, p.image.data(), n);
    entry.szExeFile[n] = '\0';
}
}  // namespace

bool SimWindows::Process32First(Handle snapshot, zw::ProcessEntry& entry)
{
    Record("Process32First");
    if (!IsKind(snapshot, HandleKind::Snapshot)) {
        lastError = 87;
        return false;
    }
    Snapshot& snap = snapshots_[snapshot];
    snap.cursor = 0;
    if (snap.entries.empty()) {
        lastError = 18;  // ERROR_NO_MORE_FILES
        return false;
    }
    FillEntry(entry, processes[snap.entries[snap.cursor++]]);
    if (onEntry) onEntry(entry);
    return true;
}

bool SimWindows::Process32Next(Handle snapshot, zw::ProcessEntry& entry)
{
    Record("Process32Next");
    if (!IsKind(snapshot, HandleKind::Snapshot)) return false;
    Snapshot& snap = snapshots_[snapshot];
    if (snap.cursor >= snap.entries.size()) {
        lastError = 18;
        return false;
    }
    FillEntry(entry, processes[snap.entries[snap.cursor++]]);
    if (onEntry) onEntry(entry);
    return true;
}

Handle SimWindows::OpenProcess(uint32_t access, bool inherit, uint32_t processId)
{
    Record("OpenProcess", Hex(access) + ":" + (inherit ? "1" : "0") + ":" + std::to_string(processId));
    Process* p = RunningWithId(processId);
    if (p == nullptr || p->openFails) {
        lastError = p == nullptr ? 87 : 5;  // ERROR_INVALID_PARAMETER for an id no process has
        return nullptr;
    }
    Handle h = NewHandle(HandleKind::Process);
    processHandles_[h] = static_cast<size_t>(p - processes.data());
    return h;
}

bool SimWindows::GetExitCodeProcess(Handle process, uint32_t& exitCode)
{
    Record("GetExitCodeProcess");
    AdvanceTo(now);
    if (exitCodeReadFails || !IsKind(process, HandleKind::Process)) {
        lastError = 6;
        return false;
    }
    Process* p = HandleProcess(process);
    exitCode = p && Running(*p) ? STILL_ACTIVE : (p ? p->exitCode : 0);
    return true;
}

bool SimWindows::TerminateProcess(Handle process, uint32_t exitCode)
{
    Record("TerminateProcess", std::to_string(exitCode));
    if (!IsKind(process, HandleKind::Process)) return false;
    Process* p = HandleProcess(process);
    if (p == nullptr || !Running(*p)) return false;
    if (p->terminateRefused) {
        lastError = 5;
        return false;
    }
    p->terminated = true;
    p->terminatedAt = now;
    p->exitCode = exitCode;
    p->end = now + terminationDelayMs;
    return true;
}

bool SimWindows::QueryFullProcessImageNameA(Handle process, uint32_t flags, char* buffer, uint32_t& size)
{
    Record("QueryFullProcessImageNameA", std::to_string(flags));
    Process* p = IsKind(process, HandleKind::Process) ? HandleProcess(process) : nullptr;
    if (p == nullptr) {
        lastError = 6;
        return false;
    }
    const std::string path = p->path.empty() ? "C:\\Program Files\\" + p->image : p->path;
    if (path.size() + 1 > size) {
        lastError = 122;  // ERROR_INSUFFICIENT_BUFFER
        return false;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    size = static_cast<uint32_t>(path.size());
    return true;
}

bool SimWindows::GetProcessTimes(Handle process, uint64_t& creation, uint64_t& exit)
{
    Record("GetProcessTimes");
    Process* p = HandleProcess(process);
    if (p == nullptr) {
        lastError = 6;
        return false;
    }
    creation = kFileTimeBase + p->start * 10000;
    exit = Running(*p) ? 0 : kFileTimeBase + p->end * 10000;
    return true;
}

bool SimWindows::CloseHandle(Handle handle)
{
    Record("CloseHandle");
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        ++badCloses;
        return false;
    }
    if (it->second == HandleKind::ServiceManager || it->second == HandleKind::Service) {
        ++badCloses;  // service handles are closed with CloseServiceHandle
        return false;
    }
    handles_.erase(it);
    threadEnds_.erase(handle);
    openFiles_.erase(handle);
    snapshots_.erase(handle);
    processHandles_.erase(handle);
    namedHandles_.erase(handle);
    return true;
}

// ---------------------------------------------------------------- devices

Handle SimWindows::SetupDiGetClassDevsA(uint32_t flags)
{
    Record("SetupDiGetClassDevsA", Hex(flags));
    if (classDevsFails) return zw::kInvalidHandle;
    return NewHandle(HandleKind::DeviceSet);
}

bool SimWindows::SetupDiEnumDeviceInfo(Handle set, uint32_t index, zw::DeviceInfoData& device)
{
    Record("SetupDiEnumDeviceInfo", std::to_string(index));
    if (!IsKind(set, HandleKind::DeviceSet) || index >= devices.size()) {
        lastError = ERROR_NO_MORE_ITEMS;
        return false;
    }
    device.devInst = index + 1;
    return true;
}

bool SimWindows::SetupDiGetDeviceRegistryPropertyA(Handle set, zw::DeviceInfoData& device, uint32_t property,
                                                   uint32_t* dataType, uint8_t* buffer, uint32_t size,
                                                   uint32_t* requiredSize)
{
    Record("SetupDiGetDeviceRegistryPropertyA", std::to_string(property) + ":" + std::to_string(size));
    if (!IsKind(set, HandleKind::DeviceSet) || device.devInst == 0 || device.devInst > devices.size()) {
        lastError = 87;
        return false;
    }
    const Device& d = devices[device.devInst - 1];
    if (d.readError != 0) {
        lastError = d.readError;
        return false;
    }
    uint32_t need = static_cast<uint32_t>(d.hardwareIds.size());
    if (requiredSize) *requiredSize = need;
    if (need > size) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    std::memcpy(buffer, d.hardwareIds.data(), need);
    if (dataType) *dataType = 7;  // REG_MULTI_SZ
    return true;
}

bool SimWindows::SetupDiDestroyDeviceInfoList(Handle set)
{
    Record("SetupDiDestroyDeviceInfoList");
    if (!IsKind(set, HandleKind::DeviceSet)) {
        ++badCloses;
        return false;
    }
    handles_.erase(set);
    return true;
}

uint32_t SimWindows::CM_Get_DevNode_Status(uint32_t* status, uint32_t* problem, uint32_t devInst, uint32_t flags)
{
    Record("CM_Get_DevNode_Status", std::to_string(devInst) + ":" + std::to_string(flags));
    if (devInst == 0 || devInst > devices.size() || !devices[devInst - 1].present) return CR_NO_SUCH_DEVNODE;
    if (status) *status = 0x0180200A;
    if (problem) *problem = 0;
    return CR_SUCCESS;
}

bool SimWindows::UpdateDriverForPlugAndPlayDevicesA(Hwnd owner, const char* hardwareId, const char* infPath,
                                                    uint32_t installFlags, int32_t* rebootRequired)
{
    Record("UpdateDriverForPlugAndPlayDevicesA", std::string(hardwareId) + "|" + infPath);
    updates.push_back({now, owner, hardwareId, infPath, installFlags, onThread_ > 0});
    if (onThread_ > 0)
        threadBusyMs_ += updateDurationMs;
    else
        AdvanceTo(now + updateDurationMs);  // nothing is dispatched meanwhile
    if (updateFails) {
        lastError = updateError ? updateError : 0xE000020B;
        return false;
    }
    if (rebootRequired) *rebootRequired = updateReboot;
    return true;
}

// ---------------------------------------------------------------- token and restart

bool SimWindows::OpenProcessToken(uint32_t access, Handle& token)
{
    Record("OpenProcessToken", Hex(access));
    if (tokenOpenFails) {
        lastError = tokenError;
        return false;
    }
    token = NewHandle(HandleKind::Token);
    return true;
}

bool SimWindows::LookupPrivilegeValueA(const char* systemName, const char* name, zw::Luid& luid)
{
    Record("LookupPrivilegeValueA", std::string(systemName ? systemName : "(local)") + "|" + name);
    luid = {19, 0};
    return true;
}

bool SimWindows::AdjustTokenPrivileges(Handle token, bool disableAll, const zw::TokenPrivileges& state)
{
    Record("AdjustTokenPrivileges", std::string(disableAll ? "1" : "0") + ":" + std::to_string(state.privilegeCount) +
                                        ":" + std::to_string(state.luid.lowPart) + ":" +
                                        std::to_string(state.attributes));
    if (!IsKind(token, HandleKind::Token)) {
        lastError = 6;  // ERROR_INVALID_HANDLE
        return false;
    }
    lastError = holdsShutdownRight ? 0 : ERROR_NOT_ALL_ASSIGNED;
    return true;
}

bool SimWindows::ExitWindowsEx(uint32_t flags, uint32_t reason)
{
    Record("ExitWindowsEx", std::to_string(flags) + ":" + std::to_string(reason));
    exitWindowsCalls.push_back(flags);
    if (exitWindowsFails) {
        lastError = exitWindowsError;
        return false;
    }
    ++restartsAccepted_;
    return true;
}

uint32_t SimWindows::InitiateShutdownW(const char16_t* message, uint32_t gracePeriodSeconds, uint32_t flags,
                                       uint32_t reason)
{
    Record("InitiateShutdownW", std::to_string(gracePeriodSeconds) + ":" + Hex(flags) + ":" + Hex(reason));
    if (initiateShutdownResult == ERROR_CALL_NOT_IMPLEMENTED) return initiateShutdownResult;  // not there
    shutdownCalls.push_back(
        {now, message ? std::u16string(message) : std::u16string(), gracePeriodSeconds, flags, reason});
    if (initiateShutdownResult == 0) ++restartsAccepted_;
    return initiateShutdownResult;
}

// ---------------------------------------------------------------- errors

uint32_t SimWindows::GetLastError() { return lastError; }
void SimWindows::SetLastError(uint32_t code) { lastError = code; }

uint32_t SimWindows::FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId, char** buffer)
{
    Record("FormatMessageA", Hex(flags) + ":" + std::to_string(messageId) + ":" + Hex(languageId));
    auto it = systemTexts.find(messageId);
    if (it == systemTexts.end()) {
        lastError = 317;  // ERROR_MR_MID_NOT_FOUND
        return 0;
    }
    // A text with an insert (%1) cannot be formatted without arguments.
    const std::string& text = it->second;
    const bool insert = text.find('%') != std::string::npos && text.find('%') + 1 < text.size() &&
                        std::isdigit(static_cast<unsigned char>(text[text.find('%') + 1]));
    if (insert && (flags & 0x200) == 0) {  // FORMAT_MESSAGE_IGNORE_INSERTS
        lastError = 87;
        return 0;
    }
    char* p = new char[it->second.size() + 1];
    std::memcpy(p, it->second.c_str(), it->second.size() + 1);
    allocations_.insert(p);
    *buffer = p;
    return static_cast<uint32_t>(it->second.size());
}

void SimWindows::LocalFree(void* memory)
{
    Record("LocalFree");
    if (allocations_.erase(memory) == 0) {
        ++badCloses;
        return;
    }
    delete[] static_cast<char*>(memory);
}

std::string SimWindows::OpenHandleKinds() const
{
    static const char* const names[] = {"Snapshot", "Process",        "DeviceSet", "Token",
                                        "Mutex",    "ServiceManager", "Service",   "File"};
    std::string out;
    for (const auto& h : handles_) out += (out.empty() ? "" : " ") + std::string(names[static_cast<int>(h.second)]);
    return out;
}

void (*contractBroken)(const std::string& what) = nullptr;

void CheckHandleContract(const SimWindows& sim, size_t leftOpen)
{
    if (!contractBroken) return;
    if (sim.OpenHandles() != leftOpen)
        contractBroken("open at the end: " + std::to_string(sim.OpenHandles()) + " handles (" + sim.OpenHandleKinds() +
                       "), expected " + std::to_string(leftOpen));
    if (sim.badCloses != 0)
        contractBroken(std::to_string(sim.badCloses) + " handles closed that were not open, or with the wrong call");
}

}  // namespace sim
