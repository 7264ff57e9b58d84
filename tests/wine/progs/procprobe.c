/* procprobe: watches processes by image name from inside Wine, the way the
 * launcher itself sees them (Toolhelp snapshots).
 *
 *   procprobe --watch NAME[,NAME...] [--window TITLE] --for MS [--until-file PATH]
 *       logs to ZW_LOG (zwprog.h format, as "procprobe") "watching" at start,
 *       "seen" (pid=, ppid=, created_ft=, image=) when a matching process appears and
 *       "gone" (pid=, ended_ft=, exit= its exit code; the _ft times are FILETIME ticks) when it disappears; with --window also "window-shown" and
 *       "window-gone" for a visible top-level window with that caption.
 *       Polls every 20 ms; ends after MS or once PATH exists, logging "done".
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
 * Exit codes: 0 done, 2 bad arguments, 3 the mutex could not be held or the service could not run.
 * The long-wait bench's probe (--stat, --spawn, --handle-check) is tools/bench/benchprobe.c. */
#include "zwprog.h"

enum { kWatchPeriodMs = 20, kMaxWatched = 256 };

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

/* When the process was created (or ended), as FILETIME ticks of 100 ns: the
 * system's own record, finer than the 20 ms polls; 0 when unreadable. */
static unsigned long long process_time(HANDLE process, BOOL ended)
{
    FILETIME created, exited, kernel, user;
    if (process == NULL || !GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return zw_ticks(ended ? exited : created);
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
        HANDLE snap = NULL;
        PROCESSENTRY32W e;
        while (zw_next_process(&snap, &e)) {
            if (!listed_image(e.szExeFile, names) || now.count >= kMaxWatched) continue;
            const int known = find_pid(&seen, e.th32ProcessID);
            HANDLE h = known >= 0 ? seen.handles[known]
                                  : OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.th32ProcessID);
            if (known < 0) {
                /* Wine now and then gives a process caught while it is being
                 * created a creation time of filler bytes (0x5555...), far in
                 * the future: it is looked at again in the next scan. */
                const unsigned long long created = process_time(h, FALSE);
                if (created > zw_now_ticks() + 600000000ULL) {
                    CloseHandle(h);
                    continue;
                }
                char image[MAX_PATH * 3];
                zw_utf8(e.szExeFile, image, sizeof image);
                snprintf(text, sizeof text, "pid=%lu ppid=%lu created_ft=%llu image=%s", (unsigned long)e.th32ProcessID,
                         (unsigned long)e.th32ParentProcessID, created, image);
                zw_log("procprobe", "seen", text);
            }
            now.pids[now.count] = e.th32ProcessID;
            now.handles[now.count++] = h;
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
            BOOL shownNow = zw_find_window(NULL, title, FALSE, NULL) != NULL;
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
    snprintf(text, sizeof text, "name=%s ft=%llu", utf8, zw_now_ticks());
    zw_log("procprobe", "mutex-held", text);
    Sleep((DWORD)ms);
    /* The time is taken before the release: nobody can own it earlier. */
    snprintf(text, sizeof text, "name=%s ft=%llu", utf8, zw_now_ticks());
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
    zw_out("usage: procprobe --watch NAME[,NAME...] [--window TITLE] --for MS [--until-file PATH]\n"
           "       procprobe --hold-mutex NAME MS\n"
           "       procprobe --service NAME [--log PATH]\n");
    return 2;
}

int main(void)
{
    const WCHAR *watchName = NULL, *title = NULL, *untilFile = NULL;
    const WCHAR *mutexName = NULL, *service = NULL, *log = NULL;
    int forMs = -1, holdMs = -1;
    const zw_option options[] = {
        ZW_OPT("--watch", ZW_TEXT, &watchName),
        ZW_OPT("--window", ZW_TEXT, &title),
        ZW_OPT("--for", ZW_INT, &forMs),
        ZW_OPT("--until-file", ZW_TEXT, &untilFile),
        ZW_OPT("--service", ZW_TEXT, &service),
        ZW_OPT("--log", ZW_TEXT, &log),
        {"--hold-mutex", ZW_TEXT_INT, &mutexName, &holdMs, NULL},
    };
    if (!zw_options(options, ZW_COUNT(options))) return usage();
    if (watchName != NULL && forMs >= 0) return run_watch(watchName, title, forMs, untilFile);
    if (service != NULL) return run_service(service, log);
    if (mutexName != NULL && holdMs >= 0) return run_hold_mutex(mutexName, holdMs);
    return usage();
}
