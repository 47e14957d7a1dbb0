#include "WinApp.h"

#include <objbase.h>
#include <ole2.h>
#include <stdlib.h>
#include <string.h>

#include "Handle.h"
#include "Wnd.h"

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
END_MESSAGE_MAP()

namespace {
CWinApp* g_pApp = nullptr;
AFX_MODULE_STATE g_moduleState = {nullptr, nullptr};
void(WINAPI* g_pfnOleUninitialize)() = nullptr;  // once OLE is up
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
    free(const_cast<char*>(m_pszRegistryKey));
    m_pszRegistryKey = nullptr;
    free(const_cast<char*>(m_pszProfileName));
    m_pszProfileName = nullptr;
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

int CWinApp::ExitInstance()
{
    if (g_pfnOleUninitialize) {
        g_pfnOleUninitialize();
        g_pfnOleUninitialize = nullptr;
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
    if (!pApp->InitInstance())
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
    if (g_pfnOleUninitialize)
        return TRUE;
    auto pfnInitialize = AfxGetSystemProc<decltype(&::OleInitialize)>("ole32.dll", "OleInitialize");
    if (!pfnInitialize || FAILED(pfnInitialize(nullptr)))
        return FALSE;
    g_pfnOleUninitialize = AfxGetSystemProc<decltype(&::OleUninitialize)>("ole32.dll", "OleUninitialize");
    return TRUE;
}

namespace {
LONG CreateSubKey(HKEY hParent, LPCSTR lpszName, HKEY* phKey)
{
    return ::RegCreateKeyExA(hParent, lpszName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                             nullptr, phKey, nullptr);
}
}  // namespace

void CWinApp::SetRegistryKey(LPCSTR lpszRegistryKey)
{
    free(const_cast<char*>(m_pszRegistryKey));
    m_pszRegistryKey = _strdup(lpszRegistryKey);
    free(const_cast<char*>(m_pszProfileName));
    m_pszProfileName = m_pszAppName ? _strdup(m_pszAppName) : nullptr;
}

HKEY CWinApp::GetSectionKey(LPCSTR lpszSection) const
{
    if (!m_pszRegistryKey || !m_pszProfileName)
        return nullptr;
    CRegKey soft, company, app;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ | KEY_WRITE, soft.Out()) != ERROR_SUCCESS ||
        CreateSubKey(soft.Get(), m_pszRegistryKey, company.Out()) != ERROR_SUCCESS ||
        CreateSubKey(company.Get(), m_pszProfileName, app.Out()) != ERROR_SUCCESS)
        return nullptr;
    HKEY hSection = nullptr;
    if (CreateSubKey(app.Get(), lpszSection, &hSection) != ERROR_SUCCESS)
        return nullptr;
    return hSection;
}

UINT CWinApp::GetProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nDefault)
{
    CRegKey key(GetSectionKey(lpszSection));
    if (!key)
        return UINT(nDefault);
    DWORD dwType = 0, dwValue = 0, cb = sizeof(dwValue);
    // Anything but a four-byte DWORD would leave dwValue half written.
    if (::RegQueryValueExA(key.Get(), lpszEntry, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cb) !=
            ERROR_SUCCESS ||
        dwType != REG_DWORD || cb != sizeof(dwValue))
        return UINT(nDefault);
    return dwValue;
}

BOOL CWinApp::WriteProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nValue)
{
    CRegKey key(GetSectionKey(lpszSection));
    if (!key)
        return FALSE;
    DWORD dwValue = DWORD(nValue);
    return ::RegSetValueExA(key.Get(), lpszEntry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                            sizeof(dwValue)) == ERROR_SUCCESS;
}

BOOL AfxRegisterClass(WNDCLASSA* lpWndClass)
{
    WNDCLASSA wc;
    if (::GetClassInfoA(lpWndClass->hInstance, lpWndClass->lpszClassName, &wc))
        return TRUE;
    return ::RegisterClassA(lpWndClass) != 0;
}

HMODULE AfxLoadSystemLibrary(LPCSTR lpszFileName)
{
    char szPath[MAX_PATH];
    UINT n = ::GetSystemDirectoryA(szPath, MAX_PATH);
    if (n == 0 || n + 1 + lstrlenA(lpszFileName) >= MAX_PATH)
        return nullptr;
    if (szPath[n - 1] != '\\')
        szPath[n++] = '\\';
    lstrcpyA(szPath + n, lpszFileName);
    return ::LoadLibraryExA(szPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
