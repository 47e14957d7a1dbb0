#include "BrightnessDlg.h"

#include "IndicatorDevice.h"
#include "res/resource.h"

namespace {
// Levels run opposite to slider positions: a vertical trackbar has its
// minimum at the top, and the top is the bright end.
const int kTopLevel = 2;
}

BEGIN_MESSAGE_MAP(CBrightnessDlg, CDialog)
    ON_WM_ACTIVATE()
    ON_WM_VSCROLL()
END_MESSAGE_MAP()

CBrightnessDlg::CBrightnessDlg(CWnd* pParent, int nLevel) : CDialog(IDD_BRIGHTNESS, pParent), m_nLevel(nLevel) {}

void CBrightnessDlg::DoDataExchange(CDataExchange* pDX) { DDX_Control(pDX, IDC_LEVEL_SLIDER, m_slider); }

void CBrightnessDlg::PostNcDestroy() { delete this; }

BOOL CBrightnessDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_slider.SetRange(0, kTopLevel, FALSE);
    m_slider.SendMessage(TBM_SETPAGESIZE, 0, 1);
    // A stored level outside 0..2 lands at the nearer end: the control pins
    // the position to its range.
    m_slider.SendMessage(TBM_SETPOS, TRUE, kTopLevel - m_nLevel);
    SetForegroundWindow();
    return TRUE;
}

void CBrightnessDlg::OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized)
{
    CDialog::OnActivate(nState, pWndOther, bMinimized);
    // Destroying a window that is still active (the owner frame going while
    // the panel is open, say) deactivates it first and brings this message
    // back in the middle of the destruction. Destroying it again from there
    // recurses until the system drops messages, WM_NCDESTROY among them,
    // and this object would never be unbound or deleted.
    if (nState == WA_INACTIVE && !m_bDestroying) {
        m_bDestroying = TRUE;
        // The object is deleted inside this call; nothing may follow it.
        DestroyWindow();
    }
}

void CBrightnessDlg::OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar)
{
    // The release of a drag already came as TB_THUMBPOSITION; the closing
    // TB_ENDTRACK would only repeat it.
    if (nSBCode != TB_ENDTRACK) {
        int nLevel = kTopLevel - int(m_slider.SendMessage(TBM_GETPOS));
        SetIndicatorLevel(nLevel);
        if (CFrameWnd* pFrame = GetParentFrame())
            pFrame->SendMessage(WM_LEVELCHANGED, 0, nLevel);
    }
    CDialog::OnVScroll(nSBCode, nPos, pScrollBar);
}
