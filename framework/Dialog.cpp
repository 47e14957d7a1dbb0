#include "Dialog.h"

#include "WinApp.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

namespace {
// Once per process, before the first dialog: the classes of the common
// controls that the programs' dialogs hold. The library is no Known DLL,
// so it comes from the system folder by its full path.
void RegisterDialogControls()
{
    static const BOOL bRegistered = [] {
        auto pfnInit =
            AfxGetSystemProc<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>("comctl32.dll", "InitCommonControlsEx");
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
        return pfnInit ? pfnInit(&icc) : FALSE;
    }();
    (void)bRegistered;
}
}  // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM)
{
    // Everything but WM_INITDIALOG has already passed the message maps on
    // its way here (AfxWndProc runs before the dialog manager's procedure).
    if (message == WM_INITDIALOG) {
        CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
        if (pWnd && pWnd->IsKindOf(RUNTIME_CLASS(CDialog)))
            return static_cast<CDialog*>(pWnd)->OnInitDialog();
        return TRUE;
    }
    return FALSE;
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd)
{
    m_nIDHelp = nIDTemplate;
    if (!m_pParentWnd)
        m_pParentWnd = pParentWnd;
    RegisterDialogControls();
    AfxHookWindowCreate(this);
    HWND hWnd = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nIDTemplate),
                                     pParentWnd ? pParentWnd->m_hWnd : nullptr, AfxDlgProc, 0);
    // A dialog that never got a window (no template, say) has seen no
    // WM_NCDESTROY; one whose window failed later has, and is gone already.
    if (!AfxUnhookWindowCreate())
        PostNcDestroy();
    return hWnd != nullptr;
}

INT_PTR CDialog::DoModal()
{
    // The system's modal loop: it disables the owner and dispatches the
    // other windows' messages while the dialog runs.
    CWnd* pOwner = m_pParentWnd ? m_pParentWnd : CWnd::GetSafeOwner(nullptr);
    RegisterDialogControls();
    AfxHookWindowCreate(this);
    INT_PTR nResult = ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDHelp),
                                        pOwner ? pOwner->m_hWnd : nullptr, AfxDlgProc, 0);
    AfxUnhookWindowCreate();
    return nResult;
}

void CDialog::EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    // Modeless dialogs get their keyboard navigation from the thread's loop.
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST)
        return ::IsDialogMessageA(m_hWnd, pMsg);
    return FALSE;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd)
        return;
    HWND hWndCtrl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (hWndCtrl)
        rControl.SubclassWindow(hWndCtrl);
}
