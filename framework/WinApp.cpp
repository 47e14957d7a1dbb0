#include "WinApp.h"

#include <objbase.h>
#include <ole2.h>
#include <stdlib.h>
#include <string.h>

#include "Wnd.h"

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
END_MESSAGE_MAP()

namespace {
CWinApp* g_pApp = nullptr;
AFX_MODULE_STATE g_moduleState = {nullptr, nullptr};
BOOL g_bOleInit = FALSE;
}  // namespace

CWinApp::CWinApp(LPCSTR lpszAppName)
{
    m_pszAppName = lpszAppName ? _strdup(lpszAppName) : nullptr;
    g_pApp = this;
    AfxSetThread(this);
}

CWinApp::~CWinApp()
{
    free(const_cast<char*>(m_pszAppName));
    m_pszAppName = nullptr;
    if (g_pApp == this)
        g_pApp = nullptr;
    if (AfxGetThread() == this)
        AfxSetThread(nullptr);
    // The main thread's handle is not ours to close.
    m_hThread = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }
AFX_MODULE_STATE* AfxGetModuleState() { return &g_moduleState; }
HINSTANCE AfxGetInstanceHandle() { return g_moduleState.m_hCurrentInstanceHandle; }
HINSTANCE AfxGetResourceHandle() { return g_moduleState.m_hCurrentResourceHandle; }
HINSTANCE AfxFindResourceHandle(LPCSTR, LPCSTR) { return g_moduleState.m_hCurrentResourceHandle; }

BOOL CWinApp::InitApplication() { return TRUE; }

int CWinApp::ExitInstance()
{
    if (g_bOleInit) {
        ::OleUninitialize();
        g_bOleInit = FALSE;
    }
    return CWinThread::ExitInstance();
}

LPSTR AfxSkipProgramName(LPSTR p)
{
    if (*p == '"') {
        while (*++p && *p != '"') {
        }
        if (*p == '"')
            ++p;
    } else {
        while (static_cast<unsigned char>(*p) > ' ')
            ++p;
    }
    while (*p && static_cast<unsigned char>(*p) <= ' ')
        ++p;
    return p;
}

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow)
{
    g_moduleState.m_hCurrentInstanceHandle = hInstance;
    g_moduleState.m_hCurrentResourceHandle = hInstance;
    CWinApp* pApp = AfxGetApp();
    if (pApp) {
        pApp->m_hInstance = hInstance;
        pApp->m_lpCmdLine = lpCmdLine;
        pApp->m_nCmdShow = nCmdShow;
        pApp->m_hThread = ::GetCurrentThread();
        pApp->m_nThreadID = ::GetCurrentThreadId();
        if (!pApp->m_pszAppName) {
            CString title;
            if (!title.LoadString(AFX_IDS_APP_TITLE)) {
                // No title string: the executable's base name.
                char path[MAX_PATH];
                DWORD n = ::GetModuleFileNameA(hInstance, path, MAX_PATH);
                path[n < MAX_PATH ? n : MAX_PATH - 1] = 0;
                char* pName = strrchr(path, '\\');
                pName = pName ? pName + 1 : path;
                if (char* pDot = strrchr(pName, '.'))
                    *pDot = 0;
                title = pName;
            }
            pApp->m_pszAppName = _strdup(title);
        }
    }
    return TRUE;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp || !AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow))
        return -1;
    int nReturnCode;
    if (!pApp->InitApplication() || !pApp->InitInstance())
        nReturnCode = pApp->ExitInstance();
    else
        nReturnCode = pApp->Run();
    CWnd::DeleteTempMap();
    return nReturnCode;
}

int CWinApp::DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT)
{
    HWND hWndTop = nullptr;
    CWnd* pOwner = CWnd::GetSafeOwner(nullptr, &hWndTop);
    HWND hOwner = pOwner ? pOwner->m_hWnd : nullptr;
    if (hOwner && !::IsWindowVisible(hOwner))
        hOwner = nullptr;
    // The framework gives a box that asks for no icon the icon its buttons
    // suggest.
    if ((nType & MB_ICONMASK) == 0) {
        switch (nType & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
            nType |= MB_ICONEXCLAMATION;
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            nType |= MB_ICONQUESTION;
            break;
        default:
            break;
        }
    }
    return ::MessageBoxA(hOwner, lpszPrompt, m_pszAppName, nType);
}

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp)
{
    CWinApp* pApp = AfxGetApp();
    if (pApp)
        return pApp->DoMessageBox(lpszText, nType, nIDHelp);
    return ::MessageBoxA(nullptr, lpszText, nullptr, nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    CString text;
    text.LoadString(nIDPrompt);
    if (nIDHelp == UINT(-1))
        nIDHelp = nIDPrompt;
    return AfxMessageBox(text, nType, nIDHelp);
}

BOOL AfxOleInit()
{
    if (g_bOleInit)
        return TRUE;
    g_bOleInit = SUCCEEDED(::OleInitialize(nullptr));
    return g_bOleInit;
}
