// Service Control Manager helpers (see ServiceControl.h).
#include "ServiceControl.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE h) : h_(h) {}
    ~ScHandle()
    {
        if (h_)
            CloseServiceHandle(h_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    operator SC_HANDLE() const { return h_; }
    bool operator!() const { return h_ == nullptr; }

private:
    SC_HANDLE h_;
};

const DWORD kWaitMs = 15000;
const DWORD kPollMs = 20;

DWORD WaitForState(SC_HANDLE svc, DWORD wanted)
{
    for (DWORD waited = 0;; waited += kPollMs) {
        SERVICE_STATUS st;
        if (!QueryServiceStatus(svc, &st))
            return GetLastError();
        if (st.dwCurrentState == wanted)
            return ERROR_SUCCESS;
        if (wanted == SERVICE_RUNNING && st.dwCurrentState == SERVICE_STOPPED)
            return st.dwWin32ExitCode ? st.dwWin32ExitCode : ERROR_SERVICE_NOT_ACTIVE;
        if (waited >= kWaitMs)
            return ERROR_SERVICE_REQUEST_TIMEOUT;
        Sleep(kPollMs);
    }
}

SC_HANDLE OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

}  // namespace

DWORD TbInstallService(const char* name, DWORD serviceType, const char* binaryPath, const char* args)
{
    // The SCM splits an unquoted own-process path at the first space; a
    // driver's ImagePath is taken verbatim, so it must stay unquoted.
    std::string path = serviceType == SERVICE_KERNEL_DRIVER ? std::string(binaryPath)
                                                            : "\"" + std::string(binaryPath) + "\"" +
                                                                  (args ? std::string(" ") + args : "");
    ScHandle scm(OpenManager());
    if (!scm)
        return GetLastError();
    ScHandle svc(CreateServiceA(scm, name, name, SERVICE_ALL_ACCESS, serviceType,
                                SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(), nullptr,
                                nullptr, nullptr, nullptr, nullptr));
    if (svc)
        return ERROR_SUCCESS;
    DWORD err = GetLastError();
    if (err != ERROR_SERVICE_EXISTS)
        return err;
    ScHandle existing(OpenServiceA(scm, name, SERVICE_ALL_ACCESS));
    if (!existing)
        return GetLastError();
    if (!ChangeServiceConfigA(existing, serviceType, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        return GetLastError();
    return ERROR_SUCCESS;
}

DWORD TbStartService(const char* name)
{
    ScHandle scm(OpenManager());
    if (!scm)
        return GetLastError();
    ScHandle svc(OpenServiceA(scm, name, SERVICE_START | SERVICE_QUERY_STATUS));
    if (!svc)
        return GetLastError();
    if (!StartServiceA(svc, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return GetLastError();
    return WaitForState(svc, SERVICE_RUNNING);
}

DWORD TbStopService(const char* name)
{
    ScHandle scm(OpenManager());
    if (!scm)
        return GetLastError();
    ScHandle svc(OpenServiceA(scm, name, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!svc)
        return GetLastError();
    SERVICE_STATUS st;
    if (!ControlService(svc, SERVICE_CONTROL_STOP, &st) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        return GetLastError();
    return WaitForState(svc, SERVICE_STOPPED);
}

DWORD TbRemoveService(const char* name)
{
    DWORD err = TbStopService(name);
    if (err == ERROR_SERVICE_DOES_NOT_EXIST)
        return ERROR_SUCCESS;
    if (err != ERROR_SUCCESS)
        return err;
    ScHandle scm(OpenManager());
    if (!scm)
        return GetLastError();
    ScHandle svc(OpenServiceA(scm, name, DELETE));
    if (!svc)
        return GetLastError();
    if (!DeleteService(svc) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return GetLastError();
    return ERROR_SUCCESS;
}

void TbPathBesideExe(const char* fileName, char* path, DWORD size)
{
    DWORD n = GetModuleFileNameA(nullptr, path, size);
    while (n > 0 && path[n - 1] != '\\' && path[n - 1] != '/')
        --n;
    path[n] = '\0';
    if (n + std::strlen(fileName) < size)
        std::strcat(path, fileName);
}

int TbReport(const char* what, DWORD error)
{
    if (error == ERROR_SUCCESS)
        return 0;
    char msg[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   msg, sizeof msg, nullptr);
    std::fprintf(stderr, "%s: error %lu %s\n", what, error, msg);
    return 1;
}
