/* An empty library that tests copy into a folder and load, so that the
   framework's instance handle names a module living in that folder. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE h, DWORD reason, LPVOID reserved)
{
    (void)h;
    (void)reason;
    (void)reserved;
    return TRUE;
}
