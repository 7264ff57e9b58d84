/* answer: waits for a top-level window with a given caption, reports it and
 * answers it, the way a person at the screen would.
 *
 *   answer --caption TEXT [--class NAME] [--timeout MS]
 *          [--press yes|no|ok | --key esc|enter] [--wait-gone MS]
 *
 * TEXT is UTF-8 (the Unix side's), compared with the window's Unicode caption,
 * so Korean captions match whatever the ANSI code page. Without an action the
 * window is only reported.
 *
 * Reports go to stdout and, when ZW_LOG is set, to that log (zwprog.h format,
 * events "found", "text", "answered", "gone", "timeout").
 * Exit codes: 0 done, 1 not found in time, 2 bad arguments, 3 the button
 * asked for is not in the window, 4 still there after --wait-gone. */
#include "zwprog.h"

static BOOL logging;

static void report(const char *event, const char *text)
{
    zw_outf("%s\t%s\n", event, text);
    if (logging) zw_log("answer", event, text);
}

static BOOL CALLBACK report_child(HWND w, LPARAM param)
{
    (void)param;
    char text[1024], cls[256], line[1400];
    zw_window_title(w, text, sizeof text);
    zw_window_class(w, cls, sizeof cls);
    snprintf(line, sizeof line, "id=%d class=%s visible=%d text=%s", GetDlgCtrlID(w), cls, IsWindowVisible(w) ? 1 : 0,
             text);
    report("text", line);
    return TRUE;
}

/* A key goes to the control that has the focus in the window's thread, as a
 * keyboard would send it; the dialog's own loop turns Esc and Enter into its
 * commands. */
static void send_key(HWND w, WORD vk)
{
    DWORD thread = GetWindowThreadProcessId(w, NULL);
    GUITHREADINFO gui;
    gui.cbSize = sizeof gui;
    HWND target = w;
    if (GetGUIThreadInfo(thread, &gui) && gui.hwndFocus != NULL && (gui.hwndFocus == w || IsChild(w, gui.hwndFocus)))
        target = gui.hwndFocus;
    UINT scan = MapVirtualKeyW(vk, 0);
    PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

static int usage(void)
{
    zw_out("usage: answer --caption TEXT [--class NAME] [--timeout MS]\n"
           "              [--press yes|no|ok | --key esc|enter] [--wait-gone MS]\n");
    return 2;
}

int main(void)
{
    static const zw_choice buttons[] = {{"ok", IDOK}, {"yes", IDYES}, {"no", IDNO}, {NULL, 0}};
    static const zw_choice keys[] = {{"esc", VK_ESCAPE}, {"enter", VK_RETURN}, {NULL, 0}};
    const WCHAR *caption = NULL, *className = NULL;
    int timeoutMs = 30000, waitGoneMs = -1, command = 0, key = 0;
    const zw_option options[] = {
        ZW_OPT("--caption", ZW_TEXT, &caption),
        ZW_OPT("--class", ZW_TEXT, &className),
        ZW_OPT("--timeout", ZW_INT, &timeoutMs),
        ZW_OPT("--wait-gone", ZW_INT, &waitGoneMs),
        {"--press", ZW_CHOICE, &command, NULL, buttons},
        {"--key", ZW_CHOICE, &key, NULL, keys},
    };
    if (!zw_options(options, ZW_COUNT(options)) || caption == NULL) return usage();
    logging = GetEnvironmentVariableW(L"ZW_LOG", NULL, 0) > 0;

    char captionText[1600];
    zw_utf8(caption, captionText, sizeof captionText);
    unsigned long long start = zw_now_ms();
    HWND w = zw_wait_window(className, caption, FALSE, timeoutMs);
    if (w == NULL) {
        report("timeout", captionText);
        return 1;
    }

    char line[4096];
    zw_buf b;
    zw_buf_init(&b, line, sizeof line);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char image[MAX_PATH];
    zw_process_image(pid, image, sizeof image, NULL);
    zw_describe_window(w, &b);
    zw_buf_addf(&b, " visible=%d pid=%lu image=%s after=%llums", IsWindowVisible(w) ? 1 : 0, (unsigned long)pid,
                image, zw_now_ms() - start);
    report("found", line);
    EnumChildWindows(w, report_child, 0);

    if (command != 0) {
        HWND button = GetDlgItem(w, command);
        if (button == NULL || GetParent(button) != w) {
            snprintf(line, sizeof line, "no button %d in the window", command);
            report("error", line);
            return 3;
        }
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), (LPARAM)button);
        snprintf(line, sizeof line, "command %d", command);
        report("answered", line);
    } else if (key != 0) {
        send_key(w, (WORD)key);
        report("answered", key == VK_ESCAPE ? "key esc" : "key enter");
    }

    if (waitGoneMs >= 0) {
        long long after = zw_wait_gone(w, waitGoneMs);
        if (after < 0) {
            report("still-there", captionText);
            return 4;
        }
        snprintf(line, sizeof line, "%s after=%lldms", captionText, after);
        report("gone", line);
    }
    return 0;
}
