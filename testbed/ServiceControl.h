// Registering and driving services through the Service Control Manager.
//
// Used by velsvc_s.exe (--install/--uninstall/--start/--stop) and by
// tbdriver.exe (install/start/stop/uninstall of the VelraEIO driver) so both
// stand-ins behave alike: every call is idempotent and waits for the state
// it asked for, which lets tests run them back to back without polling.
// Each function returns ERROR_SUCCESS or the Win32 error that stopped it.
#pragma once
#include <windows.h>

// Creates the service, or points an existing one at binaryPath again.
// serviceType is SERVICE_WIN32_OWN_PROCESS or SERVICE_KERNEL_DRIVER; the
// start type is always SERVICE_DEMAND_START. A service's program gets args
// on its command line.
DWORD TbInstallService(const char* name, DWORD serviceType, const char* binaryPath, const char* args = nullptr);
// Starts the service and waits until it reports SERVICE_RUNNING.
DWORD TbStartService(const char* name);
// Stops the service (if running) and waits until it reports SERVICE_STOPPED.
DWORD TbStopService(const char* name);
// Stops and deletes the service; a service that does not exist is no error.
DWORD TbRemoveService(const char* name);

// Full path of a file in the folder of the running executable.
void TbPathBesideExe(const char* fileName, char* path, DWORD size);
// Prints "<what>: error <n> <system message>" to stderr; returns 1 on error.
int TbReport(const char* what, DWORD error);
