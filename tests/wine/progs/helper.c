/* helper: stands in for an installer. zw-subsystem: windows
 *
 * Logs (see zwprog.h for the format) that it started, where it lives, what
 * command line and tail it got, the show state of its start-up information
 * ("startup": show=-1 when none was given), the system locale and code page
 * ("locale") and its current directory, then the visible
 * top-level windows whenever that set changes, and that it ended.
 *
 * How long it runs comes from "<own base name>.ms" in the folder named by
 * ZW_CONF (else beside itself): the first number is milliseconds (default
 * 1000), an optional second one the exit code (default 0). Copies under any
 * name therefore behave as configured, and nothing depends on the command
 * line, which for a direct start is a single blank. */
#include "zwprog.h"

enum { kDefaultRunMs = 1000, kScanPeriodMs = 100, kWindowSetSize = 16384 };

static char selfName[128];

/* The tail of a command line by the launcher's own rule: after the program
 * name (quoted, or up to the first character <= 0x20) every character from
 * 0x01 to 0x20 is skipped. */
static const WCHAR *command_tail(const WCHAR *cmd)
{
    const WCHAR *p = cmd;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p > 0x20) ++p;
    }
    while (*p >= 0x01 && *p <= 0x20) ++p;
    return p;
}

static void read_config(int *runMs, int *exitCode)
{
    WCHAR dir[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableW(L"ZW_CONF", dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        zw_module_path(NULL, dir);
        WCHAR *slash = wcsrchr(dir, L'\\');
        if (slash != NULL) *slash = 0;
    }
    WCHAR name[128];
    if (!zw_wide(selfName, name, 128)) name[0] = 0;
    WCHAR path[2 * MAX_PATH];
    _snwprintf(path, 2 * MAX_PATH - 1, L"%ls\\%ls.ms", dir, name);
    path[2 * MAX_PATH - 1] = 0;

    char text[64] = {0};
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    BOOL found = f != INVALID_HANDLE_VALUE;
    if (found) {
        DWORD got = 0;
        ReadFile(f, text, sizeof text - 1, &got, NULL);
        text[got < sizeof text ? got : sizeof text - 1] = 0;
        CloseHandle(f);
    }
    char *end = NULL;
    long ms = strtol(text, &end, 10);
    *runMs = (found && end != text && ms >= 0) ? (int)ms : kDefaultRunMs;
    long code = strtol(end ? end : text, NULL, 10);
    *exitCode = found ? (int)code : 0;

    char where[3 * MAX_PATH];
    zw_utf8(path, where, sizeof where);
    char line[4 * MAX_PATH];
    snprintf(line, sizeof line, "ms=%d exit=%d from %s%s", *runMs, *exitCode, where, found ? "" : " (missing: default)");
    zw_log(selfName, "conf", line);
}

static int compare_text(const void *a, const void *b)
{
    return strcmp((const char *)a, (const char *)b);
}

typedef struct {
    char items[64][512];
    int count;
} window_set;

static BOOL CALLBACK collect_window(HWND w, LPARAM param)
{
    window_set *set = (window_set *)param;
    if (!IsWindowVisible(w) || set->count >= 64) return TRUE;
    zw_buf b;
    zw_buf_init(&b, set->items[set->count], sizeof set->items[0]);
    zw_describe_window(w, &b);
    /* Untitled windows without texts (desktop parts) say nothing. */
    if (strncmp(b.p, " [", 2) == 0 && strstr(b.p, "] {}") != NULL) return TRUE;
    set->count++;
    return TRUE;
}

/* The visible top-level windows, sorted, so a change of z-order alone is no change. */
static void describe_windows(char *out, size_t outSize)
{
    static window_set set;
    set.count = 0;
    EnumWindows(collect_window, (LPARAM)&set);
    qsort(set.items, (size_t)set.count, sizeof set.items[0], compare_text);
    zw_buf b;
    zw_buf_init(&b, out, outSize);
    for (int i = 0; i < set.count; ++i) {
        if (i) zw_buf_add(&b, " ; ");
        zw_buf_add(&b, set.items[i]);
    }
}

static void pump(void)
{
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int main(void)
{
    zw_module_name(NULL, selfName, sizeof selfName);
    pump(); /* have a message queue: the process counts as idle for its starter */

    char text[4 * MAX_PATH];
    char image[MAX_PATH];
    DWORD parent = 0;
    zw_process_image(GetCurrentProcessId(), image, sizeof image, &parent);
    char parentImage[MAX_PATH];
    zw_process_image(parent, parentImage, sizeof parentImage, NULL);
    snprintf(text, sizeof text, "pid=%lu ppid=%lu parent=%s", (unsigned long)GetCurrentProcessId(),
             (unsigned long)parent, parentImage);
    /* The start-up lines reach the log together, "started" to "conf". */
    zw_log_hold();
    zw_log(selfName, "started", text);
    /* The run time counts from the "started" line, so the log shows at least the configured time. */
    unsigned long long start = zw_now_ms();

    WCHAR wide[MAX_PATH + 1];
    zw_module_path(NULL, wide);
    zw_utf8(wide, text, sizeof text);
    zw_log(selfName, "module", text);

    /* Bracketed, so leading and trailing blanks show. */
    static char cmd[32768 * 3 + 1], line[sizeof cmd + 2];
    zw_utf8(GetCommandLineW(), cmd, sizeof cmd);
    snprintf(line, sizeof line, "[%s]", cmd);
    zw_log(selfName, "cmdline", line);
    zw_utf8(command_tail(GetCommandLineW()), cmd, sizeof cmd);
    snprintf(line, sizeof line, "[%s]", cmd);
    zw_log(selfName, "tail", line);

    STARTUPINFOW si;
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    snprintf(text, sizeof text, "flags=0x%lx show=%d", (unsigned long)si.dwFlags,
             (si.dwFlags & STARTF_USESHOWWINDOW) ? (int)si.wShowWindow : -1);
    zw_log(selfName, "startup", text);
    snprintf(text, sizeof text, "lcid=0x%lx acp=%u", (unsigned long)GetSystemDefaultLCID(), GetACP());
    zw_log(selfName, "locale", text);

    DWORD n = GetCurrentDirectoryW(MAX_PATH, wide);
    wide[n < MAX_PATH ? n : 0] = 0;
    zw_utf8(wide, text, sizeof text);
    zw_log(selfName, "cwd", text);

    int runMs = 0, exitCode = 0;
    read_config(&runMs, &exitCode);
    zw_log_release();

    static char seen[kWindowSetSize], now[kWindowSetSize];
    BOOL first = TRUE;
    for (;;) {
        describe_windows(now, sizeof now);
        if (first || strcmp(now, seen) != 0) {
            zw_log(selfName, "windows", now);
            memcpy(seen, now, sizeof seen);
            first = FALSE;
        }
        unsigned long long elapsed = zw_now_ms() - start;
        if (elapsed >= (unsigned long long)runMs) break;
        unsigned long long left = (unsigned long long)runMs - elapsed;
        Sleep(left < kScanPeriodMs ? (DWORD)left : kScanPeriodMs);
        pump();
    }
    snprintf(text, sizeof text, "after %llu ms, exit %d", zw_now_ms() - start, exitCode);
    zw_log(selfName, "ended", text);
    return exitCode;
}
