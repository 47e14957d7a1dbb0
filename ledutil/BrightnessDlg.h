// The brightness panel: a small captionless pop-up with a vertical
// three-position slider, the utility's only control surface.
//
// The main frame creates one on the heap for each settings command, creates
// its window hidden from IDD_BRIGHTNESS, places it next to the cursor and
// shows it. Every slider movement but the end-of-track notification is sent
// to the indicator at once and reported to the parent frame with
// WM_LEVELCHANGED (sent, so the frame has stored the level before the panel
// goes on). The panel destroys itself when it loses activation and deletes
// its object when the window is gone; nothing else keeps a pointer to it.
// The slider shows position 2 - level: the brightest level at the top.
#pragma once
#include "afxwin.h"

// Panel to frame: lParam is the new level.
#define WM_LEVELCHANGED (WM_APP + 2)

class CBrightnessDlg : public CDialog {
public:
    CBrightnessDlg(CWnd* pParent, int nLevel);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void PostNcDestroy() override;
    BOOL OnInitDialog() override;

    void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
    void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);

    int m_nLevel;  // as opened; not followed afterwards
    CSliderCtrl m_slider;
    BOOL m_bDestroying = FALSE;

    DECLARE_MESSAGE_MAP()
};
