/* Shared bits of the small Wine test programs: wall-clock milliseconds, UTF-8
 * text, the common log format, command-line options, window searches and
 * descriptions, process lists.
 *
 * Log lines are UTF-8, one event a line, fields separated by tabs:
 *   <unix ms> TAB <program base name> TAB <pid> TAB <event> TAB <text>
 * Tabs and line breaks inside the text are replaced by blanks, so a line can
 * always be split on tabs. Each line is appended with its own open and close,
 * with full sharing, so several programs can write the same file. */
#ifndef ZWPROG_H
#define ZWPROG_H

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* A bounded text buffer: appends cut at the capacity, never past it. */
typedef struct {
    char *p;
    size_t cap;
    size_t len;
} zw_buf;

static inline void zw_buf_init(zw_buf *b, char *storage, size_t cap)
{
    b->p = storage;
    b->cap = cap;
    b->len = 0;
    if (cap > 0) storage[0] = 0;
}

static inline void zw_buf_add(zw_buf *b, const char *s)
{
    if (b->cap == 0) return;
    while (*s && b->len + 1 < b->cap) b->p[b->len++] = *s++;
    b->p[b->len] = 0;
}

static inline void zw_buf_addf(zw_buf *b, const char *fmt, ...)
{
    char tmp[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(tmp, sizeof tmp, fmt, ap);
    va_end(ap);
    zw_buf_add(b, tmp);
}

/* A FILETIME as one count of 100 ns ticks. */
static inline unsigned long long zw_ticks(FILETIME ft)
{
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return t.QuadPart;
}

/* The system time as FILETIME ticks (since 1601). */
static inline unsigned long long zw_now_ticks(void)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return zw_ticks(ft);
}

/* Milliseconds since 1970 from the system clock, so that lines written by
 * different processes (and by the Unix side, `date +%s%3N`) compare. */
static inline unsigned long long zw_now_ms(void)
{
    return (zw_now_ticks() - 116444736000000000ULL) / 10000ULL;
}

/* UTF-16 to UTF-8, cut to fit; tabs and line breaks become blanks. */
static inline void zw_utf8(const WCHAR *w, char *out, int outSize)
{
    if (outSize <= 0) return;
    out[0] = 0;
    if (w == NULL) return;
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, out, outSize, NULL, NULL);
    if (n == 0) {
        /* Too long for the buffer: convert a prefix that surely fits. */
        int chars = (outSize - 1) / 4;
        n = WideCharToMultiByte(CP_UTF8, 0, w, chars, out, outSize - 1, NULL, NULL);
        out[n > 0 ? n : 0] = 0;
    }
    for (char *c = out; *c; ++c)
        if (*c == '\t' || *c == '\r' || *c == '\n') *c = ' ';
}

/* UTF-8 to UTF-16; false when the text doesn't fit or isn't UTF-8. */
static inline BOOL zw_wide(const char *s, WCHAR *out, int outChars)
{
    if (outChars <= 0) return FALSE;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, out, outChars);
    if (n == 0) {
        out[0] = 0;
        return FALSE;
    }
    return TRUE;
}

/* The full path of a module (NULL: the program), cut to MAX_PATH characters. */
static inline void zw_module_path(HMODULE m, WCHAR path[MAX_PATH + 1])
{
    DWORD n = GetModuleFileNameW(m, path, MAX_PATH);
    path[n < MAX_PATH ? n : MAX_PATH] = 0;
}

/* A module's base name without extension (NULL: the program's own), e.g.
 * "long" for C:\x\long.exe. */
static inline void zw_module_name(HMODULE m, char *out, int outSize)
{
    WCHAR path[MAX_PATH + 1];
    zw_module_path(m, path);
    WCHAR *base = path;
    for (WCHAR *c = path; *c; ++c)
        if (*c == L'\\' || *c == L'/') base = c + 1;
    WCHAR *dot = wcsrchr(base, L'.');
    if (dot != NULL) *dot = 0;
    zw_utf8(base, out, outSize);
}

/* Appends bytes in one write to the log named by ZW_LOG (a Windows path),
 * else C:\zwlog.txt. */
static inline void zw_log_write(const char *data, DWORD size)
{
    WCHAR path[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableW(L"ZW_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) lstrcpynW(path, L"C:\\zwlog.txt", MAX_PATH);
    /* Another writer may hold the file for a moment: retry briefly. */
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(f, data, size, &written, NULL);
            CloseHandle(f);
            return;
        }
        Sleep(10);
    }
}

/* While held, log lines are gathered and written together by zw_log_release,
 * so a reader never sees part of a group: a scenario that waits for the
 * first line of a group may read the others at once. */
static struct {
    BOOL held;
    DWORD len;
    char data[65536];
} zw_log_group;

static inline void zw_log_hold(void)
{
    zw_log_group.held = TRUE;
    zw_log_group.len = 0;
}

static inline void zw_log_release(void)
{
    if (zw_log_group.len > 0) zw_log_write(zw_log_group.data, zw_log_group.len);
    zw_log_group.held = FALSE;
    zw_log_group.len = 0;
}

static inline void zw_log(const char *name, const char *event, const char *text)
{
    char line[8192];
    zw_buf b;
    zw_buf_init(&b, line, sizeof line - 1); /* room for the line break */
    zw_buf_addf(&b, "%llu\t%s\t%lu\t%s\t", zw_now_ms(), name, (unsigned long)GetCurrentProcessId(), event);
    zw_buf_add(&b, text);
    line[b.len++] = '\n';

    if (zw_log_group.held) {
        if (zw_log_group.len + b.len > sizeof zw_log_group.data) {
            zw_log_write(zw_log_group.data, zw_log_group.len);
            zw_log_group.len = 0;
        }
        memcpy(zw_log_group.data + zw_log_group.len, line, b.len);
        zw_log_group.len += (DWORD)b.len;
        return;
    }
    zw_log_write(line, (DWORD)b.len);
}

/* Raw UTF-8 to standard output (no text-mode translation). */
static inline void zw_out(const char *text)
{
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    if (h == NULL || h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, text, (DWORD)strlen(text), &written, NULL);
}

static inline void zw_outf(const char *fmt, ...)
{
    char tmp[8192];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(tmp, sizeof tmp, fmt, ap);
    va_end(ap);
    zw_out(tmp);
}

static inline void zw_window_title(HWND w, char *out, int outSize)
{
    WCHAR t[512];
    t[0] = 0;
    GetWindowTextW(w, t, 512);
    zw_utf8(t, out, outSize);
}

static inline void zw_window_class(HWND w, char *out, int outSize)
{
    WCHAR c[256];
    c[0] = 0;
    GetClassNameW(w, c, 256);
    zw_utf8(c, out, outSize);
}

typedef struct {
    zw_buf *b;
    int count;
} zw_child_walk;

static inline BOOL CALLBACK zw_child_text_proc(HWND w, LPARAM param)
{
    zw_child_walk *walk = (zw_child_walk *)param;
    char text[1024];
    zw_window_title(w, text, sizeof text);
    if (text[0] == 0) return TRUE;
    zw_buf_add(walk->b, walk->count++ ? "|" : "");
    zw_buf_add(walk->b, text);
    return TRUE;
}

/* "title [class] {child text|child text}": a message box or dialog shows its
 * caption, then its static texts and button labels in creation order. */
static inline void zw_describe_window(HWND w, zw_buf *b)
{
    char text[1024];
    zw_window_title(w, text, sizeof text);
    zw_buf_add(b, text);
    zw_window_class(w, text, sizeof text);
    zw_buf_addf(b, " [%s] {", text);
    zw_child_walk walk = {b, 0};
    EnumChildWindows(w, zw_child_text_proc, (LPARAM)&walk);
    zw_buf_add(b, "}");
}

/* The next process of a Toolhelp snapshot, taken on the first call (*snap
 * NULL): while (zw_next_process(&snap, &e)) walks them all; the snapshot is
 * closed once the walk ends. */
static inline BOOL zw_next_process(HANDLE *snap, PROCESSENTRY32W *e)
{
    const BOOL first = *snap == NULL;
    if (first) *snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    e->dwSize = sizeof *e;
    const BOOL ok = *snap != INVALID_HANDLE_VALUE && (first ? Process32FirstW(*snap, e) : Process32NextW(*snap, e));
    if (!ok && *snap != INVALID_HANDLE_VALUE) CloseHandle(*snap);
    if (!ok) *snap = NULL;
    return ok;
}

/* Image name (e.g. "zarnowel.exe") of a process, from a Toolhelp snapshot. */
static inline void zw_process_image(DWORD pid, char *out, int outSize, DWORD *parent)
{
    if (outSize > 0) out[0] = 0;
    if (parent) *parent = 0;
    HANDLE snap = NULL;
    PROCESSENTRY32W e;
    while (zw_next_process(&snap, &e)) {
        if (e.th32ProcessID != pid) continue;
        zw_utf8(e.szExeFile, out, outSize);
        if (parent) *parent = e.th32ParentProcessID;
    }
}

typedef struct {
    const WCHAR *cls, *title;
    BOOL hidden;
    void (*each)(HWND);
    HWND first;
} zw_window_query;

static inline BOOL CALLBACK zw_match_window(HWND w, LPARAM param)
{
    zw_window_query *q = (zw_window_query *)param;
    WCHAR c[256], t[512];
    c[0] = t[0] = 0;
    if (q->cls != NULL) GetClassNameW(w, c, 256);
    if (q->title != NULL) GetWindowTextW(w, t, 512);
    if (!(q->hidden || IsWindowVisible(w)) || (q->cls != NULL && wcscmp(c, q->cls) != 0) ||
        (q->title != NULL && wcscmp(t, q->title) != 0))
        return TRUE;
    if (q->first == NULL) q->first = w;
    if (q->each != NULL) q->each(w);
    return q->each != NULL;
}

/* The first top-level window of that class and caption (NULL: any), hidden
 * ones too when asked; every match goes to each, when given. */
static inline HWND zw_find_window(const WCHAR *cls, const WCHAR *title, BOOL hidden, void (*each)(HWND))
{
    zw_window_query q = {cls, title, hidden, each, NULL};
    EnumWindows(zw_match_window, (LPARAM)&q);
    return q.first;
}

/* Looks every 50 ms until such a window is there or ms have passed. */
static inline HWND zw_wait_window(const WCHAR *cls, const WCHAR *title, BOOL hidden, int ms)
{
    unsigned long long start = zw_now_ms();
    for (;;) {
        HWND w = zw_find_window(cls, title, hidden, NULL);
        if (w != NULL || zw_now_ms() - start >= (unsigned long long)ms) return w;
        Sleep(50);
    }
}

/* Looks every 50 ms until the window is gone or ms have passed: the ms it
 * took, or -1 when it is still there. */
static inline long long zw_wait_gone(HWND w, int ms)
{
    unsigned long long asked = zw_now_ms();
    while (IsWindow(w) && zw_now_ms() - asked < (unsigned long long)ms) Sleep(50);
    return IsWindow(w) ? -1 : (long long)(zw_now_ms() - asked);
}

/* One option of a probe's command line, read by zw_options into value:
 * ZW_FLAG sets a BOOL, ZW_INT reads an int, ZW_TEXT keeps the argument
 * (UTF-16), ZW_TEXT_INT a text and then an int into number, ZW_CHOICE turns
 * a word (ASCII case ignored) into its number from choices, which end with a
 * NULL name. */
typedef enum { ZW_FLAG, ZW_INT, ZW_TEXT, ZW_TEXT_INT, ZW_CHOICE } zw_option_kind;

typedef struct {
    const char *name;
    int value;
} zw_choice;

typedef struct {
    const char *name;
    zw_option_kind kind;
    void *value;
    int *number;
    const zw_choice *choices;
} zw_option;

/* The number of word among choices (ASCII case ignored); FALSE when it is not there. */
static inline BOOL zw_choose(const zw_choice *choices, const char *word, int *value)
{
    const zw_choice *c = choices;
    while (c->name != NULL && _stricmp(c->name, word) != 0) ++c;
    if (c->name != NULL) *value = c->value;
    return c->name != NULL;
}

/* A row for an option without number or choices. */
#define ZW_OPT(name, kind, value) {name, kind, value, NULL, NULL}

/* Reads the command line by the table, with standard output set to UTF-8;
 * FALSE for an option not in it, a missing value or a word not among the
 * choices. The arguments stay for the life of the process: texts point into
 * them. */
static inline BOOL zw_options(const zw_option *options, size_t count)
{
    SetConsoleOutputCP(CP_UTF8);
    int argc = 0;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL) return FALSE;
    for (int i = 1; i < argc; ++i) {
        char name[64], arg[512];
        zw_utf8(argv[i], name, sizeof name);
        const zw_option *o = options;
        while (o < options + count && strcmp(o->name, name) != 0) ++o;
        if (o == options + count) return FALSE;
        const int values = o->kind == ZW_FLAG ? 0 : o->kind == ZW_TEXT_INT ? 2 : 1;
        if (i + values >= argc) return FALSE;
        zw_utf8(argv[i + values], arg, sizeof arg); /* the last value as UTF-8 */
        if (o->kind == ZW_FLAG) *(BOOL *)o->value = TRUE;
        if (o->kind == ZW_INT) *(int *)o->value = atoi(arg);
        if (o->kind == ZW_TEXT || o->kind == ZW_TEXT_INT) *(const WCHAR **)o->value = argv[i + 1];
        if (o->kind == ZW_TEXT_INT) *o->number = atoi(arg);
        if (o->kind == ZW_CHOICE && !zw_choose(o->choices, arg, (int *)o->value)) return FALSE;
        i += values;
    }
    return TRUE;
}

#define ZW_COUNT(a) (sizeof(a) / sizeof((a)[0]))

#endif
