// Closing the running programs that hold the targets' files, and stopping
// and starting the media-hub service around the extraction. Programs are
// asked to close by message and given a fixed second; a hung program is not
// waited for. A service that is still starting is waited for before it is
// asked to stop, and one that is still stopping after the stop's pause is
// waited for before the extraction and before it is started again. Windows
// and services let go of their files only when their processes end, which
// can be later still: the processes of the programs that took their close
// request and of the stopped service are waited for too. Every wait is
// bounded.
#include "Handle.h"
#include "UpdateApp.h"
#include "UpdateItem.h"
#include "UpdateProgressDlg.h"

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
// A real service can take seconds to start or stop, and a process to end,
// holding its files until then.
const DWORD kStateWaitLimit = 30000;
const DWORD kStatePoll = 100;
const DWORD kExitWaitLimit = 30000;

// The processes whose windows took a close request, and that of the stopped
// service: the files are free once they have ended.
class Leavers {
public:
    void Add(DWORD dwProcessId)
    {
        if (!dwProcessId || dwProcessId == GetCurrentProcessId())
            return;
        for (int i = 0; i < m_nCount; ++i)
            if (m_ids[i] == dwProcessId)
                return;
        if (m_nCount < kMax)
            m_ids[m_nCount++] = dwProcessId;
    }
    // Waits for each, all within one bound; those that cannot be opened
    // have ended already (or are not ours to wait for).
    void WaitForAll()
    {
        DWORD dwStart = GetTickCount();
        for (int i = 0; i < m_nCount; ++i) {
            CKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, m_ids[i]));
            if (!process)
                continue;
            DWORD dwSpent = GetTickCount() - dwStart;
            WaitForSingleObject(process.Get(), dwSpent < kExitWaitLimit ? kExitWaitLimit - dwSpent : 0);
        }
        m_nCount = 0;
    }

private:
    static const int kMax = 32;
    DWORD m_ids[kMax];
    int m_nCount = 0;
};
Leavers g_leavers;

// The program may ask its user first ("save changes?"): it is allowed to
// come to the foreground for that, which this elevated process holds.
void SendClose(HWND hWnd, UINT message, WPARAM wParam)
{
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    AllowSetForegroundWindow(dwProcessId);
    DWORD_PTR dwResult;
    if (SendMessageTimeoutA(hWnd, message, wParam, 0, kCloseFlags, kCloseTimeout, &dwResult))
        g_leavers.Add(dwProcessId);
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
    CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return FALSE;
    CServiceHandle service(OpenServiceA(manager.Get(), lpszServiceName, SERVICE_ALL_ACCESS));
    return service ? fnAction(service.Get()) : FALSE;
}

bool IsStopPending(DWORD dwState) { return dwState == SERVICE_STOP_PENDING; }
bool IsOtherPending(DWORD dwState)
{
    return dwState == SERVICE_START_PENDING || dwState == SERVICE_CONTINUE_PENDING ||
           dwState == SERVICE_PAUSE_PENDING;
}
// Returns once the service's state is not pending in that way, or after the
// limit. The progress window, when it is up, goes on answering meanwhile.
template <class Pending> void WaitWhile(SC_HANDLE hService, Pending fnPending)
{
    for (DWORD dwStart = GetTickCount();; CUpdateProgressDlg::WaitAnswering(nullptr, kStatePoll)) {
        SERVICE_STATUS status;
        if (!QueryServiceStatus(hService, &status) || !fnPending(status.dwCurrentState))
            return;
        if (GetTickCount() - dwStart >= kStateWaitLimit)
            return;
    }
}

void WaitForServiceStop(LPCSTR lpszServiceName)
{
    WithService(lpszServiceName, [](SC_HANDLE h) {
        WaitWhile(h, IsStopPending);
        return TRUE;
    });
}
}  // namespace

// A service still starting (a delayed start in the first minutes after
// logon) refuses to be stopped: it is waited for first. The process of a
// service of its own is noted, to be waited for once it has stopped.
BOOL StopServiceByName(LPCSTR lpszServiceName)
{
    return WithService(lpszServiceName, [](SC_HANDLE h) {
        WaitWhile(h, IsOtherPending);
        SERVICE_STATUS_PROCESS process;
        DWORD cbNeeded;
        if (QueryServiceStatusEx(h, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process), sizeof(process),
                                 &cbNeeded) &&
            (process.dwServiceType & SERVICE_WIN32_OWN_PROCESS) && process.dwCurrentState != SERVICE_STOPPED)
            g_leavers.Add(process.dwProcessId);
        SERVICE_STATUS status;
        return ControlService(h, SERVICE_CONTROL_STOP, &status);
    });
}

BOOL StartServiceByName(LPCSTR lpszServiceName)
{
    // A start request while the service is still stopping fails.
    return WithService(lpszServiceName, [](SC_HANDLE h) {
        WaitWhile(h, IsStopPending);
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
    g_leavers.WaitForAll();
}

void CUpdateApp::RestartTargetServices()
{
    for (POSITION pos = m_updateList.GetHeadPosition(); pos;) {
        const CUpdateItem* pItem = static_cast<CUpdateItem*>(m_updateList.GetNext(pos));
        if (pItem->m_nAppType == APPTYPE_SERVICE)
            StartServiceByName(kServiceName);
    }
}
