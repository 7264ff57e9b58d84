/* procprobe: watches processes by image name from inside Wine, the way the
 * launcher itself sees them (Toolhelp snapshots).
 *
 *   procprobe --stat NAME [--every MS --count N]
 *       one line per sample for the first process with that image name (ASCII
 *       case ignored), read through its own process handle:
 *       stat t=<unix ms> pid= cpu_ms= kernel_ms= user_ms= handles= threads=
 *            ws_kb= peak_ws_kb= private_kb=
 *            sys_handles= sys_handles_max= top_handle= thread_cpu_ms=
 *       ("none" when there is no such process). The handle stays open across
 *       samples, so the target's own figures are not disturbed by reopening.
 *       Samples are due every MS from the first one, so a slow sample doesn't
 *       shift the later ones. handles= is GetProcessHandleCount, which Wine
 *       leaves at 0; sys_handles= counts the target's entries in the system
 *       handle table (NtQuerySystemInformation, SystemHandleInformation), the
 *       fewest of 10 reads 60 ms apart, sys_handles_max= the most, and
 *       top_handle= is the highest handle value in the fewest read; all -1 when
 *       the table cannot be read. Under Wine GetProcessTimes answers with the
 *       caller's own times for any other process, so cpu_ms= is the probe's;
 *       thread_cpu_ms= sums GetThreadTimes over the target's threads (a
 *       Toolhelp thread snapshot), which Wine reads from the thread itself
 *       (-1 when no thread could be read).
 *   procprobe --handle-check
 *       counts its own entries in the system handle table, opens 10 events,
 *       counts again, closes them and counts once more:
 *       handles before= opened= closed=
 *       exit 0 when the table saw exactly the 10 events come and go, else 3.
 *   procprobe --watch NAME[,NAME...] [--window TITLE] --for MS [--until-file PATH]
 *       logs to ZW_LOG (zwprog.h format, as "procprobe") "watching" at start,
 *       "seen" (pid=, ppid=, created_ft=, image=) when a matching process appears and
 *       "gone" (pid=, ended_ft=, exit= its exit code; the _ft times are FILETIME ticks) when it disappears; with --window also "window-shown" and
 *       "window-gone" for a visible top-level window with that caption.
 *       Polls every 20 ms; ends after MS or once PATH exists, logging "done".
 *   procprobe --spawn EXE COUNT
 *       starts COUNT copies of EXE without waiting for them; prints their pids,
 *       and "failed" for a start the system refused (exit code 1 then).
 *   procprobe --hold-mutex NAME MS
 *       stands in for another installation: creates the named mutex owned
 *       (or waits up to 10 s to own an existing one), logs "mutex-held", keeps
 *       it MS milliseconds, releases it and logs "mutex-released" (text: the
 *       name, and ft= the system time as FILETIME ticks, to compare with the
 *       watch's process times).
 *   procprobe --service NAME [--log PATH]
 *       runs as the service NAME (started by the service manager, with this
 *       command line in its ImagePath): reports it running, logs
 *       "service-running" (pid=) and ends when it is stopped. A service does
 *       not get the environment of the scenario's shell: --log names the log.
 *
 * Exit codes: 0 done, 1 no such process (--stat) or a refused start (--spawn), 2 bad arguments,
 * 3 the system handle table does not show the probe's own handles, the mutex could not be held, or the
 * service could not run. */
#include "zwprog.h"

#include <psapi.h>
#include <shellapi.h>
#include <stddef.h>
#include <stdlib.h>

enum { kWatchPeriodMs = 20, kMaxWatched = 256, kHandleReads = 10, kHandleReadGapMs = 60 };

static BOOL same_image(const WCHAR *image, const WCHAR *wanted)
{
    return lstrcmpiW(image, wanted) == 0;
}

/* Whether image is one of the comma-separated names. */
static BOOL listed_image(const WCHAR *image, const WCHAR *names)
{
    const size_t length = wcslen(image);
    for (const WCHAR *p = names; *p != 0;) {
        const WCHAR *end = wcschr(p, L',');
        const size_t n = end != NULL ? (size_t)(end - p) : wcslen(p);
        if (n == length && _wcsnicmp(image, p, n) == 0) return TRUE;
        if (end == NULL) break;
        p = end + 1;
    }
    return FALSE;
}

/* The first process with that image name, with its thread count; 0 when none. */
static DWORD find_process(const WCHAR *name, DWORD *threads)
{
    DWORD pid = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
        if (same_image(e.szExeFile, name)) {
            pid = e.th32ProcessID;
            if (threads) *threads = e.cntThreads;
            break;
        }
    }
    CloseHandle(snap);
    return pid;
}

/* The system handle table, as NtQuerySystemInformation returns it for
 * SystemHandleInformation: a count, then one entry per open handle of any
 * process. The process id is cut to 16 bits there. */
enum { kSystemHandleInformation = 16 };
#define ZW_STATUS_INFO_LENGTH_MISMATCH ((LONG)0xC0000004L)

typedef struct {
    USHORT UniqueProcessId;
    USHORT CreatorBackTraceIndex;
    UCHAR ObjectTypeIndex;
    UCHAR HandleAttributes;
    USHORT HandleValue;
    PVOID Object;
    ULONG GrantedAccess;
} zw_handle_entry;

typedef struct {
    ULONG Count;
    zw_handle_entry Handles[1];
} zw_handle_table;

typedef LONG(NTAPI *zw_query_system_information)(ULONG, PVOID, ULONG, PULONG);

/* The handles of pid in the system handle table and the highest handle value
 * among them; FALSE when the table cannot be read. The buffer is kept and
 * grown as the table grows. */
static BOOL count_system_handles(DWORD pid, long *count, long *top)
{
    static zw_query_system_information query;
    static BYTE *buffer;
    static ULONG size = 1 << 16;
    if (query == NULL) {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (ntdll != NULL) query = (zw_query_system_information)(void (*)(void))GetProcAddress(ntdll, "NtQuerySystemInformation");
        if (query == NULL) return FALSE;
    }
    LONG status;
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (buffer == NULL) buffer = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size);
        if (buffer == NULL) return FALSE;
        ULONG needed = 0;
        status = query(kSystemHandleInformation, buffer, size, &needed);
        if (status != ZW_STATUS_INFO_LENGTH_MISMATCH) break;
        HeapFree(GetProcessHeap(), 0, buffer);
        buffer = NULL;
        /* Room for handles opened between two calls as well. */
        size = (needed > size ? needed : size * 2) + 4096 * sizeof(zw_handle_entry);
    }
    if (status < 0 || buffer == NULL) return FALSE;
    const zw_handle_table *table = (const zw_handle_table *)buffer;
    const ULONG fits = (ULONG)((size - offsetof(zw_handle_table, Handles)) / sizeof(zw_handle_entry));
    const ULONG n = table->Count < fits ? table->Count : fits;
    const USHORT wanted = (USHORT)pid;
    long c = 0, t = -1;
    for (ULONG i = 0; i < n; ++i) {
        if (table->Handles[i].UniqueProcessId != wanted) continue;
        ++c;
        if ((long)table->Handles[i].HandleValue > t) t = (long)table->Handles[i].HandleValue;
    }
    *count = c;
    *top = t;
    return TRUE;
}

static int run_handle_check(void)
{
    enum { kEvents = 10 };
    const DWORD self = GetCurrentProcessId();
    long before = -1, opened = -1, closed = -1, top = -1;
    BOOL ok = count_system_handles(self, &before, &top);
    HANDLE events[kEvents];
    for (int i = 0; i < kEvents; ++i) events[i] = CreateEventW(NULL, TRUE, FALSE, NULL);
    ok = count_system_handles(self, &opened, &top) && ok;
    for (int i = 0; i < kEvents; ++i)
        if (events[i] != NULL) CloseHandle(events[i]);
    ok = count_system_handles(self, &closed, &top) && ok;
    zw_outf("handles\tbefore=%ld\topened=%ld\tclosed=%ld\n", before, opened, closed);
    return ok && opened - before == kEvents && closed == before ? 0 : 3;
}

static unsigned long long filetime_100ns(FILETIME ft)
{
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return t.QuadPart;
}

static unsigned long long filetime_ms(FILETIME ft) { return filetime_100ns(ft) / 10000ULL; }

/* Kernel plus user time of every thread of pid, in ms; -1 when none could be read. */
static long long thread_cpu_ms(DWORD pid)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    unsigned long long total = 0;
    int read = 0;
    THREADENTRY32 e;
    e.dwSize = sizeof e;
    for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e)) {
        if (e.th32OwnerProcessID != pid) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, e.th32ThreadID);
        if (thread == NULL) continue;
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            total += filetime_100ns(kernel) + filetime_100ns(user);
            ++read;
        }
        CloseHandle(thread);
    }
    CloseHandle(snap);
    return read > 0 ? (long long)(total / 10000ULL) : -1;
}

static int run_stat(const WCHAR *name, int everyMs, int count)
{
    HANDLE process = NULL;
    DWORD pid = 0;
    int found = 0;
    const unsigned long long first = zw_now_ms();
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            const unsigned long long due = first + (unsigned long long)i * (unsigned long long)everyMs;
            const unsigned long long now = zw_now_ms();
            if (due > now) Sleep((DWORD)(due - now));
        }
        DWORD threads = 0;
        DWORD now = find_process(name, &threads);
        if (now != pid && process != NULL) {
            CloseHandle(process);
            process = NULL;
        }
        pid = now;
        if (pid != 0 && process == NULL)
            process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
        if (process == NULL) {
            zw_outf("none\tt=%llu\n", zw_now_ms());
            continue;
        }
        FILETIME created, exited, kernel, user;
        unsigned long long kernelMs = 0, userMs = 0;
        if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
            kernelMs = filetime_ms(kernel);
            userMs = filetime_ms(user);
        }
        DWORD handles = 0;
        if (!GetProcessHandleCount(process, &handles)) handles = (DWORD)-1;
        PROCESS_MEMORY_COUNTERS_EX mem;
        memset(&mem, 0, sizeof mem);
        mem.cb = sizeof mem;
        GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS *)&mem, sizeof mem);
        /* A target that opens a handle for part of each of its ticks (a
         * snapshot while it scans) counts one more in some single reads.
         * Reads spread over more than one 500 ms tick: the fewest is what
         * the target keeps open, the most what it holds at its busiest. */
        long sysHandles = -1, topHandle = -1, sysHandlesMax = -1;
        for (int r = 0; r < kHandleReads; ++r) {
            if (r > 0) Sleep(kHandleReadGapMs);
            long h = -1, top = -1;
            if (!count_system_handles(pid, &h, &top)) continue;
            if (sysHandles < 0 || h < sysHandles) {
                sysHandles = h;
                topHandle = top;
            }
            if (h > sysHandlesMax) sysHandlesMax = h;
        }
        const long long threadCpuMs = thread_cpu_ms(pid);
        zw_outf("stat\tt=%llu\tpid=%lu\tcpu_ms=%llu\tkernel_ms=%llu\tuser_ms=%llu\thandles=%ld\tthreads=%lu"
                "\tws_kb=%llu\tpeak_ws_kb=%llu\tprivate_kb=%llu\tsys_handles=%ld\tsys_handles_max=%ld\ttop_handle=%ld\tthread_cpu_ms=%lld\n",
                zw_now_ms(), (unsigned long)pid, kernelMs + userMs, kernelMs, userMs, (long)handles,
                (unsigned long)threads, (unsigned long long)mem.WorkingSetSize / 1024,
                (unsigned long long)mem.PeakWorkingSetSize / 1024, (unsigned long long)mem.PrivateUsage / 1024,
                sysHandles, sysHandlesMax, topHandle, threadCpuMs);
        ++found;
    }
    if (process != NULL) CloseHandle(process);
    return found > 0 ? 0 : 1;
}

typedef struct {
    DWORD pids[kMaxWatched];
    HANDLE handles[kMaxWatched]; /* kept from "seen" to "gone", for the exit code */
    int count;
} pid_set;

static int find_pid(const pid_set *s, DWORD pid)
{
    for (int i = 0; i < s->count; ++i)
        if (s->pids[i] == pid) return i;
    return -1;
}

static BOOL CALLBACK find_title(HWND w, LPARAM param)
{
    const WCHAR *title = *(const WCHAR **)param;
    if (!IsWindowVisible(w)) return TRUE;
    WCHAR text[512];
    text[0] = 0;
    GetWindowTextW(w, text, 512);
    if (wcscmp(text, title) != 0) return TRUE;
    *(const WCHAR **)param = NULL; /* found */
    return FALSE;
}

static BOOL window_shown(const WCHAR *title)
{
    const WCHAR *probe = title;
    EnumWindows(find_title, (LPARAM)&probe);
    return probe == NULL;
}

/* When the process was created (or ended), as FILETIME ticks of 100 ns: the
 * system's own record, finer than the 20 ms polls; 0 when unreadable. */
static unsigned long long process_time(HANDLE process, BOOL ended)
{
    FILETIME created, exited, kernel, user;
    if (process == NULL || !GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return filetime_100ns(ended ? exited : created);
}

static int run_watch(const WCHAR *names, const WCHAR *title, int forMs, const WCHAR *untilFile)
{
    char text[3 * MAX_PATH];
    zw_log("procprobe", "watching", "");
    static pid_set seen, now;
    seen.count = 0;
    BOOL shown = FALSE;
    unsigned long long start = zw_now_ms();
    for (;;) {
        now.count = 0;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snap != INVALID_HANDLE_VALUE) {
            PROCESSENTRY32W e;
            e.dwSize = sizeof e;
            for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
                if (!listed_image(e.szExeFile, names) || now.count >= kMaxWatched) continue;
                const int known = find_pid(&seen, e.th32ProcessID);
                now.pids[now.count] = e.th32ProcessID;
                now.handles[now.count] =
                    known >= 0 ? seen.handles[known]
                               : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.th32ProcessID);
                ++now.count;
                if (known < 0) {
                    char image[MAX_PATH * 3];
                    zw_utf8(e.szExeFile, image, sizeof image);
                    snprintf(text, sizeof text, "pid=%lu ppid=%lu created_ft=%llu image=%s",
                             (unsigned long)e.th32ProcessID, (unsigned long)e.th32ParentProcessID,
                             process_time(now.handles[now.count - 1], FALSE), image);
                    zw_log("procprobe", "seen", text);
                }
            }
            CloseHandle(snap);
        }
        for (int i = 0; i < seen.count; ++i) {
            if (find_pid(&now, seen.pids[i]) >= 0) continue;
            /* The exit code tells how it ended: 259 (STILL_ACTIVE) is what a
             * process ended from outside while running reports. */
            DWORD code = 0;
            HANDLE h = seen.handles[i];
            if (h != NULL && WaitForSingleObject(h, 1000) == WAIT_OBJECT_0 && GetExitCodeProcess(h, &code))
                snprintf(text, sizeof text, "pid=%lu ended_ft=%llu exit=%lu", (unsigned long)seen.pids[i],
                         process_time(h, TRUE), (unsigned long)code);
            else
                snprintf(text, sizeof text, "pid=%lu exit=unknown", (unsigned long)seen.pids[i]);
            if (h != NULL) CloseHandle(h);
            zw_log("procprobe", "gone", text);
        }
        seen = now;
        if (title != NULL) {
            BOOL shownNow = window_shown(title);
            if (shownNow != shown) {
                zw_utf8(title, text, sizeof text);
                zw_log("procprobe", shownNow ? "window-shown" : "window-gone", text);
                shown = shownNow;
            }
        }
        if (zw_now_ms() - start >= (unsigned long long)forMs) break;
        if (untilFile != NULL && GetFileAttributesW(untilFile) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(kWatchPeriodMs);
    }
    zw_log("procprobe", "done", "");
    return 0;
}

static int run_spawn(const WCHAR *exe, int count)
{
    WCHAR cmd[MAX_PATH + 4];
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        _snwprintf(cmd, MAX_PATH + 3, L"\"%ls\"", exe);
        cmd[MAX_PATH + 3] = 0;
        STARTUPINFOW si;
        memset(&si, 0, sizeof si);
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        if (!CreateProcessW(exe, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
            /* A busy system can refuse one start; the others still count. */
            zw_outf("failed\terror=%lu\n", (unsigned long)GetLastError());
            ++failed;
            continue;
        }
        zw_outf("spawned\tpid=%lu\n", (unsigned long)pi.dwProcessId);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    return failed ? 1 : 0;
}

static unsigned long long system_time_ft(void)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return filetime_100ns(now);
}

static int run_hold_mutex(const WCHAR* name, int ms)
{
    char utf8[3 * MAX_PATH], text[4 * MAX_PATH];
    zw_utf8(name, utf8, sizeof utf8);
    HANDLE mutex = CreateMutexW(NULL, TRUE, name);
    if (mutex == NULL) {
        snprintf(text, sizeof text, "name=%s error=%lu", utf8, (unsigned long)GetLastError());
        zw_log("procprobe", "mutex-failed", text);
        return 3;
    }
    /* Someone else's: owned only once they let it go. */
    if (GetLastError() == ERROR_ALREADY_EXISTS && WaitForSingleObject(mutex, 10000) == WAIT_TIMEOUT) {
        snprintf(text, sizeof text, "name=%s still owned by another after 10000 ms", utf8);
        zw_log("procprobe", "mutex-failed", text);
        CloseHandle(mutex);
        return 3;
    }
    snprintf(text, sizeof text, "name=%s ft=%llu", utf8, system_time_ft());
    zw_log("procprobe", "mutex-held", text);
    Sleep((DWORD)ms);
    /* The time is taken before the release: nobody can own it earlier. */
    snprintf(text, sizeof text, "name=%s ft=%llu", utf8, system_time_ft());
    BOOL released = ReleaseMutex(mutex);
    zw_log("procprobe", released ? "mutex-released" : "mutex-failed", text);
    CloseHandle(mutex);
    return released ? 0 : 3;
}

static SERVICE_STATUS_HANDLE serviceStatusHandle;
static HANDLE serviceStop;
static WCHAR serviceName[64];

static void report_service(DWORD state)
{
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    status.dwServiceType = SERVICE_WIN32;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    SetServiceStatus(serviceStatusHandle, &status);
}

static DWORD WINAPI service_control(DWORD control, DWORD type, LPVOID data, LPVOID context)
{
    (void)type;
    (void)data;
    (void)context;
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        report_service(SERVICE_STOP_PENDING);
        SetEvent(serviceStop);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

static void WINAPI service_main(DWORD argc, LPWSTR* argv)
{
    (void)argc;
    (void)argv;
    serviceStatusHandle = RegisterServiceCtrlHandlerExW(serviceName, service_control, NULL);
    if (serviceStatusHandle == NULL) return;
    serviceStop = CreateEventW(NULL, TRUE, FALSE, NULL);
    report_service(SERVICE_RUNNING);
    char text[64];
    snprintf(text, sizeof text, "pid=%lu", (unsigned long)GetCurrentProcessId());
    zw_log("procprobe", "service-running", text);
    WaitForSingleObject(serviceStop, INFINITE);
    zw_log("procprobe", "service-stopped", text);
    report_service(SERVICE_STOPPED);
}

static int run_service(const WCHAR* name, const WCHAR* log)
{
    if (log != NULL) SetEnvironmentVariableW(L"ZW_LOG", log);
    lstrcpynW(serviceName, name, 64);
    SERVICE_TABLE_ENTRYW table[] = {{serviceName, service_main}, {NULL, NULL}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 3;
}

static int usage(void)
{
    zw_out("usage: procprobe --stat NAME [--every MS --count N]\n"
           "       procprobe --watch NAME[,NAME...] [--window TITLE] --for MS [--until-file PATH]\n"
           "       procprobe --spawn EXE COUNT\n"
           "       procprobe --handle-check\n"
           "       procprobe --hold-mutex NAME MS\n"
           "       procprobe --service NAME [--log PATH]\n");
    return 2;
}

int main(void)
{
    SetConsoleOutputCP(CP_UTF8);
    int argc = 0;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL) return 2;

    const WCHAR *statName = NULL, *watchName = NULL, *title = NULL, *untilFile = NULL, *spawnExe = NULL;
    const WCHAR *mutexName = NULL, *service = NULL, *log = NULL;
    int everyMs = 1000, count = 1, forMs = -1, spawnCount = 0, holdMs = -1;
    BOOL handleCheck = FALSE;
    for (int i = 1; i < argc; ++i) {
        char opt[64], arg[64] = {0};
        zw_utf8(argv[i], opt, sizeof opt);
        BOOL hasValue = i + 1 < argc;
        if (hasValue) zw_utf8(argv[i + 1], arg, sizeof arg);
        if (strcmp(opt, "--stat") == 0 && hasValue) {
            statName = argv[++i];
        } else if (strcmp(opt, "--every") == 0 && hasValue) {
            everyMs = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--count") == 0 && hasValue) {
            count = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--watch") == 0 && hasValue) {
            watchName = argv[++i];
        } else if (strcmp(opt, "--window") == 0 && hasValue) {
            title = argv[++i];
        } else if (strcmp(opt, "--for") == 0 && hasValue) {
            forMs = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--until-file") == 0 && hasValue) {
            untilFile = argv[++i];
        } else if (strcmp(opt, "--handle-check") == 0) {
            handleCheck = TRUE;
        } else if (strcmp(opt, "--spawn") == 0 && i + 2 < argc) {
            spawnExe = argv[++i];
            zw_utf8(argv[++i], arg, sizeof arg);
            spawnCount = atoi(arg);
        } else if (strcmp(opt, "--service") == 0 && hasValue) {
            service = argv[++i];
        } else if (strcmp(opt, "--log") == 0 && hasValue) {
            log = argv[++i];
        } else if (strcmp(opt, "--hold-mutex") == 0 && i + 2 < argc) {
            mutexName = argv[++i];
            zw_utf8(argv[++i], arg, sizeof arg);
            holdMs = atoi(arg);
        } else {
            LocalFree(argv);
            return usage();
        }
    }

    int rc;
    if (handleCheck) {
        rc = run_handle_check();
    } else if (statName != NULL && everyMs >= 0 && count > 0) {
        rc = run_stat(statName, everyMs, count);
    } else if (watchName != NULL && forMs >= 0) {
        rc = run_watch(watchName, title, forMs, untilFile);
    } else if (spawnExe != NULL && spawnCount > 0) {
        rc = run_spawn(spawnExe, spawnCount);
    } else if (service != NULL) {
        rc = run_service(service, log);
    } else if (mutexName != NULL && holdMs >= 0) {
        rc = run_hold_mutex(mutexName, holdMs);
    } else {
        rc = usage();
    }
    LocalFree(argv);
    return rc;
}
