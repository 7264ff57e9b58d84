/* winprobe: finds top-level windows (hidden ones too) by class and/or title
 * and reports them; can post a menu command or WM_CLOSE to the first match
 * and wait until it is gone; lists windows and processes.
 *
 *   winprobe [--class NAME] [--title TEXT] [--wait MS | --absent MS]
 *            [--post-command ID | --close] [--wait-gone MS]
 *   winprobe --list          every top-level window
 *   winprobe --procs         every process (pid, parent, image)
 *
 * One line per window on stdout, UTF-8, tab-separated:
 *   window  hwnd=0x...  class=...  title=...  visible=0|1  pid=N  image=name.exe
 * Exit codes: 0 found (and acted), 1 none found in time (with --absent: one
 * appeared), 2 bad arguments, 4 still there after --wait-gone. */
#include "zwprog.h"

#include <shellapi.h>
#include <stdlib.h>

typedef struct {
    const WCHAR *className;
    const WCHAR *title;
    HWND first;
    int count;
    BOOL print;
} query;

static void print_window(HWND w)
{
    char cls[512], title[1600], image[MAX_PATH];
    zw_window_class(w, cls, sizeof cls);
    zw_window_title(w, title, sizeof title);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    zw_process_image(pid, image, sizeof image, NULL);
    zw_outf("window\thwnd=0x%llx\tclass=%s\ttitle=%s\tvisible=%d\tpid=%lu\timage=%s\n",
            (unsigned long long)(ULONG_PTR)w, cls, title, IsWindowVisible(w) ? 1 : 0, (unsigned long)pid, image);
}

static BOOL CALLBACK match_window(HWND w, LPARAM param)
{
    query *q = (query *)param;
    if (q->className != NULL) {
        WCHAR cls[256];
        cls[0] = 0;
        GetClassNameW(w, cls, 256);
        if (wcscmp(cls, q->className) != 0) return TRUE;
    }
    if (q->title != NULL) {
        WCHAR text[512];
        text[0] = 0;
        GetWindowTextW(w, text, 512);
        if (wcscmp(text, q->title) != 0) return TRUE;
    }
    if (q->count++ == 0) q->first = w;
    if (q->print) print_window(w);
    return TRUE;
}

static HWND run_query(query *q, BOOL print)
{
    q->first = NULL;
    q->count = 0;
    q->print = print;
    EnumWindows(match_window, (LPARAM)q);
    return q->first;
}

static void list_processes(void)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
        char image[MAX_PATH * 3];
        zw_utf8(e.szExeFile, image, sizeof image);
        zw_outf("process\tpid=%lu\tppid=%lu\timage=%s\n", (unsigned long)e.th32ProcessID,
                (unsigned long)e.th32ParentProcessID, image);
    }
    CloseHandle(snap);
}

static int usage(void)
{
    zw_out("usage: winprobe [--class NAME] [--title TEXT] [--wait MS | --absent MS]\n"
           "                [--post-command ID | --close] [--wait-gone MS]\n"
           "       winprobe --list | --procs\n");
    return 2;
}

int main(void)
{
    SetConsoleOutputCP(CP_UTF8);
    int argc = 0;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL) return 2;

    static WCHAR className[256], title[512];
    query q = {NULL, NULL, NULL, 0, FALSE};
    int waitMs = 0, absentMs = -1, waitGoneMs = -1, command = 0;
    BOOL close = FALSE, list = FALSE, procs = FALSE;
    for (int i = 1; i < argc; ++i) {
        char opt[64], arg[64] = {0};
        zw_utf8(argv[i], opt, sizeof opt);
        BOOL hasValue = i + 1 < argc;
        if (hasValue) zw_utf8(argv[i + 1], arg, sizeof arg);
        if (strcmp(opt, "--class") == 0 && hasValue) {
            lstrcpynW(className, argv[++i], 256);
            q.className = className;
        } else if (strcmp(opt, "--title") == 0 && hasValue) {
            lstrcpynW(title, argv[++i], 512);
            q.title = title;
        } else if (strcmp(opt, "--wait") == 0 && hasValue) {
            waitMs = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--absent") == 0 && hasValue) {
            absentMs = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--wait-gone") == 0 && hasValue) {
            waitGoneMs = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--post-command") == 0 && hasValue) {
            command = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--close") == 0) {
            close = TRUE;
        } else if (strcmp(opt, "--list") == 0) {
            list = TRUE;
        } else if (strcmp(opt, "--procs") == 0) {
            procs = TRUE;
        } else {
            LocalFree(argv);
            return usage();
        }
    }
    LocalFree(argv);

    if (procs) list_processes();
    if (list) run_query(&(query){NULL, NULL, NULL, 0, FALSE}, TRUE);
    if (procs || list) return 0;
    if (q.className == NULL && q.title == NULL) return usage();

    unsigned long long start = zw_now_ms();
    if (absentMs >= 0) {
        /* Success only if no match shows up during the whole watch. */
        for (;;) {
            if (run_query(&q, FALSE) != NULL) {
                run_query(&q, TRUE);
                zw_outf("appeared\tafter=%llums\n", zw_now_ms() - start);
                return 1;
            }
            if (zw_now_ms() - start >= (unsigned long long)absentMs) break;
            Sleep(50);
        }
        zw_out("absent\n");
        return 0;
    }

    HWND w = NULL;
    for (;;) {
        w = run_query(&q, FALSE);
        if (w != NULL || zw_now_ms() - start >= (unsigned long long)waitMs) break;
        Sleep(50);
    }
    if (w == NULL) {
        zw_out("none\n");
        return 1;
    }
    run_query(&q, TRUE);

    if (command != 0) {
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        zw_outf("posted\tWM_COMMAND %d\n", command);
    } else if (close) {
        PostMessageW(w, WM_CLOSE, 0, 0);
        zw_out("posted\tWM_CLOSE\n");
    }
    if (waitGoneMs >= 0) {
        unsigned long long asked = zw_now_ms();
        while (IsWindow(w) && zw_now_ms() - asked < (unsigned long long)waitGoneMs) Sleep(50);
        if (IsWindow(w)) {
            zw_out("still-there\n");
            return 4;
        }
        zw_outf("gone\tafter=%llums\n", zw_now_ms() - asked);
    }
    return 0;
}
