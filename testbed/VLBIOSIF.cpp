// VLBIOSIF.DLL — stand-in for the BIOS-query library the updater loads to
// learn the machine type.
//
// VLBIOSIF_GetBiosString() returns the DWORD value "MachineType" under
// HKLM\Software\VelraTestbed (0 when the key or value is missing), so a test
// picks the machine type by writing one registry value, and logs
// "biosif query <code>" (decimal). The export name carries no decoration
// (see the .def files); VLBIOSIF_NOEXPORT.DLL is built from this same
// source without the export, to stand in for an incompatible library.
#include "EventLog.h"

#include <windows.h>

#include <cstdio>

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
