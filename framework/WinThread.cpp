#include "WinThread.h"

#include <process.h>

#include "Menu.h"
#include "Wnd.h"

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinThread, CCmdTarget)
END_MESSAGE_MAP()

namespace {
thread_local CWinThread* t_pThread = nullptr;
}

CWinThread* AfxGetThread() { return t_pThread; }
void AfxSetThread(CWinThread* pThread) { t_pThread = pThread; }

CWinThread::CWinThread() = default;

CWinThread::~CWinThread()
{
    if (m_hThread)
        ::CloseHandle(m_hThread);
}

unsigned __stdcall CWinThread::ThreadEntry(void* pParam)
{
    CWinThread* pThread = static_cast<CWinThread*>(pParam);
    t_pThread = pThread;
    int nResult = pThread->InitInstance() ? pThread->Run() : pThread->ExitInstance();
    if (pThread->m_bAutoDelete)
        pThread->Delete();
    t_pThread = nullptr;
    CWnd::DeleteThreadState();
    CMenu::DeleteThreadState();
    return unsigned(nResult);
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES lpSecurityAttrs)
{
    // Started suspended so that m_hThread is set before the thread can
    // delete an auto-deleting object.
    unsigned nThreadID = 0;
    uintptr_t h = _beginthreadex(lpSecurityAttrs, nStackSize, &ThreadEntry, this,
                                 dwCreateFlags | CREATE_SUSPENDED, &nThreadID);
    if (!h)
        return FALSE;
    m_hThread = reinterpret_cast<HANDLE>(h);
    m_nThreadID = nThreadID;
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        ::ResumeThread(m_hThread);
    return TRUE;
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::ExitInstance() { return int(m_msgCur.wParam); }

void CWinThread::Delete() { delete this; }

BOOL CWinThread::OnIdle(LONG)
{
    CWnd::DeleteTempMap();
    CMenu::DeleteTempMap();
    return FALSE;
}

BOOL CWinThread::PreTranslateMessage(MSG* pMsg)
{
    // Give each window from the target up to the top a chance (dialogs take
    // their navigation keys here).
    for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
        CWnd* pWnd = CWnd::FromHandlePermanent(h);
        if (pWnd && pWnd->PreTranslateMessage(pMsg))
            return TRUE;
        if (!(::GetWindowLongA(h, GWL_STYLE) & WS_CHILD))
            break;
    }
    return FALSE;
}

BOOL CWinThread::PumpMessage()
{
    if (!::GetMessageA(&m_msgCur, nullptr, 0, 0))
        return FALSE;
    if (!PreTranslateMessage(&m_msgCur)) {
        ::TranslateMessage(&m_msgCur);
        ::DispatchMessageA(&m_msgCur);
    }
    return TRUE;
}

int CWinThread::Run()
{
    for (;;) {
        MSG msg;
        LONG lIdleCount = 0;
        while (!::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) && OnIdle(lIdleCount++)) {
        }
        do {
            if (!PumpMessage())
                return ExitInstance();
        } while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    }
}
