#include "UpdateApp.h"

#include <stdlib.h>
#include <string.h>

#include "ExtractCabinet.h"
#include "UpdateItem.h"
#include "UpdateProgressDlg.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CUpdateApp, CWinApp)
END_MESSAGE_MAP()

namespace {
// The updater runs elevated, usually from a download folder where anyone can
// leave a file. Before OLE, the shell or a dialog loads anything, the search
// for libraries loaded by name is narrowed to the system folder where the
// system allows it (Windows 8 on, Vista and 7 with the update that added
// SetDefaultDllDirectories); elsewhere at least the current directory leaves
// the search (XP SP1 on). Both are looked up, since XP lacks the first.
void HardenLibrarySearch()
{
    const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE hKernel = ::GetModuleHandleA("KERNEL32.DLL");
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    SetDefaultDllDirectoriesFn pfnDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(hKernel, "SetDefaultDllDirectories")));
    if (pfnDefault && pfnDefault(kSearchSystem32))
        return;
    SetDllDirectoryFn pfnSet = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(::GetProcAddress(hKernel, "SetDllDirectoryA")));
    if (pfnSet)
        pfnSet("");
}
}  // namespace

BOOL CUpdateApp::InitInstance()
{
    HardenLibrarySearch();
    // Probing a target on an empty removable drive must fail quietly, not
    // stop the run with the system's "no disk" box.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    // OLE is started by the first shortcut probe that needs it (BuildUpdateList),
    // not here: a run whose packages are found otherwise never pays for it.

    if (m_lpCmdLine && lstrlenA(m_lpCmdLine) != 0) {
        CString title;
        title.LoadString(IDS_DRIVER_UPDATE_TITLE);
        free(const_cast<char*>(m_pszAppName));
        m_pszAppName = _strdup(title);
    }

    Enable3dControls();

    if (!BuildUpdateList()) {
        AfxMessageBox(IDS_NOT_INSTALLED, MB_OK);
        m_nExitCode = EXIT_NOTHING_TO_DO;
        return FALSE;
    }

    CloseRunningTargets();

    CUpdateProgressDlg dlg(0);
    m_pMainWnd = &dlg;
    g_pProgressDlg = &dlg;
    dlg.Create(nullptr);
    // Until the service runs again, an end of the session would leave a
    // package half applied and the service stopped.
    dlg.HoldSession(TRUE);

    BOOL bFailed = FALSE;
    for (POSITION pos = m_updateList.GetHeadPosition(); pos;) {
        CUpdateItem* pItem = static_cast<CUpdateItem*>(m_updateList.GetNext(pos));
        CString status;
        status.LoadString(IDS_PREPARING);
        dlg.ShowStatusText(status);
        BOOL bExtracted = ExtractCabinet(pItem->m_strPackagePath, pItem->m_strTargetFolder);
        // The window paints at display rate: the package's last state goes on
        // screen now, before the next package or a box.
        dlg.PaintNow();
        if (!bExtracted) {
            AfxMessageBox(IDS_EXTRACT_FAILED, MB_OK);
            bFailed = TRUE;
        }
    }

    RestartTargetServices();
    dlg.HoldSession(FALSE);

    for (POSITION pos = m_updateList.GetHeadPosition(); pos;)
        delete static_cast<CUpdateItem*>(m_updateList.GetNext(pos));

    if (!bFailed) {
        dlg.PaintNow();
        AfxMessageBox(IDS_UPDATE_DONE, MB_OK);
    }
    m_nExitCode = bFailed ? EXIT_FAILED : EXIT_UPDATED;

    dlg.DestroyWindow();
    // Destroying the window clears the main-window pointer, but a window
    // that was never created leaves it naming this soon-gone object.
    m_pMainWnd = nullptr;
    g_pProgressDlg = nullptr;
    return FALSE;
}

int CUpdateApp::ExitInstance()
{
    CWinApp::ExitInstance();
    return m_nExitCode;
}
