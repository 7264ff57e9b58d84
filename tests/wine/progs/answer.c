/* answer: waits for a top-level window with a given caption, reports it and
 * answers it, the way a person at the screen would.
 *
 *   answer --caption TEXT [--class NAME] [--timeout MS] [--hidden]
 *          [--press yes|no|ok|cancel|abort|retry|ignore | --command ID | --key esc|enter | --close]
 *          [--wait-gone MS] [--absent]
 *
 * TEXT is UTF-8 (the Unix side's), compared with the window's Unicode caption,
 * so Korean captions match whatever the ANSI code page. Without an action the
 * window is only reported. --absent inverts the wait: success when no such
 * window appears within the timeout.
 *
 * Reports go to stdout and, when ZW_LOG is set, to that log (zwprog.h format,
 * events "found", "text", "answered", "gone", "timeout").
 * Exit codes: 0 done, 1 not found in time (or, with --absent, found),
 * 2 bad arguments, 3 the button asked for is not in the window, 4 still there
 * after --wait-gone. */
#include "zwprog.h"

#include <shellapi.h>
#include <stdlib.h>

typedef struct {
    const WCHAR *caption;
    const WCHAR *className;
    BOOL hidden;
    HWND found;
} search;

static BOOL CALLBACK match_window(HWND w, LPARAM param)
{
    search *s = (search *)param;
    if (!s->hidden && !IsWindowVisible(w)) return TRUE;
    WCHAR text[512];
    text[0] = 0;
    GetWindowTextW(w, text, 512);
    if (wcscmp(text, s->caption) != 0) return TRUE;
    if (s->className != NULL) {
        WCHAR cls[256];
        cls[0] = 0;
        GetClassNameW(w, cls, 256);
        if (wcscmp(cls, s->className) != 0) return TRUE;
    }
    s->found = w;
    return FALSE;
}

static HWND find_window(search *s)
{
    s->found = NULL;
    EnumWindows(match_window, (LPARAM)s);
    return s->found;
}

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

static HWND find_button(HWND dialog, int id)
{
    HWND b = GetDlgItem(dialog, id);
    return (b != NULL && GetParent(b) == dialog) ? b : NULL;
}

static int button_id(const char *name)
{
    static const struct {
        const char *name;
        int id;
    } table[] = {{"ok", IDOK},         {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
                 {"ignore", IDIGNORE}, {"yes", IDYES},       {"no", IDNO}};
    for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i)
        if (_stricmp(name, table[i].name) == 0) return table[i].id;
    return 0;
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
    zw_out("usage: answer --caption TEXT [--class NAME] [--timeout MS] [--hidden]\n"
           "              [--press yes|no|ok|cancel|abort|retry|ignore | --command ID | --key esc|enter | --close]\n"
           "              [--wait-gone MS] [--absent]\n");
    return 2;
}

int main(void)
{
    SetConsoleOutputCP(CP_UTF8);
    int argc = 0;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL) return 2;

    static WCHAR caption[512], className[256];
    BOOL haveCaption = FALSE, haveClass = FALSE, absent = FALSE, hidden = FALSE, close = FALSE, pressed = FALSE;
    int timeoutMs = 30000, waitGoneMs = -1, command = 0;
    WORD key = 0;
    char arg[512];
    for (int i = 1; i < argc; ++i) {
        char opt[64];
        zw_utf8(argv[i], opt, sizeof opt);
        BOOL hasValue = i + 1 < argc;
        if (hasValue) zw_utf8(argv[i + 1], arg, sizeof arg);
        if (strcmp(opt, "--caption") == 0 && hasValue) {
            lstrcpynW(caption, argv[++i], 512);
            haveCaption = TRUE;
        } else if (strcmp(opt, "--class") == 0 && hasValue) {
            lstrcpynW(className, argv[++i], 256);
            haveClass = TRUE;
        } else if (strcmp(opt, "--timeout") == 0 && hasValue) {
            timeoutMs = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--wait-gone") == 0 && hasValue) {
            waitGoneMs = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--press") == 0 && hasValue) {
            command = button_id(arg);
            if (command == 0) return usage();
            pressed = TRUE;
            ++i;
        } else if (strcmp(opt, "--command") == 0 && hasValue) {
            command = atoi(arg);
            ++i;
        } else if (strcmp(opt, "--key") == 0 && hasValue) {
            if (_stricmp(arg, "esc") == 0)
                key = VK_ESCAPE;
            else if (_stricmp(arg, "enter") == 0)
                key = VK_RETURN;
            else
                return usage();
            ++i;
        } else if (strcmp(opt, "--close") == 0) {
            close = TRUE;
        } else if (strcmp(opt, "--absent") == 0) {
            absent = TRUE;
        } else if (strcmp(opt, "--hidden") == 0) {
            hidden = TRUE;
        } else {
            return usage();
        }
    }
    LocalFree(argv);
    if (!haveCaption) return usage();
    logging = GetEnvironmentVariableW(L"ZW_LOG", NULL, 0) > 0;

    search s = {caption, haveClass ? className : NULL, hidden, NULL};
    char captionText[1600];
    zw_utf8(caption, captionText, sizeof captionText);
    unsigned long long start = zw_now_ms();
    HWND w = NULL;
    for (;;) {
        w = find_window(&s);
        if (w != NULL || zw_now_ms() - start >= (unsigned long long)timeoutMs) break;
        Sleep(50);
    }
    if (w == NULL) {
        report(absent ? "absent" : "timeout", captionText);
        return absent ? 0 : 1;
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
    if (absent) return 1;

    if (command != 0) {
        HWND button = find_button(w, command);
        if (button == NULL && pressed) {
            snprintf(line, sizeof line, "no button %d in the window", command);
            report("error", line);
            return 3;
        }
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), (LPARAM)button);
        snprintf(line, sizeof line, "command %d", command);
        report("answered", line);
    } else if (key != 0) {
        send_key(w, key);
        report("answered", key == VK_ESCAPE ? "key esc" : "key enter");
    } else if (close) {
        PostMessageW(w, WM_CLOSE, 0, 0);
        report("answered", "close");
    }

    if (waitGoneMs >= 0) {
        unsigned long long asked = zw_now_ms();
        while (IsWindow(w) && zw_now_ms() - asked < (unsigned long long)waitGoneMs) Sleep(50);
        if (IsWindow(w)) {
            report("still-there", captionText);
            return 4;
        }
        snprintf(line, sizeof line, "%s after=%llums", captionText, zw_now_ms() - asked);
        report("gone", line);
    }
    return 0;
}
