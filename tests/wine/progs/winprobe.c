/* winprobe: finds top-level windows (hidden ones too) by class and reports
 * them; can post a menu command or WM_CLOSE to the first match and wait until
 * it is gone; lists processes.
 *
 *   winprobe --class NAME [--wait MS | --absent MS] [--post-command ID | --close] [--wait-gone MS]
 *   winprobe --procs         every process (pid, parent, image)
 *
 * One line per window on stdout, UTF-8, tab-separated:
 *   window  hwnd=0x...  class=...  title=...  visible=0|1  pid=N  image=name.exe
 * Exit codes: 0 found (and acted), 1 none found in time (with --absent: one
 * appeared), 2 bad arguments, 4 still there after --wait-gone. */
#include "zwprog.h"

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

static int list_processes(void)
{
    HANDLE snap = NULL;
    PROCESSENTRY32W e;
    while (zw_next_process(&snap, &e)) {
        char image[MAX_PATH * 3];
        zw_utf8(e.szExeFile, image, sizeof image);
        zw_outf("process\tpid=%lu\tppid=%lu\timage=%s\n", (unsigned long)e.th32ProcessID,
                (unsigned long)e.th32ParentProcessID, image);
    }
    return 0;
}

static int usage(void)
{
    zw_out("usage: winprobe --class NAME [--wait MS | --absent MS] [--post-command ID | --close] [--wait-gone MS]\n"
           "       winprobe --procs\n");
    return 2;
}

int main(void)
{
    const WCHAR *className = NULL;
    int waitMs = 0, absentMs = -1, waitGoneMs = -1, command = 0;
    BOOL close = FALSE, procs = FALSE;
    const zw_option options[] = {
        ZW_OPT("--class", ZW_TEXT, &className),
        ZW_OPT("--wait", ZW_INT, &waitMs),
        ZW_OPT("--absent", ZW_INT, &absentMs),
        ZW_OPT("--wait-gone", ZW_INT, &waitGoneMs),
        ZW_OPT("--post-command", ZW_INT, &command),
        ZW_OPT("--close", ZW_FLAG, &close),
        ZW_OPT("--procs", ZW_FLAG, &procs),
    };
    if (!zw_options(options, ZW_COUNT(options))) return usage();

    if (procs) return list_processes();
    if (className == NULL) return usage();

    unsigned long long start = zw_now_ms();
    if (absentMs >= 0) {
        /* Success only if no match shows up during the whole watch. */
        if (zw_wait_window(className, NULL, TRUE, absentMs) == NULL) {
            zw_out("absent\n");
            return 0;
        }
        zw_find_window(className, NULL, TRUE, print_window);
        zw_outf("appeared\tafter=%llums\n", zw_now_ms() - start);
        return 1;
    }

    HWND w = zw_wait_window(className, NULL, TRUE, waitMs);
    if (w == NULL) {
        zw_out("none\n");
        return 1;
    }
    zw_find_window(className, NULL, TRUE, print_window);

    if (command != 0) {
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        zw_outf("posted\tWM_COMMAND %d\n", command);
    } else if (close) {
        PostMessageW(w, WM_CLOSE, 0, 0);
        zw_out("posted\tWM_CLOSE\n");
    }
    if (waitGoneMs >= 0) {
        long long after = zw_wait_gone(w, waitGoneMs);
        if (after < 0) {
            zw_out("still-there\n");
            return 4;
        }
        zw_outf("gone\tafter=%lldms\n", after);
    }
    return 0;
}
