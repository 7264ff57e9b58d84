/* zw-dll: newdev cfgmgr32
 * A DLL planted beside a program under the name of a system DLL that is not
 * a KnownDLL. Built once per name into planted/; when any process maps it,
 * DllMain logs "<dll name> planted <process image>" to the helpers' log. It
 * exports what the launcher would look up in either, failing, so a program
 * that imports it still starts and the load shows. */
#include "zwprog.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        WCHAR path[MAX_PATH + 1];
        char name[MAX_PATH], image[MAX_PATH];
        zw_module_name(self, name, sizeof name);
        zw_module_path(NULL, path);
        zw_utf8(path, image, sizeof image);
        zw_log(name, "planted", image);
    }
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND owner, LPCSTR id, LPCSTR inf, DWORD flags,
                                                                     PBOOL reboot)
{
    (void)owner, (void)id, (void)inf, (void)flags, (void)reboot;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

__declspec(dllexport) DWORD WINAPI CM_Get_DevNode_Status(PULONG status, PULONG problem, DWORD devInst, ULONG flags)
{
    (void)status, (void)problem, (void)devInst, (void)flags;
    return 0x13; /* CR_FAILURE */
}
