// velsvc_s.exe — stand-in for the media hub's Windows service.
//
// Run by the SCM it reports SERVICE_RUNNING and idles until told to stop,
// logging "velsvc_s start" and "velsvc_s stop" so tests can see that the
// updater stopped and restarted it. Like a real service it takes a while to
// stop: told to, it logs "velsvc_s stopping", reports SERVICE_STOP_PENDING
// and only kStopMs later logs "velsvc_s stop" and reports SERVICE_STOPPED;
// its process (and so its program file) lives until then. From a command
// line:
//   velsvc_s.exe --install | --install-slow | --uninstall | --start | --stop
// registers itself (own full path, own process, demand start), removes
// itself, or starts/stops the installed service, waiting for the new state.
// Installed slow, it runs as "velsvc_s.exe --slow": it logs "velsvc_s
// starting" and stays SERVICE_START_PENDING for kSlowMs before it runs, as
// a delayed service does in the minutes after logon, and its process lives
// on for kSlowMs after it reported SERVICE_STOPPED, then logs "velsvc_s
// exit".
#include "EventLog.h"
#include "ServiceControl.h"

#include <cstdio>
#include <cstring>

namespace {

char kServiceName[] = "velsvc_s";
// Long enough that the updater's fixed second after its stop request ends
// well before the service has stopped; short enough for the tests.
const DWORD kStopMs = 2000;
const DWORD kSlowMs = 1500;
bool g_bSlow;

SERVICE_STATUS_HANDLE g_status;
HANDLE g_stopEvent;

void Report(DWORD state)
{
    SERVICE_STATUS st = {};
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    st.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? kStopMs + 1000 : 0;
    SetServiceStatus(g_status, &st);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        // A second request while stopping is refused by the SCM itself
        // (no controls are accepted in STOP_PENDING).
        TbLogEvent(kServiceName, "stopping");
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, char**)
{
    g_status = RegisterServiceCtrlHandlerExA(kServiceName, Handler, nullptr);
    if (!g_status)
        return;
    g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_START_PENDING);
    if (g_bSlow) {
        TbLogEvent(kServiceName, "starting");
        Sleep(kSlowMs);
    }
    // Logged before the state changes, so whoever waits for RUNNING (or
    // STOPPED below) already finds the line in the log.
    TbLogEvent(kServiceName, "start");
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stopEvent, INFINITE);
    Sleep(kStopMs);
    TbLogEvent(kServiceName, "stop");
    Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* cmd = argc == 2 ? argv[1] : nullptr;
    g_bSlow = cmd && !std::strcmp(cmd, "--slow");
    if (!cmd || g_bSlow) {
        SERVICE_TABLE_ENTRYA table[] = {{kServiceName, ServiceMain}, {nullptr, nullptr}};
        if (StartServiceCtrlDispatcherA(table)) {
            if (g_bSlow) {
                Sleep(kSlowMs);
                TbLogEvent(kServiceName, "exit");
            }
            return 0;
        }
        std::fprintf(stderr, "velsvc_s: run by the SCM, or use "
                             "--install|--uninstall|--start|--stop\n");
        return 2;
    }
    if (!std::strcmp(cmd, "--install") || !std::strcmp(cmd, "--install-slow")) {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, sizeof path);
        return TbReport("install", TbInstallService(kServiceName, SERVICE_WIN32_OWN_PROCESS, path,
                                                    cmd[9] ? "--slow" : nullptr));
    }
    if (!std::strcmp(cmd, "--uninstall"))
        return TbReport("uninstall", TbRemoveService(kServiceName));
    if (!std::strcmp(cmd, "--start"))
        return TbReport("start", TbStartService(kServiceName));
    if (!std::strcmp(cmd, "--stop"))
        return TbReport("stop", TbStopService(kServiceName));
    std::fprintf(stderr, "usage: velsvc_s --install|--install-slow|--uninstall|--start|--stop\n");
    return 2;
}
