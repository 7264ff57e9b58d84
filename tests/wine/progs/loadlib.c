/* loadlib NAME...: loads each DLL by name with the plain search order (the
 * program's own folder first) and prints "NAME: <path loaded>" or
 * "NAME: error N". The control for a planted DLL: it is taken this way. */
#include "zwprog.h"

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        HMODULE m = LoadLibraryA(argv[i]);
        char path[MAX_PATH] = "";
        if (m != NULL) {
            GetModuleFileNameA(m, path, sizeof path);
            zw_outf("%s: %s\n", argv[i], path);
        } else {
            zw_outf("%s: error %lu\n", argv[i], GetLastError());
        }
    }
    return 0;
}
