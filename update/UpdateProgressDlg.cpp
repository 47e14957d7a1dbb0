#include "UpdateProgressDlg.h"

#include <string.h>

#include <initializer_list>

#include "res/resource.h"

namespace {
DWORD DefaultFrameClock()
{
    LARGE_INTEGER freq, now;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&now);
    return DWORD(now.QuadPart * 1000 / freq.QuadPart);
}
CUpdateProgressDlg::FrameClock g_pfnFrameClock = DefaultFrameClock;
}  // namespace

void CUpdateProgressDlg::SetFrameClock(FrameClock pfnClock)
{
    g_pfnFrameClock = pfnClock ? pfnClock : DefaultFrameClock;
}

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

    // The three controls keep their own procedures, with one in front that
    // holds back the repaints of the changes this window makes (the window
    // is found through the control's user data).
    m_hStatusText = ::GetDlgItem(m_hWnd, IDC_STATUS_TEXT);
    m_hPercentText = ::GetDlgItem(m_hWnd, IDC_PERCENT_TEXT);
    for (HWND hCtrl : {m_hStatusText, m_hPercentText, m_barCtrl.m_hWnd}) {
        if (!hCtrl)
            continue;
        ::SetWindowLongPtrA(hCtrl, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        WNDPROC pfnOld = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(hCtrl, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HeldControlProc)));
        SuperProcOf(hCtrl) = pfnOld;
    }
    // The first change paints at once.
    m_dwShown = g_pfnFrameClock();
    m_dwLastPaint = m_dwShown - kFrameMs;
    return TRUE;
}

void CUpdateProgressDlg::OnOK() {}

void CUpdateProgressDlg::OnCancel() {}

LRESULT CALLBACK CUpdateProgressDlg::HeldControlProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CUpdateProgressDlg* pDlg = reinterpret_cast<CUpdateProgressDlg*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (hWnd == pDlg->m_barCtrl.m_hWnd)
        return pDlg->BarProc(message, wParam, lParam);
    if (pDlg->m_bHolding) {
        if (message == WM_PAINT)
            return 0;
        // A static draws its new text synchronously: the text is stored,
        // and the control is invalidated with the next frame.
        if (message == WM_SETTEXT) {
            LRESULT lResult = ::DefWindowProcA(hWnd, message, wParam, lParam);
            (hWnd == pDlg->m_hStatusText ? pDlg->m_bStatusChanged : pDlg->m_bPercentChanged) = true;
            return lResult;
        }
    }
    return ::CallWindowProcA(pDlg->SuperProcOf(hWnd), hWnd, message, wParam, lParam);
}

WNDPROC& CUpdateProgressDlg::SuperProcOf(HWND hCtrl)
{
    return hCtrl == m_hStatusText ? m_pfnStatusProc : hCtrl == m_hPercentText ? m_pfnPercentProc : m_pfnBarProc;
}

// Whenever it moves, the bar invalidates all of itself and asks to be
// repainted at once. So the steps this window makes are kept here, and the
// position they reach is answered for here, until a frame hands it to the
// control. The control gets it before it paints and before any other
// request; a step that would take it out of its range is left to the
// control itself, which starts again from its lower bound.
LRESULT CUpdateProgressDlg::BarProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND hBar = m_barCtrl.m_hWnd;
    if (message == PBM_GETPOS && m_bBarHeld)
        return m_nBarHeld;
    if (message == PBM_STEPIT && m_bHolding) {
        int nOld = m_bBarHeld ? m_nBarHeld : int(::CallWindowProcA(m_pfnBarProc, hBar, PBM_GETPOS, 0, 0));
        int nNew = nOld + m_nStepSize;
        if (nNew >= m_nRangeLow && nNew <= m_nRangeHigh) {
            m_nBarHeld = nNew;
            m_bBarHeld = true;
            return nOld;
        }
    }
    if (m_bBarHeld && (message == WM_PAINT || (message > WM_USER && message < WM_USER + 0x100)))
        HandOverBarPos();
    // The synchronous repaint of a move waits for the frame: the region it
    // invalidated stays invalid.
    if (message == WM_PAINT && m_bHolding)
        return 0;
    return ::CallWindowProcA(m_pfnBarProc, hBar, message, wParam, lParam);
}

void CUpdateProgressDlg::HandOverBarPos()
{
    if (!m_bBarHeld)
        return;
    m_bBarHeld = false;
    SendHeld(m_barCtrl.m_hWnd, PBM_SETPOS, m_nBarHeld, 0);
}

LRESULT CUpdateProgressDlg::SendHeld(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool bWasHolding = m_bHolding;
    m_bHolding = true;
    LRESULT lResult = ::SendMessageA(hWnd, message, wParam, lParam);
    m_bHolding = bWasHolding;
    return lResult;
}

void CUpdateProgressDlg::ShowStatusText(LPCSTR lpszText)
{
    if (m_hWnd)
        SendHeld(m_hStatusText, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpszText));
}

void CUpdateProgressDlg::SetBarRange(int nLower, int nUpper)
{
    if (!m_hWnd)
        return;
    m_nRangeLow = nLower;
    m_nRangeHigh = nUpper;
    SendHeld(m_barCtrl.m_hWnd, PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper));
}

int CUpdateProgressDlg::SetBarPos(int nPos)
{
    if (!m_hWnd)
        return 0;
    ProcessPendingMessages();
    int nOld = int(SendHeld(m_barCtrl.m_hWnd, PBM_SETPOS, nPos, 0));
    RefreshPercentText(nPos);
    PaintIfFrameDue();
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
    int nOld = int(SendHeld(m_barCtrl.m_hWnd, PBM_STEPIT, 0, 0));
    RefreshPercentText(nOld + m_nStepSize);
    PaintIfFrameDue();
    return nOld;
}

void CUpdateProgressDlg::ProcessPendingMessages()
{
    // Input, posted messages (timers included) and sent messages; paints
    // wait for the frame.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE)) {
        if (!IsDialogMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// A frame is due a frame after the last paint, unless painting has taken
// more than its share of the time since the window was shown: where paints
// are slow (a remote session, a display drawn in software) they are spaced
// out, so that showing the work does not hold it up.
void CUpdateProgressDlg::PaintIfFrameDue()
{
    DWORD dwNow = g_pfnFrameClock();
    if (dwNow - m_dwLastPaint >= kFrameMs && m_dwPainting * kPaintShare <= dwNow - m_dwShown)
        Paint(false);
}

void CUpdateProgressDlg::PaintNow()
{
    if (m_hWnd)
        Paint(true);
}

void CUpdateProgressDlg::Paint(bool bFinal)
{
    DWORD dwStart = g_pfnFrameClock();
    if (m_bStatusChanged)
        ::InvalidateRect(m_hStatusText, nullptr, TRUE);
    if (m_bPercentChanged)
        ::InvalidateRect(m_hPercentText, nullptr, TRUE);
    m_bStatusChanged = m_bPercentChanged = false;
    // The bar gets the position it has kept when the length of its filled
    // part has changed to the pixel, and in the final paint. Handed over, it
    // invalidates all of itself; at a frame, when nothing else had made it
    // invalid, only the part between the old and the new end is drawn,
    // widened by the bar's height for the rounding to whole segments. The
    // final paint draws all of it (with nothing kept, it already shows its
    // position).
    int nFilled = FilledWidth();
    if (bFinal || nFilled != m_nBarPainted) {
        bool bStrip = !bFinal && m_nBarPainted >= 0 && nFilled > m_nBarPainted &&
                      !::GetUpdateRect(m_barCtrl.m_hWnd, nullptr, FALSE);
        HandOverBarPos();
        if (bStrip) {
            RECT rc;
            m_barCtrl.GetClientRect(&rc);
            rc.left = m_nBarPainted > rc.bottom ? m_nBarPainted - rc.bottom : 0;
            rc.right = nFilled + rc.bottom < rc.right ? nFilled + rc.bottom : rc.right;
            ::ValidateRect(m_barCtrl.m_hWnd, nullptr);
            ::InvalidateRect(m_barCtrl.m_hWnd, &rc, FALSE);
        }
        m_nBarPainted = nFilled;
    }
    // The window and every control with something to paint.
    UpdateWindow();
    m_dwLastPaint = g_pfnFrameClock();
    m_dwPainting += m_dwLastPaint - dwStart;
}

int CUpdateProgressDlg::FilledWidth() const
{
    if (m_nRangeHigh <= m_nRangeLow)
        return 0;
    RECT rc;
    m_barCtrl.GetClientRect(&rc);
    return MulDiv(m_barCtrl.GetPos() - m_nRangeLow, rc.right, m_nRangeHigh - m_nRangeLow);
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
    char szOld[32] = "";
    ::GetWindowTextA(m_hPercentText, szOld, sizeof(szOld));
    if (m_hPercentText && strcmp(szOld, strText) != 0)
        SendHeld(m_hPercentText, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(static_cast<LPCSTR>(strText)));
}
