#include "UpdateProgressDlg.h"

#include <string.h>

#include "res/resource.h"

BEGIN_MESSAGE_MAP(CUpdateProgressDlg, CDialog)
END_MESSAGE_MAP()

CUpdateProgressDlg::CUpdateProgressDlg(UINT nTitleId)
    : CDialog(IDD_PROGRESS), m_nTitleId(nTitleId ? nTitleId : IDS_PROGRESS_TITLE)
{
    // A shared icon from the resources: never destroyed.
    m_hWindowIcon = LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON),
                              MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CUpdateProgressDlg::~CUpdateProgressDlg()
{
    if (m_hWnd)
        DestroyWindow();
}

BOOL CUpdateProgressDlg::Create(CWnd* pParentWnd)
{
    m_pParentWnd = GetSafeOwner(pParentWnd);
    if (m_pParentWnd && m_pParentWnd->IsWindowEnabled()) {
        m_pParentWnd->EnableWindow(FALSE);
        m_bOwnerDisabled = TRUE;
    }
    if (!CDialog::Create(IDD_PROGRESS, pParentWnd)) {
        RestoreOwner();
        return FALSE;
    }
    return TRUE;
}

void CUpdateProgressDlg::RestoreOwner()
{
    if (m_bOwnerDisabled && m_pParentWnd)
        m_pParentWnd->EnableWindow(TRUE);
    m_bOwnerDisabled = FALSE;
}

BOOL CUpdateProgressDlg::DestroyWindow()
{
    RestoreOwner();
    return CDialog::DestroyWindow();
}

void CUpdateProgressDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS_BAR, m_barCtrl);
}

BOOL CUpdateProgressDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_barCtrl.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(m_nRangeLow, m_nRangeHigh));
    m_barCtrl.SendMessage(PBM_SETSTEP, m_nStepSize);
    m_barCtrl.SendMessage(PBM_SETPOS, m_nRangeLow);
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hWindowIcon));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hWindowIcon));
    CString title;
    title.LoadString(m_nTitleId);
    SetWindowText(title);
    return TRUE;
}

void CUpdateProgressDlg::OnOK() {}

void CUpdateProgressDlg::OnCancel() {}

void CUpdateProgressDlg::ShowStatusText(LPCSTR lpszText)
{
    if (m_hWnd)
        SetDlgItemTextA(m_hWnd, IDC_STATUS_TEXT, lpszText);
}

void CUpdateProgressDlg::SetBarRange(int nLower, int nUpper)
{
    if (!m_hWnd)
        return;
    m_nRangeLow = nLower;
    m_nRangeHigh = nUpper;
    m_barCtrl.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper));
    m_nBarFilled = FilledWidth();
}

int CUpdateProgressDlg::SetBarPos(int nPos)
{
    if (!m_hWnd)
        return 0;
    ProcessPendingMessages();
    int nOld = int(m_barCtrl.SendMessage(PBM_SETPOS, nPos));
    m_nBarFilled = FilledWidth();
    RefreshPercentText(nPos);
    return nOld;
}

int CUpdateProgressDlg::SetBarStep(int nStep)
{
    if (!m_hWnd)
        return 0;
    m_nStepSize = nStep;
    return int(m_barCtrl.SendMessage(PBM_SETSTEP, nStep));
}

int CUpdateProgressDlg::StepBar()
{
    if (!m_hWnd)
        return 0;
    ProcessPendingMessages();
    // The bar repaints itself at every step, which for thousands of small
    // files costs more than writing them: it steps without drawing, and is
    // drawn again when the length of its filled part changes.
    m_barCtrl.SendMessage(WM_SETREDRAW, FALSE);
    int nOld = int(m_barCtrl.SendMessage(PBM_STEPIT));
    m_barCtrl.SendMessage(WM_SETREDRAW, TRUE);
    int nFilled = FilledWidth();
    if (nFilled != m_nBarFilled) {
        m_nBarFilled = nFilled;
        ::InvalidateRect(m_barCtrl.m_hWnd, nullptr, TRUE);
        m_barCtrl.UpdateWindow();
    }
    RefreshPercentText(nOld + m_nStepSize);
    return nOld;
}

int CUpdateProgressDlg::FilledWidth() const
{
    if (m_nRangeHigh <= m_nRangeLow)
        return 0;
    RECT rc;
    m_barCtrl.GetClientRect(&rc);
    return MulDiv(m_barCtrl.GetPos() - m_nRangeLow, rc.right, m_nRangeHigh - m_nRangeLow);
}

void CUpdateProgressDlg::ProcessPendingMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void CUpdateProgressDlg::RefreshPercentText(int nNewPos)
{
    if (m_nRangeHigh <= m_nRangeLow)
        return;
    int nPercent = (nNewPos - m_nRangeLow) * 100 / (m_nRangeHigh - m_nRangeLow);
    // The bar wraps past its upper bound, and so does the figure; a full
    // bar still reads 100.
    if (nPercent != 100)
        nPercent %= 100;
    CString strText;
    strText.Format("%d%c", nPercent, '%');
    // Compared byte for byte: an unchanged figure is not set again, so the
    // control does not repaint once per file for nothing.
    HWND hPercent = ::GetDlgItem(m_hWnd, IDC_PERCENT_TEXT);
    char szOld[32] = "";
    ::GetWindowTextA(hPercent, szOld, sizeof(szOld));
    if (hPercent && strcmp(szOld, strText) != 0)
        ::SetWindowTextA(hPercent, strText);
}
