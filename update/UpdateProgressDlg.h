// The updater's progress window: title, status line, segmented bar and a
// percent figure.
//
// The update run creates it once, modeless, before the first package and
// destroys it after the last; the extraction drives it through
// g_pProgressDlg. The run has no message loop of its own, so SetBarPos and
// StepBar drain the thread's queue to keep the window painted and
// answering. Enter, Esc and the close box do nothing: the work cannot be
// cancelled from here. Every operation is a no-op while there is no window.
#pragma once
#include "Dialog.h"

class CUpdateProgressDlg : public CDialog {
public:
    explicit CUpdateProgressDlg(UINT nTitleId = 0);
    ~CUpdateProgressDlg() override;

    BOOL Create(CWnd* pParentWnd = nullptr);
    BOOL DestroyWindow() override;

    void ShowStatusText(LPCSTR lpszText);
    void SetBarRange(int nLower, int nUpper);
    int SetBarPos(int nPos);
    int SetBarStep(int nStep);
    int StepBar();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void RestoreOwner();
    void ProcessPendingMessages();
    void RefreshPercentText(int nNewPos);
    int FilledWidth() const;

    CProgressCtrl m_barCtrl;
    UINT m_nTitleId;
    int m_nRangeLow = 0;
    int m_nRangeHigh = 100;
    int m_nStepSize = 10;
    int m_nBarFilled = 0;  // the bar's filled length, in pixels, when last drawn
    BOOL m_bOwnerDisabled = FALSE;
    HICON m_hWindowIcon;

    DECLARE_MESSAGE_MAP()
};
