/* A BIOS-query library that reports machine type 22 and leaves in the
   process environment the id of the thread that loaded it, called its
   export and released it, so that a test in the same process can tell
   the creator's thread from the probe's. Only kernel32 is used: DllMain
   runs under the loader lock. */
#include <windows.h>

static void NoteThread(const char* name)
{
    char digits[16];
    char* p = digits + sizeof(digits) - 1;
    DWORD id = GetCurrentThreadId();
    *p = '\0';
    do {
        *--p = (char)('0' + id % 10);
        id /= 10;
    } while (id);
    SetEnvironmentVariableA(name, p);
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved)
{
    (void)hInstance;
    (void)lpReserved;
    if (dwReason == DLL_PROCESS_ATTACH)
        NoteThread("VELRA_BIOS_LOADED_ON");
    else if (dwReason == DLL_PROCESS_DETACH)
        NoteThread("VELRA_BIOS_FREED_ON");
    return TRUE;
}

__declspec(dllexport) int VLBIOSIF_GetBiosString(void)
{
    NoteThread("VELRA_BIOS_CALLED_ON");
    return 22;
}
