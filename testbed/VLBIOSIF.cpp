// VLBIOSIF.DLL — stand-in for the BIOS-query library the updater loads to
// learn the machine type.
//
// VLBIOSIF_GetBiosString() returns the DWORD value "MachineType" under
// HKLM\Software\VelraTestbed (0 when the key or value is missing), so a test
// picks the machine type by writing one registry value, and logs
// "biosif query <code>" (decimal). The export name carries no decoration
// (see the .def files); VLBIOSIF_NOEXPORT.DLL is built from this same
// source without the export, to stand in for an incompatible library.
//
// VLBIOSIF_PLANTED.DLL (built with TB_BIOSIF_PLANTED) plays a file of the
// same name planted beside the updater: it logs "biosif planted" as soon as
// it is loaded (a planted library's code runs at load, before any call)
// and "biosif planted-query 99" when asked, answering 99 whatever the
// registry holds.
#include "EventLog.h"

#include <windows.h>

#include <cstdio>

#ifdef TB_BIOSIF_PLANTED
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        TbLogEvent("biosif", "planted");
    return TRUE;
}

extern "C" int WINAPI VLBIOSIF_GetBiosString(void)
{
    TbLogEvent("biosif", "planted-query", "99");
    return 99;
}
#else
extern "C" int WINAPI VLBIOSIF_GetBiosString(void)
{
    DWORD code = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\VelraTestbed", 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        DWORD type = 0, size = sizeof code;
        if (RegQueryValueExA(key, "MachineType", nullptr, &type, reinterpret_cast<BYTE*>(&code),
                             &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            code = 0;
        RegCloseKey(key);
    }
    char details[16];
    std::snprintf(details, sizeof details, "%d", static_cast<int>(code));
    TbLogEvent("biosif", "query", details);
    return static_cast<int>(code);
}
#endif
