// A simulated Windows for the host tests: a small discrete-event simulator
// behind the Platform seam.
//
// Nothing waits in real time. The virtual clock moves only when the code under
// test sleeps, or when the message loop has nothing to do and skips ahead to
// the next timer or scheduled event. Every call through the seam is recorded
// with the virtual time, so tests can say what happened and when.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "detect/detect_eval.h"
#include "detect/marker.h"
#include "platform/platform.h"
#include "setuplist/setup_list.h"
#include "state/run_state.h"

namespace sim {

using zw::Handle;
using zw::Hwnd;
using zw::Msg;

struct Call {
    uint64_t time;
    std::string name;
    std::string detail;
};

struct BoxShown {
    uint64_t time;
    Hwnd owner;
    std::string text;
    std::string caption;
    uint32_t type;
    uint64_t closed = 0;
};

struct Start {
    uint64_t time;
    std::string verb, file, parameters, directory;  // directory: the current directory at the start
    std::string resolved;
    uint32_t mask = 0;                // ShellExecuteExA's fMask
    uint32_t pid = 0;                 // the process started, 0 for none
    bool mutexOwnedByCaller = false;  // the caller held the installer's mutex at the start
};

struct DialogRun {
    uint64_t opened = 0, closed = 0;
    int templateId = 0;
    Hwnd owner = nullptr;
    Hwnd hwnd = nullptr;
    intptr_t result = 0;
    bool ended = false;
};

// What a started file turns into.
struct ProgramScript {
    std::string image;  // image name of the process; empty: the file's base name
    uint64_t durationMs = 1000;
    struct Child {
        std::string image;
        uint64_t delayMs, durationMs;
    };
    std::vector<Child> children;  // further processes it launches
    uint32_t exitCode = 0;        // when it ends by itself
    bool noProcess = false;       // the shell hands the file to a running program: no process handle
    intptr_t shellError = 0;      // non-zero: the start fails with this SE_ERR_ code, after a box of the
                                  // shell's own that leaves no last error
};

struct Process {
    uint32_t pid;
    std::string image;
    uint64_t start, end;  // runs in [start, end)
    bool openFails = false;
    uint32_t exitCode = 0;
    std::string path{};             // the image's full path; empty: C:\Program Files\<image>
    uint32_t parent = 0;            // the creator's id, as Toolhelp reports it
};

struct Device {
    std::vector<uint8_t> hardwareIds;  // raw REG_MULTI_SZ bytes
    uint32_t readError = 0;            // non-zero: the property read fails with this error
    bool present = true;
    // Its driver key's DriverVersion and ProviderName (REG_SZ), an empty one
    // missing; both empty: it has no driver key.
    std::string driverVersion{}, providerName{};
};

// Builds a REG_MULTI_SZ list from its strings.
std::vector<uint8_t> MultiSz(const std::vector<std::string>& strings);
std::string UpperAscii(std::string s);

// What a test shapes and reads (every fault it can turn on is a flag named
// <what>Fails, off by default); the seam's calls are in sim_windows.cpp.
class SimWindows : public zw::Platform {
public:
    static std::unique_ptr<SimWindows> Make();

    // ---- clock and scheduled events
    uint64_t now = 0;
    void At(uint64_t time, std::function<void()> action) { events_.emplace(time, std::move(action)); }
    void After(uint64_t delay, std::function<void()> action) { At(now + delay, std::move(action)); }

    // ---- windows and the message loop
    Hwnd CreateTestWindow(zw::WindowProc proc);  // sends WM_CREATE before it returns
    bool IsAlive(Hwnd hwnd) const;
    void PostMessage(Hwnd hwnd, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0)
    {
        posted_.push_back({hwnd, message, wParam, lParam});
    }
    // The program's own loop (GetMessage, Translate, Dispatch) until WM_QUIT;
    // returns its exit code, or -1 when the loop starved or ran past limitMs.
    int RunMessageLoop(uint64_t limitMs = 3600 * 1000);
    bool loopStarved = false;
    bool timedOut = false;
    size_t ArmedTimers() const { return timers_.size(); }
    bool TimerArmed(Hwnd hwnd, uintptr_t id) const { return timers_.count({hwnd, id}) != 0; }

    std::vector<DialogRun> dialogs;
    Hwnd OpenDialog() const;  // the dialog that is open now, or null

    // ---- message boxes
    std::vector<BoxShown> boxes;
    // Answers each box; the default answers IDOK to MB_OK and IDNO to questions.
    std::function<int(const BoxShown&)> answer;
    uint64_t boxAnswerDelayMs = 0;

    // ---- files (paths are case-insensitive; directories are created on demand)
    std::string currentDirectory = "C:\\setup";
    std::string windowsDirectory = "C:\\windows";
    std::string modulePath = "C:\\setup\\zarnowel.exe";
    uint32_t lcid = 0x0409;
    void AddFile(const std::string& path, const std::string& content = "x");
    // The launcher's executable at modulePath, and beside it Zarnowel.ini
    // holding list.
    void AddLauncher(const std::string& list);
    // The launcher's run: its window (launcherWindow) created, the loop run
    // until it quits; with a list, that list put in place first.
    int RunLauncher(uint64_t limitMs = 600 * 1000);
    int RunLauncher(const std::string& list, uint64_t limitMs = 600 * 1000)
    {
        AddLauncher(list);
        return RunLauncher(limitMs);
    }
    Hwnd launcherWindow = nullptr;
    // A stand-in program at path that runs for runsMs, its process named
    // image (empty: its file name), and ends with exitCode.
    void AddProgram(const std::string& path, uint64_t runsMs, const std::string& image = "", uint32_t exitCode = 0);
    void AddDirectory(const std::string& path);
    bool HasFile(const std::string& path) const { return files_.count(UpperAscii(Resolve(path))) != 0; }
    std::string FileContent(const std::string& path) const;
    bool copyFails = false;

    // ---- processes
    std::map<std::string, ProgramScript> programs;  // by upper-cased base name of the started file
    std::vector<Process> processes;                 // Toolhelp hands them out in this order
    std::vector<Start> starts;
    uint32_t AddProcess(const std::string& image, uint64_t start, uint64_t end = UINT64_MAX, uint32_t exitCode = 0,
                        uint32_t parent = 0);
    // A process under an id an earlier one had: ids are reused once a process is gone.
    void AddProcessWithId(uint32_t pid, const std::string& image, uint64_t start, uint64_t end, uint32_t parent)
    {
        processes.push_back({.pid = pid, .image = image, .start = start, .end = end, .path = {}, .parent = parent});
    }
    Process* FindProcess(uint32_t pid);                // the first added with that id
    uint32_t NextPid() const { return nextPid_ + 4; }  // the id the next new process gets
    bool Running(const Process& p) const { return p.start <= now && now < p.end; }
    bool snapshotFails = false;
    // Called with each entry that Process32First/Next hands out, once filled:
    // lets a test shape an entry as a real system might (e.g. a full name field).
    std::function<void(zw::ProcessEntry&)> onEntry;

    // ---- synchronisation: named mutexes, held by another process for a time
    struct Mutex {
        bool exists = true;
        uint64_t heldFrom = 0, heldUntil = 0;  // held by someone else in [heldFrom, heldUntil)
        uint32_t openError = 0;                // non-zero: OpenMutexA fails with it
        int ownedByCaller = 0;                 // recursion count of the code under test
        uint64_t acquisitions = 0;
    };
    std::map<std::string, Mutex> mutexes;  // by name

    // ---- the one-run lock's objects, shared by every launcher on the machine
    // (a test plays several by switching currentPid). A namespace stays
    // named, for create and open, while its creator's handle or a copy of it
    // is open and it is not destroyed; objects in it stay usable through the
    // handles already open.
    bool hasPrivateNamespaces = true;
    uint32_t namespaceCreateError = 0;  // non-zero: CreatePrivateNamespaceW fails with it
    // Called before each of the lock's calls, with its name: lets a test
    // interleave other runs at that point.
    std::function<void(const std::string&)> beforeLockCall;
    // The process ends: its handles close (copies of the lock's included).
    void EndProcessHandles(uint32_t pid);

    // ---- services: the process id the service manager reports, by name
    std::map<std::string, uint32_t> services;

    // ---- process identity and clock
    bool wow64 = false;
    bool wow64CallFails = false;
    // IsWow64Process2 (Windows 10 1511 on): absent unless a test gives it.
    bool hasWow64Process2 = false;
    uint16_t processMachine = 0, nativeMachine = 0;  // IMAGE_FILE_MACHINE_*
    // GetMachineTypeAttributes (Windows 11): absent unless a test gives it;
    // a machine not listed has no attributes.
    bool hasMachineTypeAttributes = false;
    std::map<uint16_t, uint32_t> machineAttributes;
    // The process's window station: visible (an interactive desktop) unless
    // a test plays a service's.
    bool stationVisible = true;
    bool stationQueryFails = false;
    uint32_t sessionId = 1;  // the first user's
    // Under WOW64, CreateFileA of <windows>\System32\... opens SysWOW64 while
    // the thread's redirection is on (the exempt subfolders are not modelled).
    bool fsRedirectionOff = false;
    uint32_t currentPid = 4242;
    // Of the time on the clock, how much the machine slept (not counted by
    // QueryUnbiasedInterruptTime).
    uint64_t asleepMs = 0;

    // ---- files written through CreateFileA/WriteFile (the run log)
    std::set<std::string> readOnlyFiles;  // upper-cased resolved paths
    bool writeFails = false;
    // Links a user could have planted, by upper-cased resolved path: a
    // symbolic link (of a file) or a junction (of a folder) to its target;
    // CreateFileA follows them, the last one not with FILE_FLAG_OPEN_REPARSE_POINT.
    std::map<std::string, std::string> links;
    std::map<std::string, uint32_t> linkCounts;      // a file's hard links, where more than 1
    std::map<std::string, uint32_t> fileTypes;       // GetFileType where not FILE_TYPE_DISK (a device, a pipe)
    std::map<std::string, std::string> createdWith;  // the SDDL of the rights a created file got
    // A file's owner and DACL as SDDL, by upper-cased resolved path; a file
    // the launcher created has SYSTEM and the rights it gave, any other one
    // kAdministratorsFile.
    std::map<std::string, std::string> fileSecurity;
    std::string tokenUser = "S-1-5-18";  // the account the launcher runs as
    static constexpr char kAdministratorsFile[] = "O:BAG:SYD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";
    bool sddlFails = false;

    // ---- modules: LoadLibraryExW searches as the flags say. System32 holds
    // these DLLs with these exports; a DLL file added elsewhere (AddFile) is a
    // planted one.
    std::map<std::string, std::set<std::string>> system32Dlls = {
        {"CFGMGR32.DLL", {"CM_Get_DevNode_Status"}},
        {"NEWDEV.DLL", {"UpdateDriverForPlugAndPlayDevicesA"}},
        {"MSI.DLL", {"MsiQueryProductStateA", "MsiGetProductInfoA", "MsiEnumRelatedProductsA"}},
        {"VERSION.DLL", {"GetFileVersionInfoSizeA", "GetFileVersionInfoA", "VerQueryValueA"}}};
    std::vector<std::string> loadedModules;  // the resolved path of every module loaded

    // ---- the registry below HKLM, by view (64 or 32) and key; a test adds
    // keys and values with SetValue/AddKey. A 32-bit process without a
    // KEY_WOW64_* flag sees the 32-bit view.
    struct RegValue {
        uint32_t type;
        std::vector<uint8_t> data;
    };
    void AddKey(int view, const std::string& key);
    void SetValue(int view, const std::string& key, const std::string& name, uint32_t type,
                  const std::vector<uint8_t>& data);
    static std::vector<uint8_t> Sz(const std::string& text);
    static std::vector<uint8_t> Dword(uint32_t value);
    bool HasKey(int view, const std::string& key) const { return registry.count(RegPath(view, key)) != 0; }
    // The values of a key, by upper-cased name; null when the key is missing.
    const std::map<std::string, RegValue>* Values(int view, const std::string& key) const;
    std::map<std::string, std::map<std::string, RegValue>> registry;  // by RegPath
    static std::string RegPath(int view, const std::string& key)
    {
        return std::to_string(view) + "|" + UpperAscii(key);
    }
    bool registryWriteFails = false;  // RegCreateKeyExA and RegSetValueExA fail with registryWriteError
    uint32_t registryWriteError = 5;

    // ---- Windows Installer's products, file versions and the environment
    struct MsiProduct {
        std::string productCode, upgradeCode, version;
        int32_t state = 5;  // INSTALLSTATE_DEFAULT
    };
    std::vector<MsiProduct> msiProducts;
    std::map<std::string, std::pair<uint32_t, uint32_t>> fileVersions;  // MS and LS by upper-cased resolved path
    std::map<std::string, std::string> environment = {{"PROGRAMFILES", "C:\\Program Files"}};  // by upper-cased name

    // ---- devices
    std::vector<Device> devices;
    bool classDevsFails = false;
    // An INF (a file added with its text) is read for [Version] and
    // [Strings]; infOpenFails: SetupOpenInfFileA fails with ERROR_GEN_FAILURE.
    bool infOpenFails = false;
    bool updateFails = false;
    int32_t updateReboot = 0;
    uint32_t updateError = 0;
    // How long the platform's driver update takes: on a thread of the
    // launcher's own (CreateThread) that time passes while the caller goes on;
    // called on the caller's thread, it blocks it.
    uint64_t updateDurationMs = 0;
    bool threadCreateFails = false;
    struct UpdateCall {
        uint64_t time;
        Hwnd owner;
        std::string hardwareId, infPath;
        uint32_t flags;
        bool onThread;  // called on a thread the launcher made
    };
    std::vector<UpdateCall> updates;

    // ---- token and restart
    bool tokenOpenFails = false;
    uint32_t tokenError = 5;  // ERROR_ACCESS_DENIED
    bool holdsShutdownRight = true;
    bool exitWindowsFails = false;
    uint32_t exitWindowsError = 1314;
    std::vector<uint32_t> exitWindowsCalls;
    // InitiateShutdownW: its result; ERROR_CALL_NOT_IMPLEMENTED plays a
    // system without it.
    uint32_t initiateShutdownResult = 0;
    struct ShutdownCall {
        uint64_t time;
        std::u16string message;
    };
    std::vector<ShutdownCall> shutdownCalls;
    // Restart requests the system accepted, by either call.
    size_t RestartsAccepted() const { return restartsAccepted_; }
    std::map<uint32_t, std::string> systemTexts;  // FormatMessageA's texts by error code

    // ---- handles and allocations
    size_t OpenHandles() const { return handles_.size(); }
    // Of those, the ones to processes the launcher did not start itself.
    size_t OpenHandlesToOthers() const;
    // Reports, through contractBroken, a handle still open and one closed
    // wrongly.
    void CheckHandleContract() const;

    // ---- the record of calls
    std::vector<Call> calls;
    // Called after each recorded call: lets a test act at an exact point, e.g.
    // post a message while a device list is being walked.
    std::function<void(const Call&)> onCall;
    std::vector<Call> CallsNamed(const std::string& name) const;
    size_t CountCalls(const std::string& name) const { return CallsNamed(name).size(); }
    uint32_t lastError = 0;

protected:
    SimWindows();
    struct Window {
        zw::WindowProc proc = nullptr;  // a dialog's procedure too
        bool alive = true;
        bool isDialog = false;
        size_t dialogIndex = 0;
    };
    struct Timer {
        uint64_t due;
        uint32_t period;
    };
    enum class HandleKind {
        Snapshot,
        Process,
        DeviceSet,
        Token,
        Mutex,
        ServiceManager,
        Service,
        File,
        Thread,
        RegKey,
        Inf,
        Boundary,
        Namespace,
        LockMutex
    };
    // What an open handle refers to; the fields its kind has no use for stay empty.
    struct Object {
        HandleKind kind;
        size_t process = 0;             // Process: index into processes
        std::string name{};             // Mutex, Service: its name; File: its key in files_
        std::string path{};             // File: as the system would report it, links resolved
        bool reparsePoint = false;      // File: the link itself was opened
        bool directory = false;         // File: a folder, opened as such
        std::vector<size_t> entries{};  // Snapshot: indices into processes
        size_t cursor = 0;
        uint64_t threadEnd = 0;  // Thread: when its handle is signalled
        uint32_t owner = 0;      // Namespace, LockMutex: the process holding the handle
        bool creator = false;    // Namespace: from its creation, or a copy of that handle
    };
    struct LockNamespace {
        std::wstring alias;
        bool destroyed = false;
    };
    std::vector<LockNamespace> namespaces_;
    // Handles of the lock's objects held by processes other than the
    // launcher's own (copies); closed when their process ends.
    std::vector<Object> foreignHandles_;

    void Record(const std::string& name, const std::string& detail = "");
    void AdvanceTo(uint64_t time);
    Hwnd NewWindow(zw::WindowProc proc, bool isDialog);
    // GetMessageA without filters: false when nothing could ever arrive.
    bool GetMessage(Msg& msg);
    bool TakeMessage(Msg& msg);
    uint64_t NextWake() const;                           // the next timer or scheduled event
    std::string Resolve(const std::string& path) const;  // absolute, normalised
    bool HeldByOther(const Mutex& m) const { return m.heldFrom <= now && now < m.heldUntil; }

    std::map<Hwnd, Window> windows_;
    uintptr_t nextHwnd_ = 0x1000;
    std::map<std::pair<Hwnd, uintptr_t>, Timer> timers_;
    std::deque<Msg> posted_;
    bool quitPending_ = false;
    int quitCode_ = 0;
    std::multimap<uint64_t, std::function<void()>> events_;
    std::map<std::string, std::string> files_;  // contents by Upper(Resolve(path))
    std::set<std::string> directories_;
    std::map<Handle, Object> handles_;
    std::vector<std::pair<std::string, std::string>> infLines_;  // the file's text and the line's value, by InfLine
    int badCloses_ = 0;
    std::map<void*, std::unique_ptr<char[]>> allocations_;  // freed with LocalFree
    size_t restartsAccepted_ = 0;
    uint32_t nextPid_ = 1000;
};

// Where CheckHandleContract reports. The unit tests make a report a test
// failure (sim_contract.cpp), the fuzz targets a crash (fuzz_check.h).
extern void (*contractBroken)(const std::string& what);

// Installs a SimWindows as the platform for the lifetime of a test: a fresh
// process, whose run state starts out as the program's does. At its end the
// caller's contract is checked: every handle closed, none closed wrongly,
// every allocation of the system freed.
struct SimScope {
    std::unique_ptr<SimWindows> owned = SimWindows::Make();
    SimWindows& sim = *owned;
    SimScope()
    {
        zw::SetPlatform(&sim);
        zw::ResetRunState();
        zw::ResetSetupList();
        zw::ResetDetect();
        zw::ResetMarker();
    }
    ~SimScope()
    {
        zw::SetPlatform(nullptr);
        sim.CheckHandleContract();
    }
};

}  // namespace sim
