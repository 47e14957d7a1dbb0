// The application object and the program's start-up.
//
// Each program defines exactly one global object of a CWinApp subclass.
// WinMain (AppMain.cpp) sets the instance handle, the command line (the
// text after the program name, leading blanks skipped) and the application
// title (string 57344 unless the constructor named one), then calls
// InitInstance: TRUE runs the message loop, FALSE ends the program. Either
// way ExitInstance runs last and its result is the process exit code.
//
// Settings: after SetRegistryKey("Maker") the profile functions keep
// values under HKEY_CURRENT_USER\Software\Maker\<application title>\<section>
// (an empty section is that key itself). The keys are created on the first
// read as well as on the first write; without a registry key the profile
// functions read defaults and write nothing.
#pragma once
#include "CString.h"
#include "WinThread.h"

#define AFX_IDS_APP_TITLE 0xE000

class CWinApp : public CWinThread {
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    LPCSTR m_pszAppName = nullptr;   // application title, heap copy
    HINSTANCE m_hInstance = nullptr;
    LPSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;

    int ExitInstance() override;
    virtual int DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt);

    // The framework's three-dimensional control styling: the system draws
    // controls that way already.
    BOOL Enable3dControls() { return TRUE; }

    void SetRegistryKey(LPCSTR lpszRegistryKey);
    // nDefault when the value is missing or is not a REG_DWORD.
    UINT GetProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nDefault);
    // Stores a REG_DWORD; TRUE when the registry took it.
    BOOL WriteProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nValue);

    LPCSTR m_pszRegistryKey = nullptr;  // heap copies
    LPCSTR m_pszProfileName = nullptr;

protected:
    // The open section key (the caller closes it), or null.
    HKEY GetSectionKey(LPCSTR lpszSection) const;

    DECLARE_MESSAGE_MAP()
};

struct AFX_MODULE_STATE {
    HINSTANCE m_hCurrentInstanceHandle;
    HINSTANCE m_hCurrentResourceHandle;
};

CWinApp* AfxGetApp();
AFX_MODULE_STATE* AfxGetModuleState();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);

// Sets the module handles, the command line and the title; WinMain calls it,
// and so may a test program that constructs an application object itself.
BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
// The argument text of a command line as the C start-up code computes it:
// the program name (quoted or not) and the blanks after it skipped.
LPSTR AfxSkipProgramName(LPSTR lpszCommandLine);

// Modal message box with a string resource as text and the application
// title as caption.
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = UINT(-1));
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

BOOL AfxOleInit();

// A library of the system folder, loaded by its full path with the altered
// search (its own imports are looked for beside it too): never a file of
// that name planted beside the program or in the current folder, which a
// plain name would search first. Null when the system folder has none.
HMODULE AfxLoadSystemLibrary(LPCSTR lpszFileName);
// A function of such a library, of the given type; null when there is none.
// For the libraries that only some runs need: importing them would load
// them, and all they bring, at every start.
template <class F> F AfxGetSystemProc(LPCSTR lpszLibrary, LPCSTR lpszName)
{
    HMODULE hLib = AfxLoadSystemLibrary(lpszLibrary);
    return hLib ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(hLib, lpszName))) : nullptr;
}

// Registers a window class unless this module registered it already.
BOOL AfxRegisterClass(WNDCLASSA* lpWndClass);
// Containers for embedded controls: nothing here hosts any, so there is
// nothing to set up.
inline void AfxEnableControlContainer() {}
