/* crash: ends with an access violation, so that the rig's detection of Wine
 * crash reports can itself be checked. */
#include <windows.h>

int main(void)
{
    volatile int *nowhere = (volatile int *)(ULONG_PTR)GetCurrentProcessId() - GetCurrentProcessId();
    *nowhere = 1;
    return 0;
}
