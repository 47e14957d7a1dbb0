// Threads with a start-up hook.
//
// CreateThread starts a thread that calls InitInstance; when that returns
// FALSE the thread ends at once through ExitInstance, otherwise it runs
// its message loop (Run) until WM_QUIT. An auto-deleting object deletes
// itself when its thread ends; otherwise its creator deletes it, which
// closes the thread handle.
#pragma once
#include "CmdTarget.h"

class CWnd;

class CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread();
    ~CWinThread() override;

    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
    operator HANDLE() const { return m_hThread; }

    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL PumpMessage();
    virtual BOOL OnIdle(LONG lCount);
    virtual void Delete();

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;
    CWnd* m_pMainWnd = nullptr;
    MSG m_msgCur{};

protected:
    DECLARE_MESSAGE_MAP()

private:
    static unsigned __stdcall ThreadEntry(void* pParam);
};

// The CWinThread object of the calling thread (the application object on
// the main thread).
CWinThread* AfxGetThread();
void AfxSetThread(CWinThread* pThread);
