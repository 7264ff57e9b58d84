/* msgbox: shows one message box and logs the answer. zw-subsystem: windows
 *
 *   msgbox CAPTION TEXT [ok|yesno]
 *
 * CAPTION and TEXT are UTF-8 on the Unix side (shown through the Unicode
 * call). Logs "shown" and then "result" with the button id (1 IDOK ... 7 IDNO)
 * to ZW_LOG (zwprog.h format); the exit code is that id. Used to check the
 * window answerer and as a stand-in for any program that asks a question. */
#include "zwprog.h"

int main(void)
{
    static const zw_choice types[] = {{"ok", MB_OK}, {"yesno", MB_YESNO}, {NULL, 0}};
    int argc = 0;
    WCHAR **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL || argc < 3) return 100;
    int type = MB_OK;
    char name[32];
    if (argc > 3) zw_utf8(argv[3], name, sizeof name);
    if (argc > 3 && !zw_choose(types, name, &type)) return 100;
    char self[128], caption[1024];
    zw_module_name(NULL, self, sizeof self);
    zw_utf8(argv[1], caption, sizeof caption);
    zw_log(self, "shown", caption);
    int result = MessageBoxW(NULL, argv[2], argv[1], (UINT)type);
    char text[32];
    snprintf(text, sizeof text, "%d", result);
    zw_log(self, "result", text);
    LocalFree(argv);
    return result;
}
