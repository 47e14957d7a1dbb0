// tbdriver.exe install|start|stop|uninstall
//
// Controls the VelraEIO stand-in driver for tests and the demo: registers
// VelraEIO.sys from this executable's folder as a demand-start kernel-driver
// service named VelraEIO, starts it, stops it, or deletes it. Each command
// waits for the service state it asks for; exit code 0 on success, 1 on
// failure (with the Win32 error on stderr), 2 on a usage error.
#include "ServiceControl.h"

#include <cstdio>
#include <cstring>

namespace {
const char kServiceName[] = "VelraEIO";
}

int main(int argc, char** argv)
{
    const char* cmd = argc == 2 ? argv[1] : "";
    if (!std::strcmp(cmd, "install")) {
        char path[MAX_PATH];
        TbPathBesideExe("VelraEIO.sys", path, sizeof path);
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            return TbReport(path, GetLastError());
        return TbReport("install", TbInstallService(kServiceName, SERVICE_KERNEL_DRIVER, path));
    }
    if (!std::strcmp(cmd, "start"))
        return TbReport("start", TbStartService(kServiceName));
    if (!std::strcmp(cmd, "stop"))
        return TbReport("stop", TbStopService(kServiceName));
    if (!std::strcmp(cmd, "uninstall"))
        return TbReport("uninstall", TbRemoveService(kServiceName));
    std::fprintf(stderr, "usage: tbdriver install|start|stop|uninstall\n");
    return 2;
}
