/* resprobe: opens an executable as a data file and reports what the system
 * makes of its resources, one "key=value" a line (UTF-8), for a script to
 * compare; the bytes themselves are the host's check (tools/check_resources.py).
 *
 *   resprobe PATH
 *
 * Reports: every type/number/language present; strings 103 and 109; icons 129
 * and 162 as loaded; bitmap 171 as loaded; menu 109; accelerator table 109 and
 * what ALT with each key does through TranslateAccelerator; dialogs 103 and
 * 132 as created (hidden) ANSI dialogs, captions included; the manifest as an
 * activation context: the comctl32 it brings, the run level it asks for, the
 * operating systems it declares and its DPI setting, as the system's manifest
 * parser read them.
 * Exit codes: 0 reported, 1 the file can't be opened, 2 bad arguments. */
#include "zwprog.h"

#include <shlwapi.h>

static HMODULE module;

/* A resource as loaded, with its size; NULL and 0 when there is none. */
static const void *resource_bytes(LPCWSTR type, LPCWSTR name, DWORD *size)
{
    HRSRC found = FindResourceW(module, name, type);
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    const void *bytes = loaded ? LockResource(loaded) : NULL;
    *size = bytes ? SizeofResource(module, found) : 0;
    return bytes;
}

/* ---- the resource directory ------------------------------------------------ */

static void id_text(LPCWSTR id, char *out, int outSize)
{
    if (IS_INTRESOURCE(id))
        snprintf(out, (size_t)outSize, "%u", (unsigned)(ULONG_PTR)id);
    else
        zw_utf8(id, out, outSize);
}

static BOOL CALLBACK on_language(HMODULE m, LPCWSTR type, LPCWSTR name, WORD lang, LONG_PTR param)
{
    (void)m;
    (void)param;
    char t[128], n[128];
    id_text(type, t, sizeof t);
    id_text(name, n, sizeof n);
    zw_outf("resource=%s/%s/%04x\n", t, n, lang);
    return TRUE;
}

static BOOL CALLBACK on_name(HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
    EnumResourceLanguagesW(m, type, name, on_language, param);
    return TRUE;
}

static BOOL CALLBACK on_type(HMODULE m, LPWSTR type, LONG_PTR param)
{
    EnumResourceNamesW(m, type, on_name, param);
    return TRUE;
}

/* ---- strings, icons, bitmap ------------------------------------------------ */

static void report_strings(void)
{
    static const UINT ids[] = {103, 109};
    for (size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
        char a[256];
        int n = LoadStringA(module, ids[i], a, sizeof a);
        zw_outf("string.%u=%s\n", ids[i], n > 0 ? a : "");
        zw_outf("string.%u.length=%d\n", ids[i], n);
    }
}

static void report_bitmap_object(const char *key, HBITMAP bmp)
{
    BITMAP bm;
    if (bmp != NULL && GetObjectW(bmp, sizeof bm, &bm) == sizeof bm)
        zw_outf("%s=%ldx%ld\n%s.bpp=%u\n", key, bm.bmWidth, bm.bmHeight, key, bm.bmBitsPixel);
    else
        zw_outf("%s=none\n", key);
}

static void report_icons(void)
{
    HICON missing = LoadIconA(module, MAKEINTRESOURCEA(129));
    zw_outf("icon.129=%s\n", missing ? "present" : "absent");

    HICON icon = LoadIconA(module, MAKEINTRESOURCEA(162));
    zw_outf("icon.162=%s\n", icon ? "present" : "absent");
    if (icon != NULL) {
        ICONINFO info;
        if (GetIconInfo(icon, &info)) {
            report_bitmap_object("icon.162.color", info.hbmColor);
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
        }
    }

    DestroyIcon(icon);
}

static void report_bitmap(void)
{
    /* As a DIB section it keeps its own format, whatever the screen's depth. */
    HBITMAP bmp = (HBITMAP)LoadImageA(module, MAKEINTRESOURCEA(171), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    report_bitmap_object("bitmap.171", bmp);
    if (bmp == NULL) return;
    DIBSECTION ds;
    if (GetObjectW(bmp, sizeof ds, &ds) == sizeof ds)
        zw_outf("bitmap.171.compression=%lu\nbitmap.171.colours=%lu\n", (unsigned long)ds.dsBmih.biCompression,
                (unsigned long)ds.dsBmih.biClrUsed);
    HDC dc = CreateCompatibleDC(NULL);
    if (dc != NULL) {
        HGDIOBJ old = SelectObject(dc, bmp);
        COLORREF corners[4] = {GetPixel(dc, 0, 0), GetPixel(dc, 31, 0), GetPixel(dc, 0, 31), GetPixel(dc, 31, 31)};
        for (int i = 0; i < 4; ++i)
            zw_outf("bitmap.171.corner.%d=%u,%u,%u\n", i + 1, GetRValue(corners[i]), GetGValue(corners[i]),
                    GetBValue(corners[i]));
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    DeleteObject(bmp);
}

/* ---- menu and accelerators ------------------------------------------------- */

static void report_menu(HMENU menu, const char *prefix)
{
    int count = GetMenuItemCount(menu);
    zw_outf("%s.count=%d\n", prefix, count);
    for (int i = 0; i < count; ++i) {
        WCHAR w[256];
        char text[512], key[64];
        w[0] = 0;
        GetMenuStringW(menu, (UINT)i, w, 256, MF_BYPOSITION);
        zw_utf8(w, text, sizeof text);
        snprintf(key, sizeof key, "%s.%d", prefix, i + 1);
        HMENU sub = GetSubMenu(menu, i);
        if (sub != NULL) {
            zw_outf("%s=popup %s\n", key, text);
            report_menu(sub, key);
        } else {
            zw_outf("%s=%u %s\n", key, GetMenuItemID(menu, i), text);
        }
    }
}

static UINT lastCommand;
static int commandCount;

static LRESULT CALLBACK probe_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND) {
        lastCommand = wp;
        ++commandCount;
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

/* What TranslateAccelerator makes of one keyboard character message, with
 * the ALT key up or down in the thread's key state (a character accelerator
 * matches on that state, not on the message). */
static void try_key(HWND w, HACCEL table, const char *key, UINT message, char ch, BOOL alt)
{
    BYTE keys[256], saved[256];
    GetKeyboardState(saved);
    memcpy(keys, saved, sizeof keys);
    keys[VK_MENU] = keys[VK_LMENU] = alt ? 0x80 : 0;
    SetKeyboardState(keys);
    /* The context bit (29) is what a WM_SYSCHAR carries while ALT is held. */
    LPARAM lp = alt ? ((LPARAM)1 << 29) | 1 : 1;
    MSG m = {w, message, (WPARAM)(BYTE)ch, lp, 0, {0, 0}};
    lastCommand = 0;
    commandCount = 0;
    int translated = TranslateAcceleratorA(w, table, &m);
    SetKeyboardState(saved);
    if (translated && commandCount == 1)
        zw_outf("%s=%u source %u\n", key, LOWORD(lastCommand), HIWORD(lastCommand));
    else
        zw_outf("%s=none\n", key);
}

static void report_accelerators(void)
{
    HACCEL table = LoadAcceleratorsA(module, MAKEINTRESOURCEA(109));
    if (table == NULL) {
        zw_out("accel.count=0\n");
        return;
    }
    ACCEL entries[16];
    int n = CopyAcceleratorTableA(table, entries, 16);
    zw_outf("accel.count=%d\n", n);
    for (int i = 0; i < n && i < 16; ++i)
        zw_outf("accel.%d=flags 0x%02x key %u cmd %u\n", i + 1, entries[i].fVirt & 0x7F, entries[i].key,
                entries[i].cmd);

    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = probe_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "ResProbeAccel";
    RegisterClassA(&wc);
    HWND w = CreateWindowA("ResProbeAccel", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
    if (w != NULL) {
        try_key(w, table, "accel.alt.question", WM_SYSCHAR, '?', TRUE);
        try_key(w, table, "accel.alt.slash", WM_SYSCHAR, '/', TRUE);
        try_key(w, table, "accel.alt.x", WM_SYSCHAR, 'x', TRUE);
        try_key(w, table, "accel.plain.question", WM_CHAR, '?', FALSE);
        try_key(w, table, "accel.plain.slash", WM_CHAR, '/', FALSE);
        DestroyWindow(w);
    }
    UnregisterClassA("ResProbeAccel", wc.hInstance);
    DestroyAcceleratorTable(table);
}

/* ---- dialogs --------------------------------------------------------------- */

static INT_PTR CALLBACK quiet_dialog(HWND d, UINT msg, WPARAM wp, LPARAM lp)
{
    (void)d;
    (void)wp;
    (void)lp;
    return msg == WM_INITDIALOG;
}

typedef struct {
    const char *key;
    int index;
} child_walk;

static BOOL CALLBACK report_child(HWND c, LPARAM param)
{
    child_walk *walk = (child_walk *)param;
    char cls[256], text[1024];
    ++walk->index;
    zw_window_class(c, cls, sizeof cls);
    zw_window_title(c, text, sizeof text);
    RECT rc;
    GetClientRect(c, &rc);
    zw_outf("%s.child.%d=class %s id %d size %ldx%ld\n", walk->key, walk->index, cls, GetDlgCtrlID(c), rc.right,
            rc.bottom);
    HBITMAP bmp = (HBITMAP)SendMessageW(c, STM_GETIMAGE, IMAGE_BITMAP, 0);
    /* A picture control's text is the resource ordinal, not text. */
    if (bmp == NULL) zw_outf("%s.child.%d.text=%s\n", walk->key, walk->index, text);
    if (bmp != NULL) {
        char key[96];
        snprintf(key, sizeof key, "%s.child.%d.image", walk->key, walk->index);
        report_bitmap_object(key, bmp);
    }
    return TRUE;
}

/* The template made into a dialog, as an ANSI program like the launcher
 * makes it; the ANSI caption shows what the system code page turns it into. */
static void report_dialog_window(int number)
{
    DWORD size;
    const void *tmpl = resource_bytes(MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(number), &size);
    char key[64];
    snprintf(key, sizeof key, "window.%d", number);
    if (tmpl == NULL) return;
    HWND d = CreateDialogIndirectParamA(module, (LPCDLGTEMPLATEA)tmpl, NULL, quiet_dialog, 0);
    if (d == NULL) {
        zw_outf("%s=failed %lu\n", key, (unsigned long)GetLastError());
        return;
    }
    char caption[1024];
    zw_window_title(d, caption, sizeof caption);
    zw_outf("%s.caption=%s\n", key, caption);

    char ansi[512];
    WCHAR back[512];
    int n = GetWindowTextA(d, ansi, sizeof ansi);
    int m = n > 0 ? MultiByteToWideChar(CP_ACP, 0, ansi, n, back, 511) : 0;
    back[m > 0 ? m : 0] = 0;
    zw_utf8(back, caption, sizeof caption);
    zw_outf("%s.caption.ansi=%s\n", key, caption);

    child_walk walk = {key, 0};
    EnumChildWindows(d, report_child, (LPARAM)&walk);
    zw_outf("%s.children=%d\n", key, walk.index);
    DestroyWindow(d);
}

/* ---- manifest -------------------------------------------------------------- */

typedef HRESULT(CALLBACK *dll_get_version_fn)(DLLVERSIONINFO *);

/* What the parser kept of trustInfo, compatibility and windowsSettings. */
static void report_manifest_settings(HANDLE actx)
{
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level;
    SIZE_T got = 0;
    memset(&level, 0, sizeof level);
    if (QueryActCtxW(0, actx, NULL, RunlevelInformationInActivationContext, &level, sizeof level, &got))
        zw_outf("manifest.runlevel=%d uiaccess %lu\n", (int)level.RunLevel, (unsigned long)level.UiAccess);
    else
        zw_outf("manifest.runlevel=failed %lu\n", (unsigned long)GetLastError());

    /* Newer systems append a 64-bit MaxVersionTested to each element (and so
     * align the array to 8): the element size follows from the byte count. */
    BYTE compat[1024];
    got = 0;
    if (QueryActCtxW(0, actx, NULL, CompatibilityInformationInActivationContext, compat, sizeof compat, &got) &&
        got >= sizeof(DWORD)) {
        DWORD count = *(const DWORD *)compat;
        size_t first = 4, size = 20;
        if (count > 0 && got >= 8 + (size_t)count * 32 && (got - 8) % 32 == 0) first = 8, size = 32;
        zw_outf("manifest.supportedos.count=%lu\n", (unsigned long)count);
        for (DWORD i = 0; i < count && first + (i + 1) * size <= got; i++) {
            const BYTE *e = compat + first + i * size;
            GUID id;
            DWORD type;
            memcpy(&id, e, sizeof id);
            memcpy(&type, e + sizeof id, sizeof type);
            zw_outf("manifest.supportedos.%lu={%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x} type %lu\n",
                    (unsigned long)(i + 1), (unsigned long)id.Data1, id.Data2, id.Data3, id.Data4[0], id.Data4[1],
                    id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7], (unsigned long)type);
        }
    } else {
        zw_outf("manifest.supportedos=failed %lu\n", (unsigned long)GetLastError());
    }

    WCHAR value[64];
    char valueText[256];
    got = 0;
    if (QueryActCtxSettingsW(0, actx, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", value,
                             sizeof value / sizeof value[0], &got)) {
        zw_utf8(value, valueText, sizeof valueText);
        zw_outf("manifest.dpiaware=%s\n", valueText);
    } else {
        zw_outf("manifest.dpiaware=failed %lu\n", (unsigned long)GetLastError());
    }
}

static void report_manifest(const WCHAR *path)
{
    DWORD size;
    resource_bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), &size);
    zw_outf("manifest.bytes=%lu\n", (unsigned long)size);

    ACTCTXW ctx;
    memset(&ctx, 0, sizeof ctx);
    ctx.cbSize = sizeof ctx;
    ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.lpSource = path;
    ctx.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE actx = CreateActCtxW(&ctx);
    if (actx == INVALID_HANDLE_VALUE) {
        zw_outf("manifest.actctx=failed %lu\n", (unsigned long)GetLastError());
        return;
    }
    zw_out("manifest.actctx=ok\n");
    report_manifest_settings(actx);
    ULONG_PTR cookie = 0;
    if (ActivateActCtx(actx, &cookie)) {
        HMODULE cc = LoadLibraryW(L"comctl32.dll");
        if (cc == NULL) zw_outf("manifest.comctl32.load=failed %lu\n", (unsigned long)GetLastError());
        dll_get_version_fn get = cc ? (dll_get_version_fn)(void (*)(void))GetProcAddress(cc, "DllGetVersion") : NULL;
        DLLVERSIONINFO v;
        memset(&v, 0, sizeof v);
        v.cbSize = sizeof v;
        if (get != NULL && SUCCEEDED(get(&v)))
            zw_outf("manifest.comctl32=%lu.%lu\n", (unsigned long)v.dwMajorVersion, (unsigned long)v.dwMinorVersion);
        else
            zw_out("manifest.comctl32=unknown\n");
        if (cc) {
            WCHAR where[MAX_PATH + 1];
            char whereText[4 * MAX_PATH];
            zw_module_path(cc, where);
            zw_utf8(where, whereText, sizeof whereText);
            zw_outf("manifest.comctl32.path=%s\n", whereText);
            FreeLibrary(cc);
        }
        DeactivateActCtx(0, cookie);
    }
    ReleaseActCtx(actx);
}

int main(void)
{
    int argc = 0;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL || argc != 2) {
        zw_out("usage: resprobe PATH\n");
        return 2;
    }
    module = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL) {
        zw_outf("open=failed %lu\n", (unsigned long)GetLastError());
        LocalFree(argv);
        return 1;
    }
    zw_outf("acp=%u\n", GetACP());
    EnumResourceTypesW(module, on_type, 0);
    report_strings();
    report_icons();
    report_bitmap();
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(109));
    if (menu == NULL) zw_out("menu.count=0\n");
    if (menu != NULL) report_menu(menu, "menu");
    DestroyMenu(menu);
    report_accelerators();
    static const int dialogs[] = {103, 132};
    for (int i = 0; i < 2; ++i) report_dialog_window(dialogs[i]);
    report_manifest(argv[1]);
    FreeLibrary(module);
    LocalFree(argv);
    return 0;
}
