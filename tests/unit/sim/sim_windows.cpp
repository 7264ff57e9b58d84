#include "sim/sim_windows.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <sstream>

#include "platform/ascii.h"
#include "platform/win_values.h"
#include "profile/profile_text.h"
#include "sequencer/installer_window.h"

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

// GetProcessTimes reports times as FILETIMEs: virtual ms from this base.
constexpr uint64_t kFileTimeBase = 134'000'000'000'000'000ull;

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

// The key of the folder a resolved path lies in (a drive's root keeps its backslash).
std::string FolderKey(const std::string& resolved)
{
    const size_t k = resolved.find_last_of('\\');
    return UpperAscii(k <= 2 ? resolved.substr(0, 3) : resolved.substr(0, k));
}

// As the path calls return a text: its length when it fits with its
// terminator, otherwise the size it needs.
uint32_t CopyOut(const std::string& text, char* buffer, uint32_t size)
{
    if (text.size() >= size) return static_cast<uint32_t>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<uint32_t>(text.size());
}

}  // namespace

SimWindows::SimWindows()
{
    answer = [](const BoxShown& box) { return (box.type & 0xF) == MB_YESNO ? IDNO : IDOK; };
    AddDirectory(currentDirectory);
    AddDirectory(windowsDirectory);
}

void SimWindows::Record(const std::string& name, const std::string& detail)
{
    calls.push_back({now, name, detail});
    if (onCall) onCall(Call(calls.back()));  // a copy: the hook may clear the record
}

std::vector<Call> SimWindows::CallsNamed(const std::string& name) const
{
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.name == name) out.push_back(c);
    return out;
}

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

Hwnd SimWindows::NewWindow(zw::WindowProc proc, bool isDialog)
{
    Hwnd h = reinterpret_cast<Hwnd>(nextHwnd_ += 0x10);
    windows_[h] = {proc, true, isDialog, dialogs.size()};
    return h;
}

Hwnd SimWindows::CreateTestWindow(zw::WindowProc proc)
{
    Hwnd h = NewWindow(proc, false);
    Record("CreateWindow", Hex(reinterpret_cast<uintptr_t>(h)));
    proc(h, WM_CREATE, 0, 0);
    return h;
}

bool SimWindows::IsAlive(Hwnd hwnd) const
{
    auto it = windows_.find(hwnd);
    return it != windows_.end() && it->second.alive;
}

Hwnd SimWindows::OpenDialog() const
{
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it)
        if (!it->ended && IsAlive(it->hwnd)) return it->hwnd;
    return nullptr;
}

// What a message loop takes now: a posted message, then the quit request,
// then the timer due longest.
bool SimWindows::TakeMessage(Msg& msg)
{
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
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->second.due <= now && (best == timers_.end() || it->second.due < best->second.due)) best = it;
    if (best == timers_.end()) return false;
    msg = {best->first.first, WM_TIMER, best->first.second, 0};
    best->second.due = now + best->second.period;
    return true;
}

bool SimWindows::GetMessage(Msg& msg)
{
    while (!TakeMessage(msg)) {
        const uint64_t next = NextWake();
        if (next == UINT64_MAX) return false;
        AdvanceTo(next);
    }
    return true;
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
    std::istringstream in(rest);
    for (std::string part; std::getline(in, part, '\\');) {
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
    // Up to the first folder already known, or the drive's root.
    std::string key = UpperAscii(Resolve(path));
    while (directories_.insert(key).second && key.size() > 3) key = FolderKey(key);
}

void SimWindows::AddFile(const std::string& path, const std::string& content)
{
    const std::string key = UpperAscii(Resolve(path));
    AddDirectory(FolderKey(key));
    files_[key] = content;
}

void SimWindows::AddLauncher(const std::string& list)
{
    AddFile(modulePath);
    AddFile(modulePath.substr(0, modulePath.find_last_of('\\') + 1) + "Zarnowel.ini", list);
}

int SimWindows::RunLauncher(uint64_t limitMs)
{
    launcherWindow = CreateTestWindow(zw::InstallerWindowProc);
    return RunMessageLoop(limitMs);
}

void SimWindows::AddProgram(const std::string& path, uint64_t runsMs, const std::string& image, uint32_t exitCode)
{
    AddFile(path);
    programs[UpperAscii(BaseOf(path))] = {image, runsMs, {}, exitCode};
}

std::string SimWindows::FileContent(const std::string& path) const
{
    auto it = files_.find(UpperAscii(Resolve(path)));
    return it == files_.end() ? std::string() : it->second;
}

uint32_t SimWindows::AddProcess(const std::string& image, uint64_t start, uint64_t end, uint32_t exitCode,
                                uint32_t parent)
{
    const uint32_t pid = nextPid_ += 4;
    AddProcessWithId(pid, image, start, end, parent);
    processes.back().exitCode = exitCode;
    return pid;
}

Process* SimWindows::FindProcess(uint32_t pid)
{
    for (Process& p : processes)
        if (p.pid == pid) return &p;
    return nullptr;
}

uint64_t SimWindows::NextWake() const
{
    uint64_t next = UINT64_MAX;
    for (const auto& t : timers_) next = std::min(next, t.second.due);
    if (!events_.empty()) next = std::min(next, events_.begin()->first);
    return next;
}

size_t SimWindows::OpenHandlesToOthers() const
{
    size_t n = 0;
    for (const auto& [handle, o] : handles_)
        n += o.kind == HandleKind::Process && processes[o.process].parent != currentPid;
    return n;
}

void SimWindows::EndProcessHandles(uint32_t pid)
{
    std::erase_if(handles_, [&](const auto& h) { return h.second.owner == pid && pid != 0; });
}

void SimWindows::CheckHandleContract() const
{
    if (!contractBroken) return;
    static const char* const kinds[] = {"Snapshot", "Process", "DeviceSet", "Token",  "Mutex",    "ServiceManager",
                                        "Service",  "File",    "Thread",    "RegKey", "Inf",      "Boundary",
                                        "Namespace", "LockMutex"};
    std::string open;
    for (const auto& h : handles_)
        open += (open.empty() ? "" : " ") + std::string(kinds[static_cast<int>(h.second.kind)]);
    if (!handles_.empty())
        contractBroken("open at the end: " + std::to_string(handles_.size()) + " handles (" + open + "), expected 0");
    if (badCloses_ != 0)
        contractBroken(std::to_string(badCloses_) + " handles closed that were not open, or with the wrong call");
    if (!allocations_.empty())
        contractBroken("live at the end: " + std::to_string(allocations_.size()) +
                       " allocations of the system, expected 0 (LocalFree)");
}

void SimWindows::AddKey(int view, const std::string& key) { registry[RegPath(view, key)]; }
void SimWindows::SetValue(int view, const std::string& key, const std::string& name, uint32_t type,
                          const std::vector<uint8_t>& data)
{
    registry[RegPath(view, key)][UpperAscii(name)] = {type, data};
}
std::vector<uint8_t> SimWindows::Sz(const std::string& text)
{
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}
std::vector<uint8_t> SimWindows::Dword(uint32_t value)
{
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)};
}
const std::map<std::string, SimWindows::RegValue>* SimWindows::Values(int view, const std::string& key) const
{
    auto it = registry.find(RegPath(view, key));
    return it == registry.end() ? nullptr : &it->second;
}

namespace {

// The seam, as the code under test sees it.
class Seam final : public SimWindows {
    static constexpr uint32_t kThreadId = 77;
    std::map<Hwnd, std::string> openBoxes_;  // message boxes up now, by their captions
    int onThread_ = 0;                       // inside a thread's procedure
    uint64_t threadBusyMs_ = 0;              // time the running thread's calls take
    std::map<Handle, std::string> modules_;  // loaded modules, never freed: their paths
    uintptr_t nextHandle_ = 0x100;
    std::set<std::string> found_;  // entries GetProcAddress found, as the adapter keeps them

    // Sets the last error and gives what the call returns when it fails.
    template <typename T = bool>
    T Fail(uint32_t error, T result = T{})
    {
        lastError = error;
        return result;
    }

public:
    bool TranslateMessage(const Msg&) override { return false; }
    uint32_t GetCurrentProcessId() override { return currentPid; }
    uint32_t GetTickCount() override { return static_cast<uint32_t>(now); }
    bool QueryUnbiasedInterruptTime(uint64_t& time) override
    {
        time = (now - asleepMs) * 10000;
        return true;
    }
    uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) override
    {
        return CopyOut(windowsDirectory + "\\System32", buffer, size);
    }
    int32_t CoInitializeEx(uint32_t coInit) override
    {
        Record("CoInitializeEx", std::to_string(coInit) + (onThread_ > 0 ? "|thread" : ""));
        return 0;
    }
    void CoUninitialize() override { Record("CoUninitialize", onThread_ > 0 ? "thread" : ""); }
    uint32_t GetSystemDefaultLCID() override { return lcid; }
    uint32_t GetLastError() override { return lastError; }
    void SetLastError(uint32_t code) override { lastError = code; }

    // ---- windows
    void EndWindow(Hwnd hwnd)
    {
        windows_[hwnd].alive = false;
        std::erase_if(timers_, [&](const auto& t) { return t.first.first == hwnd; });
    }
    bool PeekMessageA(Msg& msg) override
    {
        Record("PeekMessageA");
        return TakeMessage(msg);
    }
    intptr_t DispatchMessageA(const Msg& msg) override
    {
        auto it = windows_.find(msg.hwnd);
        if (it == windows_.end() || !it->second.alive) return 0;
        Record("Dispatch", std::to_string(msg.message) + ":" + std::to_string(msg.wParam));
        return it->second.proc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    }
    void PostQuitMessage(int exitCode) override
    {
        Record("PostQuitMessage", std::to_string(exitCode));
        quitPending_ = true;
        quitCode_ = exitCode;
    }
    bool DestroyWindow(Hwnd hwnd) override
    {
        Record("DestroyWindow", Hex(reinterpret_cast<uintptr_t>(hwnd)));
        if (!IsAlive(hwnd)) return Fail(1400);  // ERROR_INVALID_WINDOW_HANDLE
        windows_[hwnd].proc(hwnd, WM_DESTROY, 0, 0);
        EndWindow(hwnd);
        return true;
    }
    intptr_t DefWindowProcA(Hwnd hwnd, uint32_t msg, uintptr_t, intptr_t) override
    {
        Record("DefWindowProcA", std::to_string(msg));
        if (msg == WM_CLOSE) DestroyWindow(hwnd);
        return 0;
    }
    uintptr_t SetTimer(Hwnd hwnd, uintptr_t id, uint32_t elapseMs) override
    {
        Record("SetTimer", std::to_string(id) + ":" + std::to_string(elapseMs));
        if (!IsAlive(hwnd)) return Fail<uintptr_t>(1400);
        timers_[{hwnd, id}] = {now + elapseMs, elapseMs};
        return id;
    }
    bool KillTimer(Hwnd hwnd, uintptr_t id) override
    {
        Record("KillTimer", std::to_string(id));
        return timers_.erase({hwnd, id}) != 0;
    }
    int MessageBoxA(Hwnd owner, const char* text, const char* caption, uint32_t type) override
    {
        Record("MessageBoxA", std::string(caption ? caption : "") + "|" + (text ? text : ""));
        boxes.push_back({now, owner, text ? text : "", caption ? caption : "", type});
        BoxShown shown = boxes.back();
        // The box's own modal loop dispatches the thread's messages until it
        // is answered, or a button press is posted to it.
        const uint64_t answerAt = now + boxAnswerDelayMs;
        const Hwnd box = reinterpret_cast<Hwnd>(nextHwnd_ += 0x10);
        openBoxes_[box] = shown.caption;
        int result = -1;
        Msg msg;
        while (result < 0) {
            if (now >= answerAt) {
                result = answer(shown);
            } else if (TakeMessage(msg)) {
                if (msg.hwnd == box && msg.message == WM_COMMAND)
                    result = static_cast<int>(msg.wParam & 0xFFFF);
                else
                    DispatchMessageA(msg);
            } else {
                AdvanceTo(std::min(NextWake(), answerAt));
            }
        }
        openBoxes_.erase(box);
        boxes[boxes.size() - 1].closed = now;
        return result;
    }
    bool PostMessageA(Hwnd hwnd, uint32_t message, uintptr_t wParam, intptr_t lParam) override
    {
        Record("PostMessageA", std::to_string(message) + ":" + std::to_string(wParam));
        PostMessage(hwnd, message, wParam, lParam);
        return true;
    }
    Hwnd FindWindowExA(Hwnd, Hwnd after, const char* className, const char* windowName) override
    {
        if (std::string(className) != "#32770") return nullptr;
        for (const auto& [box, caption] : openBoxes_)
            if (box > after && caption == windowName) return box;
        return nullptr;
    }
    uint32_t GetWindowThreadProcessId(Hwnd hwnd, uint32_t& processId) override
    {
        processId = currentPid;
        return openBoxes_.count(hwnd) != 0 ? kThreadId : 0;
    }
    uint32_t GetCurrentThreadId() override { return kThreadId; }
    intptr_t DialogBoxParamA(zw::Hinstance, int templateId, Hwnd owner, zw::DialogProc proc,
                             intptr_t initParam) override
    {
        Record("DialogBoxParamA", std::to_string(templateId));
        Hwnd h = NewWindow(proc, true);
        const size_t index = dialogs.size();
        dialogs.push_back({now, 0, templateId, owner, h, 0, false});
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
        EndWindow(h);
        dialogs[index].closed = now;
        Record("DialogClosed", std::to_string(dialogs[index].result));
        return dialogs[index].result;
    }
    bool EndDialog(Hwnd dialog, intptr_t result) override
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
    void Sleep(uint32_t ms) override
    {
        Record("Sleep", std::to_string(ms));
        AdvanceTo(now + ms);
    }

    // ---- text
    // As on a system whose code page is Latin (1252).
    void CharUpperA(char* text) override
    {
        Record("CharUpperA", text);
        for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p; ++p) {
            const unsigned char c = *p;
            if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
                *p = static_cast<unsigned char>(c - 0x20);
            else if (c == 0x9A || c == 0x9C || c == 0x9E)
                *p = static_cast<unsigned char>(c - 0x10);
            else if (c == 0xFF)
                *p = 0x9F;
        }
    }

    // ---- files
    bool FileExists(const char* path) override
    {
        Record("FileExists", path);
        return HasFile(path);
    }
    bool CopyFileA(const char* from, const char* to, bool failIfExists) override
    {
        Record("CopyFileA", std::string(from) + "|" + to);
        const std::string dst = UpperAscii(Resolve(to));
        auto src = files_.find(UpperAscii(Resolve(from)));
        if (copyFails || src == files_.end() || directories_.count(FolderKey(dst)) == 0 ||
            (failIfExists && files_.count(dst)))
            return Fail(ERROR_FILE_NOT_FOUND);
        files_[dst] = std::string(src->second);
        return true;
    }
    uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override
    {
        Record("GetWindowsDirectoryA", std::to_string(size));
        return CopyOut(windowsDirectory, buffer, size);
    }
    uint32_t GetModuleFileNameA(char* buffer, uint32_t size) override
    {
        Record("GetModuleFileNameA", std::to_string(size));
        if (size == 0) return 0;
        if (modulePath.size() + 1 > size) {
            std::memcpy(buffer, modulePath.data(), size - 1);
            buffer[size - 1] = '\0';
            return Fail(ERROR_INSUFFICIENT_BUFFER, size);
        }
        return CopyOut(modulePath, buffer, size);
    }
    bool SetCurrentDirectoryA(const char* path) override
    {
        Record("SetCurrentDirectoryA", path);
        std::string r = Resolve(path);
        if (directories_.count(UpperAscii(r)) == 0) return Fail(3);  // ERROR_PATH_NOT_FOUND
        currentDirectory = r;
        return true;
    }
    uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* fallback, char* buffer,
                                      uint32_t size, const char* file) override
    {
        Record("GetPrivateProfileStringA", std::string(section) + "|" + key + "|" + file);
        zw::ProfileText text(FileContent(file));
        return text.Read(section, key, fallback, buffer, size);
    }

    // ---- processes
    Process* HandleProcess(Handle h)
    {
        Object* o = Get(h, HandleKind::Process);
        return o == nullptr || o->process >= processes.size() ? nullptr : &processes[o->process];
    }
    bool ShellExecuteExA(zw::ShellExecuteInfo& info) override
    {
        const char* parameters = info.lpParameters ? info.lpParameters : "";
        Record("ShellExecuteExA", std::string(info.lpFile) + "|" + parameters + "|" + Hex(info.fMask));
        Start s{now, info.lpVerb ? info.lpVerb : "", info.lpFile, parameters, "", Resolve(info.lpFile), info.fMask};
        s.directory = info.lpDirectory ? info.lpDirectory : currentDirectory;
        for (const auto& [name, m] : mutexes)
            if (m.ownedByCaller > 0) s.mutexOwnedByCaller = true;
        info.hProcess = nullptr;
        const std::string key = UpperAscii(s.resolved);
        auto scripted = programs.find(UpperAscii(BaseOf(s.resolved)));
        const ProgramScript script = scripted != programs.end() ? scripted->second : ProgramScript{};
        const bool exists = files_.count(key) != 0;
        if (!exists || script.shellError != 0) {
            // A failure the shell has shown in a box of its own leaves no last error.
            lastError = exists ? 0 : ERROR_FILE_NOT_FOUND;
            info.hInstApp = exists ? script.shellError : 2;  // SE_ERR_FNF
            starts.push_back(s);
            return false;
        }
        if (!script.noProcess) {
            // A package that finds the installer's mutex taken gives up at once.
            uint32_t exitCode = script.exitCode;
            uint64_t duration = script.durationMs;
            auto busy = mutexes.find("Global\\_MSIExecute");
            if (BaseOf(key).size() > 4 && key.ends_with(".MSI") && busy != mutexes.end() &&
                (busy->second.ownedByCaller > 0 || HeldByOther(busy->second))) {
                exitCode = ERROR_INSTALL_ALREADY_RUNNING;
                duration = 50;
            }
            s.pid = AddProcess(script.image.empty() ? BaseOf(s.resolved) : script.image, now, now + duration, exitCode,
                               currentPid);
            if (info.fMask & SEE_MASK_NOCLOSEPROCESS)
                info.hProcess = NewHandle({.kind = HandleKind::Process, .process = processes.size() - 1});
        }
        for (const auto& child : script.children)
            AddProcess(child.image, now + child.delayMs, now + child.delayMs + child.durationMs, 0, s.pid);
        info.hInstApp = 42;
        starts.push_back(s);
        return true;
    }
    Handle CreateFileA(const char* path, uint32_t access, uint32_t share, void* securityDescriptor,
                       uint32_t disposition, uint32_t flags) override
    {
        Record("CreateFileA", std::string(path) + "|" + Hex(access) + "|" + Hex(share) + "|" +
                                  std::to_string(disposition) + "|" + Hex(flags));
        std::string full = Resolve(path);
        const std::string system32 = UpperAscii(Resolve(windowsDirectory + "\\System32")) + "\\";
        if (wow64 && !fsRedirectionOff && UpperAscii(full).rfind(system32, 0) == 0)
            full = Resolve(windowsDirectory + "\\SysWOW64\\" + full.substr(system32.size()));
        // ERROR_PATH_NOT_FOUND, as the system reports a path beyond MAX_PATH
        if (std::strlen(path) >= MAX_PATH || full.size() >= MAX_PATH) return Fail(3, zw::kInvalidHandle);
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
        // A folder, opened as such.
        if ((flags & FILE_FLAG_BACKUP_SEMANTICS) != 0 && disposition == OPEN_EXISTING) {
            if (!reparsePoint && directories_.count(key) == 0) return Fail(ERROR_FILE_NOT_FOUND, zw::kInvalidHandle);
            return NewHandle(
                {.kind = HandleKind::File, .name = key, .path = full, .reparsePoint = reparsePoint, .directory = true});
        }
        bool created = false;
        return OpenOrCreate(full, reparsePoint, disposition, securityDescriptor, created);
    }
    Handle OpenOrCreate(const std::string& full, bool reparsePoint, uint32_t disposition, void* securityDescriptor,
                        bool& created)
    {
        const std::string key = UpperAscii(full);
        if (directories_.count(FolderKey(full)) == 0) return Fail(3, zw::kInvalidHandle);
        if (directories_.count(key) != 0 || readOnlyFiles.count(key) != 0)
            return Fail(ERROR_ACCESS_DENIED, zw::kInvalidHandle);
        if (disposition != OPEN_ALWAYS) return Fail(ERROR_INVALID_PARAMETER, zw::kInvalidHandle);
        created = !reparsePoint && files_.emplace(key, "").second;
        if (created && securityDescriptor != nullptr) createdWith[key] = static_cast<const char*>(securityDescriptor);
        return NewHandle({.kind = HandleKind::File, .name = key, .path = full, .reparsePoint = reparsePoint});
    }
    Handle NtCreateFile(Handle folder, const char* name, uint32_t access, uint32_t share, void* securityDescriptor,
                        bool& created) override
    {
        Record("NtCreateFile", std::string(name) + "|" + Hex(access) + "|" + Hex(share));
        created = false;
        Object* o = Get(folder, HandleKind::File);
        if (o == nullptr || !o->directory || o->reparsePoint) return Fail(6, zw::kInvalidHandle);
        if (std::strchr(name, '\\') != nullptr || *name == 0) return Fail(123, zw::kInvalidHandle);
        // The folder the handle holds, whatever its path names now; the
        // file's own link is opened itself.
        const std::string full = o->path + "\\" + name;
        return OpenOrCreate(full, links.count(UpperAscii(full)) != 0, OPEN_ALWAYS, securityDescriptor, created);
    }
    bool GetTokenUserSidString(char*& sid) override
    {
        sid = static_cast<char*>(Allocate(tokenUser));
        return true;
    }
    bool GetSecurityInfoSddl(Handle file, char*& sddl) override
    {
        Record("GetSecurityInfoSddl");
        Object* o = Get(file, HandleKind::File);
        if (o == nullptr) return Fail(6);
        auto given = fileSecurity.find(o->name);
        auto created = createdWith.find(o->name);
        sddl = static_cast<char*>(Allocate(given != fileSecurity.end()    ? given->second
                                           : created != createdWith.end() ? "O:SY" + created->second
                                                                          : kAdministratorsFile));
        return true;
    }
    void* Allocate(const std::string& content)
    {
        auto copy = std::make_unique<char[]>(content.size() + 1);
        std::memcpy(copy.get(), content.c_str(), content.size() + 1);
        void* p = copy.get();
        allocations_.emplace(p, std::move(copy));
        return p;
    }
    bool ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* sddl, void*& descriptor) override
    {
        Record("ConvertStringSecurityDescriptorToSecurityDescriptorA", sddl);
        descriptor = nullptr;
        if (sddlFails) return Fail(1336);  // ERROR_INVALID_ACL
        descriptor = Allocate(sddl);       // the sim's descriptor is the SDDL text itself
        return true;
    }
    uint32_t GetFileType(Handle file) override
    {
        Object* o = Get(file, HandleKind::File);
        if (o == nullptr) return 0;  // FILE_TYPE_UNKNOWN
        auto type = fileTypes.find(UpperAscii(o->path));
        return type == fileTypes.end() ? FILE_TYPE_DISK : type->second;
    }
    bool GetFileInformationByHandle(Handle file, FileInformation& information) override
    {
        Object* o = Get(file, HandleKind::File);
        if (o == nullptr) return Fail(6);
        information.dwFileAttributes =
            (o->reparsePoint ? FILE_ATTRIBUTE_REPARSE_POINT : 0) | (o->directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
        if (information.dwFileAttributes == 0) information.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        auto count = linkCounts.find(UpperAscii(o->path));
        information.nNumberOfLinks = count == linkCounts.end() ? 1 : count->second;
        return true;
    }
    uint32_t GetFinalPathNameByHandleA(Handle file, char* buffer, uint32_t size, uint32_t) override
    {
        Object* o = Get(file, HandleKind::File);
        return o == nullptr ? Fail<uint32_t>(6) : CopyOut("\\\\?\\" + o->path, buffer, size);
    }
    uint32_t GetFullPathNameA(const char* path, uint32_t size, char* buffer) override
    {
        return CopyOut(Resolve(path), buffer, size);
    }
    Handle LoadLibraryExW(const wchar_t* fileName, uint32_t flags) override
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
        return Fail<Handle>(ERROR_MOD_NOT_FOUND);
    }
    bool GetProcAddress(Handle module, const char* procName) override
    {
        Record("GetProcAddress", procName);
        auto it = modules_.find(module);
        if (it != modules_.end()) {
            auto dll = system32Dlls.find(UpperAscii(BaseOf(it->second)));
            if (dll != system32Dlls.end() && dll->second.count(procName) != 0) return found_.insert(procName), true;
        }
        return Fail(ERROR_PROC_NOT_FOUND);
    }
    bool WriteFile(Handle file, const void* data, uint32_t size, uint32_t& written) override
    {
        Record("WriteFile", std::to_string(size));
        written = 0;
        Object* o = Get(file, HandleKind::File);
        if (o == nullptr || writeFails) return Fail(writeFails ? 112 : 6);  // ERROR_DISK_FULL, ERROR_INVALID_HANDLE
        files_[o->name].append(static_cast<const char*>(data), size);
        written = size;
        return true;
    }
    bool Wow64DisableWow64FsRedirection(void*& oldValue) override
    {
        Record("Wow64DisableWow64FsRedirection");
        if (!wow64) return Fail(1);  // ERROR_INVALID_FUNCTION: nothing to turn off
        oldValue = reinterpret_cast<void*>(static_cast<uintptr_t>(fsRedirectionOff ? 1 : 0));
        fsRedirectionOff = true;
        return true;
    }
    bool Wow64RevertWow64FsRedirection(void* oldValue) override
    {
        Record("Wow64RevertWow64FsRedirection");
        fsRedirectionOff = reinterpret_cast<uintptr_t>(oldValue) != 0;
        return true;
    }
    bool IsWow64Process(bool& result) override
    {
        Record("IsWow64Process");
        result = wow64CallFails ? false : wow64;
        return !wow64CallFails;
    }
    bool IsWow64Process2(uint16_t& process, uint16_t& native) override
    {
        Record("IsWow64Process2");
        if (!hasWow64Process2) return false;
        process = processMachine;
        native = nativeMachine;
        return true;
    }
    bool GetMachineTypeAttributes(uint16_t machine, uint32_t& attributes) override
    {
        Record("GetMachineTypeAttributes", Hex(machine));
        if (!hasMachineTypeAttributes) return false;
        auto it = machineAttributes.find(machine);
        attributes = it == machineAttributes.end() ? 0 : it->second;
        return true;
    }
    bool GetProcessWindowStationFlags(uint32_t& flags) override
    {
        Record("GetProcessWindowStationFlags");
        if (stationQueryFails) return Fail(ERROR_ACCESS_DENIED);
        flags = stationVisible ? WSF_VISIBLE : 0;
        return true;
    }
    bool GetCurrentSessionId(uint32_t& session) override
    {
        Record("GetCurrentSessionId");
        session = sessionId;
        return true;
    }
    Handle CreateThread(zw::ThreadProc proc, void* parameter) override
    {
        Record("CreateThread");
        if (threadCreateFails) return Fail<Handle>(8);  // ERROR_NOT_ENOUGH_MEMORY
        Handle h = NewHandle({.kind = HandleKind::Thread});
        // The procedure runs now; what its calls take is charged to the thread,
        // whose handle is signalled that much later. Each thread has its own
        // last error.
        const uint32_t callerError = lastError;
        ++onThread_;
        threadBusyMs_ = 0;
        proc(parameter);
        --onThread_;
        if (Object* thread = Get(h, HandleKind::Thread)) thread->threadEnd = now + threadBusyMs_;
        lastError = callerError;
        return h;
    }
    uint32_t GetProcessId(Handle process) override
    {
        Process* p = HandleProcess(process);
        return p != nullptr ? p->pid : Fail<uint32_t>(6);
    }
    void GetLocalTime(zw::SystemTime& time) override
    {
        // 2026-12-08 10:00:00.000 at virtual time 0.
        const uint64_t seconds = now / 1000, rest = seconds % 86400;
        time = {.wYear = 2026, .wMonth = 12};
        time.wDay = 8 + seconds / 86400;
        time.wHour = 10 + rest / 3600;
        time.wMinute = rest / 60 % 60;
        time.wSecond = rest % 60;
        time.wMilliseconds = now % 1000;
    }

    // ---- waits
    bool Waitable(Handle h)
    {
        return Get(h, HandleKind::Process) || Get(h, HandleKind::Mutex) || Get(h, HandleKind::Thread);
    }
    bool Signalled(Handle h, uint64_t& when)
    {
        when = UINT64_MAX;
        Object& o = handles_.at(h);
        if (o.kind == HandleKind::Process) {
            Process* p = HandleProcess(h);
            if (p == nullptr || !Running(*p)) return true;
            when = p->end;
        } else if (o.kind == HandleKind::Thread) {
            if (now >= o.threadEnd) return true;
            when = o.threadEnd;
        } else {
            Mutex& m = mutexes[o.name];
            if (!HeldByOther(m)) {
                ++m.ownedByCaller;
                ++m.acquisitions;
                return true;
            }
            when = m.heldUntil;
        }
        return false;
    }
    uint32_t Wait(uint32_t count, const Handle* handles, uint32_t timeoutMs, bool input)
    {
        const uint64_t deadline = timeoutMs == INFINITE ? UINT64_MAX : now + timeoutMs;
        for (;;) {
            AdvanceTo(now);
            uint64_t soonest = UINT64_MAX;
            for (uint32_t i = 0; i < count; ++i) {
                if (!Waitable(handles[i])) return Fail(6, WAIT_FAILED);
                uint64_t when = 0;
                if (Signalled(handles[i], when)) return WAIT_OBJECT_0 + i;
                soonest = std::min(soonest, when);
            }
            if (input &&
                (!posted_.empty() || quitPending_ ||
                 std::any_of(timers_.begin(), timers_.end(), [&](const auto& t) { return t.second.due <= now; })))
                return WAIT_OBJECT_0 + count;
            if (now >= deadline) return WAIT_TIMEOUT;
            // Without input nothing is dispatched: only scheduled events move the world on.
            const uint64_t events = events_.empty() ? UINT64_MAX : events_.begin()->first;
            const uint64_t next = std::min({soonest, deadline, input ? NextWake() : events});
            if (next == UINT64_MAX) {
                loopStarved = true;
                return WAIT_FAILED;
            }
            AdvanceTo(next);
        }
    }
    uint32_t WaitForSingleObject(Handle handle, uint32_t timeoutMs) override
    {
        Record("WaitForSingleObject", std::to_string(timeoutMs));
        return Wait(1, &handle, timeoutMs, false);
    }
    uint32_t MsgWaitForMultipleObjects(uint32_t count, const Handle* handles, bool, uint32_t timeoutMs,
                                       uint32_t wakeMask) override
    {
        Record("MsgWaitForMultipleObjects",
               std::to_string(count) + ":" + std::to_string(timeoutMs) + ":" + Hex(wakeMask));
        return Wait(count, handles, timeoutMs, true);
    }

    // ---- mutexes and services
    Handle OpenMutexA(uint32_t access, bool inherit, const char* name) override
    {
        Record("OpenMutexA", Hex(access) + ":" + (inherit ? "1" : "0") + ":" + name);
        auto it = mutexes.find(name);
        if (it == mutexes.end() || !it->second.exists) return Fail<Handle>(ERROR_FILE_NOT_FOUND);
        if (it->second.openError != 0) return Fail<Handle>(it->second.openError);
        return NewHandle({.kind = HandleKind::Mutex, .name = name});
    }
    // ---- the one-run lock
    void BeforeLockCall(const char* name)
    {
        if (beforeLockCall) beforeLockCall(name);
        // Copies held by processes that have ended are closed by now.
        std::erase_if(foreignHandles_, [&](const Object& o) {
            const Process* p = FindProcess(o.owner);
            return p != nullptr && !Running(*p);
        });
    }
    template <class Match>
    bool AnyHandle(Match match) const
    {
        for (const auto& h : handles_)
            if (match(h.second)) return true;
        for (const Object& o : foreignHandles_)
            if (match(o)) return true;
        return false;
    }
    bool Named(size_t index) const
    {
        return !namespaces_[index].destroyed && AnyHandle([&](const Object& o) {
            return o.kind == HandleKind::Namespace && o.process == index && o.creator;
        });
    }
    bool HasPrivateNamespaces() override
    {
        Record("HasPrivateNamespaces");
        return hasPrivateNamespaces;
    }
    Handle CreateBoundaryDescriptorW(const wchar_t* name) override
    {
        BeforeLockCall("CreateBoundaryDescriptorW");
        Record("CreateBoundaryDescriptorW", std::string(name, name + std::wcslen(name)));
        return NewHandle({.kind = HandleKind::Boundary, .owner = currentPid});
    }
    bool AddSIDToBoundaryDescriptor(Handle& boundary, uint32_t wellKnownSid) override
    {
        Record("AddSIDToBoundaryDescriptor", std::to_string(wellKnownSid));
        return Get(boundary, HandleKind::Boundary) != nullptr || Fail(6);
    }
    bool AddIntegrityLabelToBoundaryDescriptor(Handle& boundary, uint32_t wellKnownSid) override
    {
        Record("AddIntegrityLabelToBoundaryDescriptor", std::to_string(wellKnownSid));
        return Get(boundary, HandleKind::Boundary) != nullptr || Fail(6);
    }
    Handle CreatePrivateNamespaceW(void* securityDescriptor, Handle boundary, const wchar_t* alias) override
    {
        BeforeLockCall("CreatePrivateNamespaceW");
        Record("CreatePrivateNamespaceW", securityDescriptor != nullptr ? "rights" : "no rights");
        if (Get(boundary, HandleKind::Boundary) == nullptr) return Fail<Handle>(6);
        if (namespaceCreateError != 0) return Fail<Handle>(namespaceCreateError);
        for (size_t i = 0; i < namespaces_.size(); ++i)
            if (namespaces_[i].alias == alias && Named(i)) return Fail<Handle>(ERROR_ALREADY_EXISTS);
        namespaces_.push_back({alias});
        return NewHandle(
            {.kind = HandleKind::Namespace, .process = namespaces_.size() - 1, .owner = currentPid, .creator = true});
    }
    bool ClosePrivateNamespace(Handle privateNamespace, uint32_t flags) override
    {
        BeforeLockCall("ClosePrivateNamespace");
        Record("ClosePrivateNamespace", std::to_string(flags));
        Object* o = Get(privateNamespace, HandleKind::Namespace);
        if (o != nullptr && (flags & PRIVATE_NAMESPACE_FLAG_DESTROY) != 0) namespaces_[o->process].destroyed = true;
        return Close(privateNamespace, {HandleKind::Namespace}) || Fail(6);
    }
    void DeleteBoundaryDescriptor(Handle boundary) override
    {
        Record("DeleteBoundaryDescriptor");
        Close(boundary, {HandleKind::Boundary});
    }
    Handle CreateMutexW(void* securityDescriptor, bool initialOwner, const wchar_t* name) override
    {
        BeforeLockCall("CreateMutexW");
        const std::wstring wide(name);
        Record("CreateMutexW", std::string(wide.begin(), wide.end()) + (initialOwner ? ":owned" : "") +
                                   (securityDescriptor != nullptr ? ":rights" : ""));
        // A name under an alias is the object in the namespace that this
        // process opened under that alias, however that namespace stands now.
        std::string key = std::string(wide.begin(), wide.end());
        const size_t slash = wide.find(L'\\');
        if (wide.rfind(L"Global\\", 0) != 0 && slash != std::wstring::npos) {
            const Object* space = nullptr;
            for (const auto& h : handles_)
                if (h.second.kind == HandleKind::Namespace && h.second.owner == currentPid &&
                    namespaces_[h.second.process].alias == wide.substr(0, slash))
                    space = &h.second;
            if (space == nullptr) return Fail<Handle>(3);
            key = std::to_string(space->process) + key.substr(slash);
        }
        const bool exists =
            AnyHandle([&](const Object& o) { return o.kind == HandleKind::LockMutex && o.name == key; });
        Handle h = NewHandle({.kind = HandleKind::LockMutex, .name = key, .owner = currentPid});
        SetLastError(exists ? ERROR_ALREADY_EXISTS : 0);
        return h;
    }
    bool DuplicateHandle(Handle handle, Handle targetProcess) override
    {
        Record("DuplicateHandle");
        Process* target = HandleProcess(targetProcess);
        auto it = handles_.find(handle);
        if (target == nullptr || it == handles_.end()) return Fail(6);
        Object copy = it->second;
        copy.owner = target->pid;
        foreignHandles_.push_back(copy);
        return true;
    }
    bool ReleaseMutex(Handle mutex) override
    {
        Record("ReleaseMutex");
        if (Get(mutex, HandleKind::LockMutex) != nullptr) return true;
        Object* o = Get(mutex, HandleKind::Mutex);
        if (o == nullptr) return Fail(6);
        Mutex& m = mutexes[o->name];
        if (m.ownedByCaller == 0) return Fail(288);  // ERROR_NOT_OWNER
        --m.ownedByCaller;
        return true;
    }
    Handle OpenSCManagerA(const char* machine, const char* database, uint32_t access) override
    {
        Record("OpenSCManagerA", std::string(machine ? machine : "(local)") + ":" + (database ? database : "(active)") +
                                     ":" + Hex(access));
        return NewHandle({.kind = HandleKind::ServiceManager});
    }
    Handle OpenServiceA(Handle manager, const char* name, uint32_t access) override
    {
        Record("OpenServiceA", std::string(name) + ":" + Hex(access));
        if (Get(manager, HandleKind::ServiceManager) == nullptr) return Fail<Handle>(6);
        if (services.count(name) == 0) return Fail<Handle>(1060);  // ERROR_SERVICE_DOES_NOT_EXIST
        return NewHandle({.kind = HandleKind::Service, .name = name});
    }
    bool QueryServiceStatusEx(Handle service, zw::ServiceStatusProcess& status) override
    {
        Record("QueryServiceStatusEx");
        Object* o = Get(service, HandleKind::Service);
        if (o == nullptr) return Fail(6);
        const uint32_t pid = services[o->name];
        status.dwProcessId = pid;
        status.dwCurrentState = pid != 0 ? 4 : 1;  // SERVICE_RUNNING, SERVICE_STOPPED
        return true;
    }
    bool CloseServiceHandle(Handle handle) override
    {
        Record("CloseServiceHandle");
        return Close(handle, {HandleKind::ServiceManager, HandleKind::Service});
    }

    // ---- registry, environment, version resources, Windows Installer
    int View(uint32_t access) const
    {
        if (access & KEY_WOW64_64KEY) return 64;
        if (access & KEY_WOW64_32KEY) return 32;
        return wow64 ? 32 : 64;
    }
    uint32_t RegOpenKeyExA(const char* subKey, uint32_t access, Handle& key) override
    {
        Record("RegOpenKeyExA", std::string(subKey) + "|" + Hex(access));
        key = nullptr;
        const std::string path = RegPath(View(access), subKey);
        if (registry.count(path) == 0) return ERROR_FILE_NOT_FOUND;
        key = NewHandle({.kind = HandleKind::RegKey, .name = path});
        return 0;
    }
    uint32_t RegQueryValueExA(Handle key, const char* valueName, uint32_t& type, uint8_t* data, uint32_t& size) override
    {
        Record("RegQueryValueExA", valueName);
        Object* o = Get(key, HandleKind::RegKey);
        if (o == nullptr) return 6;
        const auto& values = registry[o->name];
        auto it = values.find(UpperAscii(valueName));
        if (it == values.end()) return ERROR_FILE_NOT_FOUND;
        type = it->second.type;
        const uint32_t needed = static_cast<uint32_t>(it->second.data.size());
        const bool fits = needed <= size;
        if (data != nullptr && fits) std::copy(it->second.data.begin(), it->second.data.end(), data);
        size = needed;
        return data == nullptr || fits ? 0 : ERROR_MORE_DATA;
    }
    uint32_t RegCreateKeyExA(const char* subKey, uint32_t access, Handle& key) override
    {
        Record("RegCreateKeyExA", std::string(subKey) + "|" + Hex(access));
        key = nullptr;
        if (registryWriteFails) return registryWriteError;
        const std::string path = RegPath(View(access), subKey);
        registry[path];
        key = NewHandle({.kind = HandleKind::RegKey, .name = path});
        return 0;
    }
    uint32_t RegSetValueExA(Handle key, const char* valueName, uint32_t type, const uint8_t* data,
                            uint32_t size) override
    {
        Record("RegSetValueExA", valueName);
        Object* o = Get(key, HandleKind::RegKey);
        if (o == nullptr) return 6;
        if (registryWriteFails) return registryWriteError;
        registry[o->name][UpperAscii(valueName)] = {type, std::vector<uint8_t>(data, data + size)};
        return 0;
    }
    uint32_t RegCloseKey(Handle key) override
    {
        Record("RegCloseKey");
        return Close(key, {HandleKind::RegKey}) ? 0 : 6;
    }
    uint32_t ExpandEnvironmentStringsA(const char* source, char* buffer, uint32_t size) override
    {
        Record("ExpandEnvironmentStringsA", source);
        std::string out, text = source;
        for (size_t i = 0; i < text.size(); ++i) {
            const size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
            const std::string name = close == std::string::npos ? "" : UpperAscii(text.substr(i + 1, close - i - 1));
            if (name == "WINDIR") {  // the folder a test shapes, whatever the map says
                out += windowsDirectory;
                i = close;
                continue;
            }
            auto var = name.empty() ? environment.end() : environment.find(name);
            if (var == environment.end()) {
                out += text[i];
                continue;
            }
            out += var->second;
            i = close;
        }
        if (out.size() + 1 > size) return static_cast<uint32_t>(out.size() + 1);
        std::copy(out.begin(), out.end(), buffer);
        buffer[out.size()] = '\0';
        return static_cast<uint32_t>(out.size() + 1);
    }
    uint32_t GetFileAttributesA(const char* path) override
    {
        Record("GetFileAttributesA", path);
        if (HasFile(path)) return FILE_ATTRIBUTE_NORMAL;
        if (directories_.count(UpperAscii(Resolve(path))) != 0) return FILE_ATTRIBUTE_DIRECTORY;
        return Fail<uint32_t>(ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    }
    void GetSystemTime(zw::SystemTime& time) override
    {
        GetLocalTime(time);  // the simulated machine keeps UTC
    }
    bool Found(const char* entry) { return found_.count(entry) != 0 || Fail(ERROR_PROC_NOT_FOUND); }
    uint32_t GetFileVersionInfoSizeA(const char* file) override
    {
        Record("GetFileVersionInfoSizeA", file);
        if (!Found("GetFileVersionInfoSizeA")) return 0;
        if (!HasFile(file)) return Fail<uint32_t>(ERROR_FILE_NOT_FOUND);
        if (fileVersions.count(UpperAscii(Resolve(file))) == 0) return Fail<uint32_t>(1813);  // no version resource
        return sizeof(zw::FixedFileInfo);
    }
    bool GetFileVersionInfoA(const char* file, uint32_t size, void* data) override
    {
        Record("GetFileVersionInfoA", file);
        if (!Found("GetFileVersionInfoA")) return false;
        auto it = fileVersions.find(UpperAscii(Resolve(file)));
        if (it == fileVersions.end() || size < sizeof(zw::FixedFileInfo)) return Fail(ERROR_INSUFFICIENT_BUFFER);
        zw::FixedFileInfo info{0xFEEF04BD, 0x10000, it->second.first, it->second.second};
        std::memcpy(data, &info, sizeof info);
        return true;
    }
    bool VerQueryValueA(const void* block, const char* subBlock, const void*& buffer, uint32_t& length) override
    {
        Record("VerQueryValueA", subBlock);
        if (!Found("VerQueryValueA") || std::string(subBlock) != "\\") return false;
        buffer = block;
        length = sizeof(zw::FixedFileInfo);
        return true;
    }
    const MsiProduct* Product(const char* code) const
    {
        for (const MsiProduct& p : msiProducts)
            if (UpperAscii(p.productCode) == UpperAscii(code)) return &p;
        return nullptr;
    }
    int32_t MsiQueryProductStateA(const char* product) override
    {
        Record("MsiQueryProductStateA", product);
        if (found_.count("MsiQueryProductStateA") == 0) return INSTALLSTATE_INVALIDARG;
        const MsiProduct* p = Product(product);
        return p == nullptr ? -1 : p->state;  // INSTALLSTATE_UNKNOWN
    }
    uint32_t MsiGetProductInfoA(const char* product, const char* property, char* buffer, uint32_t& size) override
    {
        Record("MsiGetProductInfoA", std::string(product) + "|" + property);
        if (found_.count("MsiGetProductInfoA") == 0) return ERROR_PROC_NOT_FOUND;
        const MsiProduct* p = Product(product);
        if (p == nullptr) return ERROR_UNKNOWN_PRODUCT;
        if (std::string(property) != "VersionString") return ERROR_UNKNOWN_PROPERTY;
        const uint32_t room = size;
        size = static_cast<uint32_t>(p->version.size());
        if (room <= p->version.size()) return ERROR_MORE_DATA;
        std::memcpy(buffer, p->version.c_str(), p->version.size() + 1);
        return 0;
    }
    uint32_t MsiEnumRelatedProductsA(const char* upgradeCode, uint32_t index, char* productBuffer) override
    {
        Record("MsiEnumRelatedProductsA", std::string(upgradeCode) + "|" + std::to_string(index));
        if (found_.count("MsiEnumRelatedProductsA") == 0) return ERROR_PROC_NOT_FOUND;
        uint32_t seen = 0;
        for (const MsiProduct& p : msiProducts) {
            if (UpperAscii(p.upgradeCode) != UpperAscii(upgradeCode) || seen++ != index) continue;
            std::memcpy(productBuffer, p.productCode.c_str(), std::min<size_t>(p.productCode.size(), 38) + 1);
            productBuffer[38] = '\0';
            return 0;
        }
        return ERROR_NO_MORE_ITEMS;
    }

    // ---- handles
    Object* Get(Handle h, HandleKind kind)
    {
        auto it = handles_.find(h);
        return it != handles_.end() && it->second.kind == kind ? &it->second : nullptr;
    }
    Handle NewHandle(Object object)
    {
        Handle h = reinterpret_cast<Handle>(nextHandle_ += 4);
        handles_[h] = std::move(object);
        return h;
    }
    bool Close(Handle h, std::initializer_list<HandleKind> kinds)
    {
        auto it = handles_.find(h);
        if (it == handles_.end() || std::find(kinds.begin(), kinds.end(), it->second.kind) == kinds.end()) {
            ++badCloses_;
            return false;
        }
        handles_.erase(it);
        return true;
    }

    // ---- Toolhelp
    Handle CreateToolhelp32Snapshot(uint32_t flags, uint32_t processId) override
    {
        Record("CreateToolhelp32Snapshot", Hex(flags) + ":" + std::to_string(processId));
        if (snapshotFails) return Fail(8, zw::kInvalidHandle);
        Object snapshot{.kind = HandleKind::Snapshot};
        for (size_t i = 0; i < processes.size(); ++i)
            if (Running(processes[i])) snapshot.entries.push_back(i);
        return NewHandle(std::move(snapshot));
    }
    bool NextEntry(Object& snapshot, zw::ProcessEntry& entry)
    {
        if (snapshot.cursor >= snapshot.entries.size()) return Fail(18);  // ERROR_NO_MORE_FILES
        const Process& p = processes[snapshot.entries[snapshot.cursor++]];
        entry.th32ProcessID = p.pid;
        entry.th32ParentProcessID = p.parent;
        size_t n = std::min(p.image.size(), sizeof entry.szExeFile - 1);
        std::memcpy(entry.szExeFile, p.image.data(), n);
        entry.szExeFile[n] = '\0';
        if (onEntry) onEntry(entry);
        return true;
    }
    bool Process32First(Handle snapshot, zw::ProcessEntry& entry) override
    {
        Record("Process32First");
        Object* o = Get(snapshot, HandleKind::Snapshot);
        if (o == nullptr) return Fail(87);
        o->cursor = 0;
        return NextEntry(*o, entry);
    }
    bool Process32Next(Handle snapshot, zw::ProcessEntry& entry) override
    {
        Record("Process32Next");
        Object* o = Get(snapshot, HandleKind::Snapshot);
        return o != nullptr && NextEntry(*o, entry);
    }
    Handle OpenProcess(uint32_t access, bool inherit, uint32_t processId) override
    {
        Record("OpenProcess", Hex(access) + ":" + (inherit ? "1" : "0") + ":" + std::to_string(processId));
        auto p = std::find_if(processes.begin(), processes.end(),
                              [&](const Process& q) { return q.pid == processId && Running(q); });
        if (p == processes.end()) return Fail<Handle>(87);  // ERROR_INVALID_PARAMETER: no process has that id
        if (p->openFails) return Fail<Handle>(5);
        return NewHandle({.kind = HandleKind::Process, .process = static_cast<size_t>(p - processes.begin())});
    }
    bool GetExitCodeProcess(Handle process, uint32_t& exitCode) override
    {
        Record("GetExitCodeProcess");
        AdvanceTo(now);
        Process* p = HandleProcess(process);
        if (p == nullptr) return Fail(6);
        exitCode = Running(*p) ? STILL_ACTIVE : p->exitCode;
        return true;
    }
    bool QueryFullProcessImageNameA(Handle process, uint32_t flags, char* buffer, uint32_t& size) override
    {
        Record("QueryFullProcessImageNameA", std::to_string(flags));
        Process* p = HandleProcess(process);
        if (p == nullptr) return Fail(6);
        const std::string path = p->path.empty() ? "C:\\Program Files\\" + p->image : p->path;
        if (path.size() + 1 > size) return Fail(ERROR_INSUFFICIENT_BUFFER);
        size = CopyOut(path, buffer, size);
        return true;
    }
    bool GetProcessTimes(Handle process, uint64_t& creation, uint64_t& exit) override
    {
        Record("GetProcessTimes");
        Process* p = HandleProcess(process);
        if (p == nullptr) return Fail(6);
        creation = kFileTimeBase + p->start * 10000;
        exit = Running(*p) ? 0 : kFileTimeBase + p->end * 10000;
        return true;
    }
    bool CloseHandle(Handle handle) override
    {
        Record("CloseHandle");
        // Service handles are closed with CloseServiceHandle, device lists with SetupDiDestroyDeviceInfoList.
        return Close(handle, {HandleKind::Snapshot, HandleKind::Process, HandleKind::Token, HandleKind::Mutex,
                              HandleKind::File, HandleKind::Thread, HandleKind::LockMutex});
    }

    // ---- devices
    Handle SetupDiGetClassDevsA(uint32_t flags) override
    {
        Record("SetupDiGetClassDevsA", Hex(flags));
        if (classDevsFails) return zw::kInvalidHandle;
        return NewHandle({.kind = HandleKind::DeviceSet});
    }
    bool SetupDiEnumDeviceInfo(Handle set, uint32_t index, zw::DeviceInfoData& device) override
    {
        Record("SetupDiEnumDeviceInfo", std::to_string(index));
        if (Get(set, HandleKind::DeviceSet) == nullptr || index >= devices.size()) return Fail(ERROR_NO_MORE_ITEMS);
        device.devInst = index + 1;
        return true;
    }
    bool SetupDiGetDeviceRegistryPropertyA(Handle set, zw::DeviceInfoData& device, uint32_t property,
                                           uint32_t* dataType, uint8_t* buffer, uint32_t size,
                                           uint32_t* requiredSize) override
    {
        Record("SetupDiGetDeviceRegistryPropertyA", std::to_string(property) + ":" + std::to_string(size));
        if (Get(set, HandleKind::DeviceSet) == nullptr || device.devInst == 0 || device.devInst > devices.size())
            return Fail(87);
        const Device& d = devices[device.devInst - 1];
        if (d.readError != 0) return Fail(d.readError);
        uint32_t need = static_cast<uint32_t>(d.hardwareIds.size());
        if (requiredSize) *requiredSize = need;
        if (need > size) return Fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, d.hardwareIds.data(), need);
        if (dataType) *dataType = 7;  // REG_MULTI_SZ
        return true;
    }
    bool SetupDiDestroyDeviceInfoList(Handle set) override
    {
        Record("SetupDiDestroyDeviceInfoList");
        return Close(set, {HandleKind::DeviceSet});
    }
    Handle SetupDiOpenDevRegKey(Handle set, zw::DeviceInfoData& device, uint32_t scope, uint32_t profile,
                                uint32_t keyType, uint32_t access) override
    {
        Record("SetupDiOpenDevRegKey", Hex(scope) + ":" + Hex(profile) + ":" + Hex(keyType) + ":" + Hex(access));
        if (Get(set, HandleKind::DeviceSet) == nullptr || device.devInst == 0 || device.devInst > devices.size())
            return Fail(87, zw::kInvalidHandle);
        const Device& d = devices[device.devInst - 1];
        if (scope != DICS_FLAG_GLOBAL || keyType != DIREG_DRV || (d.driverVersion.empty() && d.providerName.empty()))
            return Fail(ERROR_FILE_NOT_FOUND, zw::kInvalidHandle);
        const std::string path = "DRIVER|" + std::to_string(device.devInst);
        registry[path].clear();
        if (!d.driverVersion.empty()) registry[path]["DRIVERVERSION"] = {REG_SZ, Sz(d.driverVersion)};
        if (!d.providerName.empty()) registry[path]["PROVIDERNAME"] = {REG_SZ, Sz(d.providerName)};
        return NewHandle({.kind = HandleKind::RegKey, .name = path});
    }
    Handle SetupOpenInfFileA(const char* fileName, uint32_t style) override
    {
        Record("SetupOpenInfFileA", std::string(fileName) + "|" + Hex(style));
        if (infOpenFails) return Fail(31, zw::kInvalidHandle);  // ERROR_GEN_FAILURE
        const std::string key = UpperAscii(Resolve(fileName));
        if (files_.count(key) == 0) return Fail(ERROR_FILE_NOT_FOUND, zw::kInvalidHandle);
        return NewHandle({.kind = HandleKind::Inf, .name = key});
    }
    bool SetupFindFirstLineA(Handle inf, const char* section, const char* key, zw::InfLine& line) override
    {
        Record("SetupFindFirstLineA", std::string(section) + "|" + key);
        Object* o = Get(inf, HandleKind::Inf);
        std::string value;
        if (o == nullptr) return Fail(6);
        if (!zw::ProfileText(files_[o->name]).Find(section, key, value))
            return Fail(0xE0000102);  // ERROR_LINE_NOT_FOUND
        const size_t index = infLines_.size();
        infLines_.push_back({files_[o->name], value});
        std::memcpy(line.systemRecord, &index, sizeof index);
        return true;
    }
    // Fields split at commas, blanks and quotes dropped, %key% from [Strings].
    bool SetupGetStringFieldA(zw::InfLine& line, uint32_t field, char* buffer, uint32_t size) override
    {
        Record("SetupGetStringFieldA", std::to_string(field));
        size_t index = 0;
        std::memcpy(&index, line.systemRecord, sizeof index);
        if (index >= infLines_.size() || field == 0) return Fail(ERROR_INVALID_PARAMETER);
        std::stringstream fields(infLines_[index].second);
        std::string text;
        for (uint32_t i = 0; i < field; ++i)
            if (!std::getline(fields, text, ',')) return Fail(ERROR_INVALID_PARAMETER);
        text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
        text.erase(0, text.find_first_not_of(" \t"));
        text.erase(text.find_last_not_of(" \t") + 1);
        if (text.size() > 2 && text.front() == '%' && text.back() == '%')
            zw::ProfileText(infLines_[index].first).Find("Strings", text.substr(1, text.size() - 2), text);
        if (text.size() + 1 > size) return Fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        return true;
    }
    void SetupCloseInfFile(Handle inf) override
    {
        Record("SetupCloseInfFile");
        Close(inf, {HandleKind::Inf});
    }
    uint32_t CM_Get_DevNode_Status(uint32_t* status, uint32_t* problem, uint32_t devInst, uint32_t flags) override
    {
        Record("CM_Get_DevNode_Status", std::to_string(devInst) + ":" + std::to_string(flags));
        if (devInst == 0 || devInst > devices.size() || !devices[devInst - 1].present) return CR_NO_SUCH_DEVNODE;
        if (status) *status = 0x0180200A;
        if (problem) *problem = 0;
        return CR_SUCCESS;
    }
    bool UpdateDriverForPlugAndPlayDevicesA(Hwnd owner, const char* hardwareId, const char* infPath,
                                            uint32_t installFlags, int32_t* rebootRequired) override
    {
        Record("UpdateDriverForPlugAndPlayDevicesA", std::string(hardwareId) + "|" + infPath);
        updates.push_back({now, owner, hardwareId, infPath, installFlags, onThread_ > 0});
        if (onThread_ > 0)
            threadBusyMs_ += updateDurationMs;
        else
            AdvanceTo(now + updateDurationMs);  // nothing is dispatched meanwhile
        if (updateFails) return Fail(updateError ? updateError : ERROR_NO_SUCH_DEVINST);
        if (rebootRequired) *rebootRequired = updateReboot;
        return true;
    }

    // ---- token and restart
    bool OpenProcessToken(uint32_t access, Handle& token) override
    {
        Record("OpenProcessToken", Hex(access));
        if (tokenOpenFails) return Fail(tokenError);
        token = NewHandle({.kind = HandleKind::Token});
        return true;
    }
    bool LookupPrivilegeValueA(const char* systemName, const char* name, zw::Luid& luid) override
    {
        Record("LookupPrivilegeValueA", std::string(systemName ? systemName : "(local)") + "|" + name);
        luid = {19, 0};
        return true;
    }
    bool AdjustTokenPrivileges(Handle token, bool disableAll, const zw::TokenPrivileges& state) override
    {
        Record("AdjustTokenPrivileges",
               std::string(disableAll ? "1" : "0") + ":" + std::to_string(state.privilegeCount) + ":" +
                   std::to_string(state.luid.lowPart) + ":" + std::to_string(state.attributes));
        if (Get(token, HandleKind::Token) == nullptr) return Fail(6);  // ERROR_INVALID_HANDLE
        lastError = holdsShutdownRight ? 0 : ERROR_NOT_ALL_ASSIGNED;
        return true;
    }
    bool ExitWindowsEx(uint32_t flags, uint32_t reason) override
    {
        Record("ExitWindowsEx", std::to_string(flags) + ":" + std::to_string(reason));
        exitWindowsCalls.push_back(flags);
        if (exitWindowsFails) return Fail(exitWindowsError);
        ++restartsAccepted_;
        return true;
    }
    uint32_t InitiateShutdownW(const char16_t* message, uint32_t gracePeriodSeconds, uint32_t flags,
                               uint32_t reason) override
    {
        Record("InitiateShutdownW", std::to_string(gracePeriodSeconds) + ":" + Hex(flags) + ":" + Hex(reason));
        if (initiateShutdownResult == ERROR_CALL_NOT_IMPLEMENTED) return initiateShutdownResult;  // not there
        shutdownCalls.push_back({now, message ? std::u16string(message) : std::u16string()});
        if (initiateShutdownResult == 0) ++restartsAccepted_;
        return initiateShutdownResult;
    }

    // ---- errors
    uint32_t FormatMessageA(uint32_t flags, uint32_t messageId, uint32_t languageId, char** buffer) override
    {
        Record("FormatMessageA", Hex(flags) + ":" + std::to_string(messageId) + ":" + Hex(languageId));
        auto it = systemTexts.find(messageId);
        if (it == systemTexts.end()) return Fail<uint32_t>(317);  // ERROR_MR_MID_NOT_FOUND
        // A text with an insert (%1) cannot be formatted without arguments.
        const std::string& text = it->second;
        const size_t percent = text.find('%');
        const bool insert = percent != std::string::npos && percent + 1 < text.size() &&
                            std::isdigit(static_cast<unsigned char>(text[percent + 1]));
        if (insert && (flags & 0x200) == 0) return Fail<uint32_t>(87);  // without FORMAT_MESSAGE_IGNORE_INSERTS
        *buffer = static_cast<char*>(Allocate(text));
        return static_cast<uint32_t>(text.size());
    }
    void LocalFree(void* memory) override
    {
        Record("LocalFree");
        if (allocations_.erase(memory) == 0) ++badCloses_;
    }
};

}  // namespace

std::unique_ptr<SimWindows> SimWindows::Make() { return std::make_unique<Seam>(); }

void (*contractBroken)(const std::string& what) = nullptr;

}  // namespace sim
