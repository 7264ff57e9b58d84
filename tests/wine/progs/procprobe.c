/* procprobe: watches processes by image name from inside Wine, the way the
 * launcher itself sees them (Toolhelp snapshots).
 *
 *   procprobe --stat NAME [--every MS --count N]
 *       one line per sample for the first process with that image name (ASCII
 *       case ignored), read through its own process handle:
 *       stat t=<unix ms> pid= cpu_ms= kernel_ms= user_ms= handles= threads=
 *            ws_kb= peak_ws_kb= private_kb=
 *       ("none" when there is no such process). The handle stays open across
 *       samples, so the target's own figures are not disturbed by reopening.
 *   procprobe --watch NAME [--window TITLE] --for MS [--until-file PATH]
 *       logs to ZW_LOG (zwprog.h format, as "procprobe") "watching" at start,
 *       "seen" (pid=, ppid=, image=) when a matching process appears and
 *       "gone" (pid=, exit= its exit code) when it disappears; with --window also "window-shown" and
 *       "window-gone" for a visible top-level window with that caption.
 *       Polls every 20 ms; ends after MS or once PATH exists, logging "done".
 *   procprobe --spawn EXE COUNT
 *       starts COUNT copies of EXE without waiting for them; prints their pids.
 *
 * Exit codes: 0 done, 1 no such process (--stat), 2 bad arguments. */
#include "zwprog.h"

#include <psapi.h>
#include <shellapi.h>
#include <stdlib.h>

enum { kWatchPeriodMs = 20, kMaxWatched = 256 };

static BOOL same_image(const WCHAR *image, const WCHAR *wanted)
{
    return lstrcmpiW(image, wanted) == 0;
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

static unsigned long long filetime_ms(FILETIME ft)
{
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return t.QuadPart / 10000ULL;
}

static int run_stat(const WCHAR *name, int everyMs, int count)
{
    HANDLE process = NULL;
    DWORD pid = 0;
    int found = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0) Sleep((DWORD)everyMs);
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
        zw_outf("stat\tt=%llu\tpid=%lu\tcpu_ms=%llu\tkernel_ms=%llu\tuser_ms=%llu\thandles=%ld\tthreads=%lu"
                "\tws_kb=%llu\tpeak_ws_kb=%llu\tprivate_kb=%llu\n",
                zw_now_ms(), (unsigned long)pid, kernelMs + userMs, kernelMs, userMs, (long)handles,
                (unsigned long)threads, (unsigned long long)mem.WorkingSetSize / 1024,
                (unsigned long long)mem.PeakWorkingSetSize / 1024, (unsigned long long)mem.PrivateUsage / 1024);
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

static int run_watch(const WCHAR *name, const WCHAR *title, int forMs, const WCHAR *untilFile)
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
                if (!same_image(e.szExeFile, name) || now.count >= kMaxWatched) continue;
                const int known = find_pid(&seen, e.th32ProcessID);
                now.pids[now.count] = e.th32ProcessID;
                now.handles[now.count] =
                    known >= 0 ? seen.handles[known]
                               : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.th32ProcessID);
                ++now.count;
                if (known < 0) {
                    char image[MAX_PATH * 3];
                    zw_utf8(e.szExeFile, image, sizeof image);
                    snprintf(text, sizeof text, "pid=%lu ppid=%lu image=%s", (unsigned long)e.th32ProcessID,
                             (unsigned long)e.th32ParentProcessID, image);
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
                snprintf(text, sizeof text, "pid=%lu exit=%lu", (unsigned long)seen.pids[i], (unsigned long)code);
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
    for (int i = 0; i < count; ++i) {
        _snwprintf(cmd, MAX_PATH + 3, L"\"%ls\"", exe);
        cmd[MAX_PATH + 3] = 0;
        STARTUPINFOW si;
        memset(&si, 0, sizeof si);
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        if (!CreateProcessW(exe, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
            zw_outf("failed\terror=%lu\n", (unsigned long)GetLastError());
            return 1;
        }
        zw_outf("spawned\tpid=%lu\n", (unsigned long)pi.dwProcessId);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    return 0;
}

static int usage(void)
{
    zw_out("usage: procprobe --stat NAME [--every MS --count N]\n"
           "       procprobe --watch NAME [--window TITLE] --for MS [--until-file PATH]\n"
           "       procprobe --spawn EXE COUNT\n");
    return 2;
}

int main(void)
{
    SetConsoleOutputCP(CP_UTF8);
    int argc = 0;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL) return 2;

    const WCHAR *statName = NULL, *watchName = NULL, *title = NULL, *untilFile = NULL, *spawnExe = NULL;
    int everyMs = 1000, count = 1, forMs = -1, spawnCount = 0;
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
        } else if (strcmp(opt, "--spawn") == 0 && i + 2 < argc) {
            spawnExe = argv[++i];
            zw_utf8(argv[++i], arg, sizeof arg);
            spawnCount = atoi(arg);
        } else {
            LocalFree(argv);
            return usage();
        }
    }

    int rc;
    if (statName != NULL && everyMs >= 0 && count > 0) {
        rc = run_stat(statName, everyMs, count);
    } else if (watchName != NULL && forMs >= 0) {
        rc = run_watch(watchName, title, forMs, untilFile);
    } else if (spawnExe != NULL && spawnCount > 0) {
        rc = run_spawn(spawnExe, spawnCount);
    } else {
        rc = usage();
    }
    LocalFree(argv);
    return rc;
}
