// Closing the running programs that hold the targets' files, and stopping
// and starting the media-hub service around the extraction. Programs are
// asked to close by message and given a fixed second; nothing checks that
// they ended, and service results are not looked at. A hung program is not
// waited for; a service that is still stopping is waited for (bounded)
// after the stop's pause and before it is started again.
#include "UpdateApp.h"
#include "UpdateItem.h"

namespace {
const char kRingWndClass[] = "VelraLumoRingWnd";
const char kMediaHub[] = "VelraHomedeck";
const char kViewer[] = "VelraLumoView";
const char kCompanion[] = "PADWIN";
const char kLedUtilityClass[] = "VelraLEDUtility";
const char kServiceName[] = "velsvc_s";
const DWORD kPause = 1000;
// A program that answers, even after asking its user, is waited for; one
// whose thread no longer takes its messages is not.
const UINT kCloseFlags = SMTO_ABORTIFHUNG;
const UINT kCloseTimeout = 5 * 60 * 1000;
// A real service can take seconds to exit, holding its files until then.
const DWORD kStopWaitLimit = 30000;
const DWORD kStopPoll = 100;

struct ScHandle {
    SC_HANDLE h;
    ~ScHandle()
    {
        if (h)
            CloseServiceHandle(h);
    }
};

void SendClose(HWND hWnd, UINT message, WPARAM wParam)
{
    DWORD_PTR dwResult;
    SendMessageTimeoutA(hWnd, message, wParam, 0, kCloseFlags, kCloseTimeout, &dwResult);
}

void CloseCompanion()
{
    if (HWND hWnd = FindWindowA(kCompanion, kCompanion)) {
        SendClose(hWnd, WM_CLOSE, 0);
        Sleep(kPause);
    }
}

// The family's ring window is asked first; the main window only when no
// ring window is up, and then a ring window that its closing brought up.
void CloseApplicationFamily(LPCSTR lpszMainWindow)
{
    HWND hRing = FindWindowA(kRingWndClass, nullptr);
    if (!hRing) {
        if (HWND hMain = FindWindowA(lpszMainWindow, lpszMainWindow)) {
            SendClose(hMain, WM_SYSCOMMAND, SC_CLOSE);
            Sleep(kPause);
            hRing = FindWindowA(kRingWndClass, nullptr);
        }
    }
    if (hRing)
        SendClose(hRing, WM_SYSCOMMAND, SC_CLOSE);
    Sleep(kPause);
    CloseCompanion();
}

// fnAction gets the open service and gives the call's result.
template <class Action> BOOL WithService(LPCSTR lpszServiceName, Action fnAction)
{
    ScHandle manager{OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    if (!manager.h)
        return FALSE;
    ScHandle service{OpenServiceA(manager.h, lpszServiceName, SERVICE_ALL_ACCESS)};
    return service.h ? fnAction(service.h) : FALSE;
}

// Returns once the service is no longer stopping, or after the limit.
void WaitWhileStopping(SC_HANDLE hService)
{
    for (DWORD dwStart = GetTickCount();; Sleep(kStopPoll)) {
        SERVICE_STATUS status;
        if (!QueryServiceStatus(hService, &status) || status.dwCurrentState != SERVICE_STOP_PENDING)
            return;
        if (GetTickCount() - dwStart >= kStopWaitLimit)
            return;
    }
}

void WaitForServiceStop(LPCSTR lpszServiceName)
{
    WithService(lpszServiceName, [](SC_HANDLE h) {
        WaitWhileStopping(h);
        return TRUE;
    });
}
}  // namespace

BOOL StopServiceByName(LPCSTR lpszServiceName)
{
    return WithService(lpszServiceName, [](SC_HANDLE h) {
        SERVICE_STATUS status;
        return ControlService(h, SERVICE_CONTROL_STOP, &status);
    });
}

BOOL StartServiceByName(LPCSTR lpszServiceName)
{
    // A start request while the service is still stopping fails.
    return WithService(lpszServiceName, [](SC_HANDLE h) {
        WaitWhileStopping(h);
        return StartServiceA(h, 0, nullptr);
    });
}

void CUpdateApp::CloseRunningTargets()
{
    for (POSITION pos = m_updateList.GetHeadPosition(); pos;) {
        const CUpdateItem* pItem = static_cast<CUpdateItem*>(m_updateList.GetNext(pos));
        switch (pItem->m_nAppType) {
        case APPTYPE_MEDIAHUB:
            CloseApplicationFamily(kMediaHub);
            break;
        case APPTYPE_VIEWER:
            CloseApplicationFamily(kViewer);
            break;
        case APPTYPE_SERVICE:
            CloseCompanion();
            StopServiceByName(kServiceName);
            Sleep(kPause);
            // Its files stay in use until it has stopped.
            WaitForServiceStop(kServiceName);
            break;
        case APPTYPE_LEDUTILITY:
            if (HWND hWnd = FindWindowA(kLedUtilityClass, nullptr)) {
                SendClose(hWnd, WM_CLOSE, 0);
                Sleep(kPause);
            }
            break;
        default:
            break;
        }
    }
}

void CUpdateApp::RestartTargetServices()
{
    for (POSITION pos = m_updateList.GetHeadPosition(); pos;) {
        const CUpdateItem* pItem = static_cast<CUpdateItem*>(m_updateList.GetNext(pos));
        if (pItem->m_nAppType == APPTYPE_SERVICE)
            StartServiceByName(kServiceName);
    }
}
