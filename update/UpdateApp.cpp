#include "UpdateApp.h"

#include <stdlib.h>
#include <string.h>

#include <new>

#include "ExtractCabinet.h"
#include "PackageVault.h"
#include "UpdateItem.h"
#include "UpdateProgressDlg.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(CUpdateApp, CWinApp)
END_MESSAGE_MAP()

BOOL CUpdateApp::InitInstance()
{
    // The library search and the error mode were set before any of the
    // program's code ran (the framework's start-up defences).

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

    CString strPreparing;
    strPreparing.LoadString(IDS_PREPARING);
    // Every package is taken before the first is extracted, so that none
    // can be changed in the meantime; one that is not the maker's gives a
    // path of nothing and fails in its turn.
    CPackageVault* pVault = m_pbPackagePin ? new (std::nothrow) CPackageVault(m_pbPackagePin) : nullptr;
    if (m_pbPackagePin) {
        dlg.ShowStatusText(strPreparing);
        for (POSITION pos = m_updateList.GetHeadPosition(); pos;) {
            CUpdateItem* pItem = static_cast<CUpdateItem*>(m_updateList.GetNext(pos));
            pItem->m_strPackagePath = pVault ? pVault->Take(pItem->m_strPackagePath) : CString();
        }
    }

    BOOL bFailed = FALSE;
    for (POSITION pos = m_updateList.GetHeadPosition(); pos;) {
        CUpdateItem* pItem = static_cast<CUpdateItem*>(m_updateList.GetNext(pos));
        dlg.ShowStatusText(strPreparing);
        BOOL bExtracted =
            !pItem->m_strPackagePath.IsEmpty() && ExtractCabinet(pItem->m_strPackagePath, pItem->m_strTargetFolder);
        // The window paints at display rate: the package's last state goes on
        // screen now, before the next package or a box.
        dlg.PaintNow();
        if (!bExtracted) {
            AfxMessageBox(IDS_EXTRACT_FAILED, MB_OK);
            bFailed = TRUE;
        }
    }

    delete pVault;
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
