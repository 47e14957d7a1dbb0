// The updater's progress window: title, status line, segmented bar and a
// percent figure.
//
// The update run creates it once, modeless, before the first package and
// destroys it after the last; the extraction drives it through
// g_pProgressDlg. The run has no message loop of its own, so SetBarPos and
// StepBar drain the thread's queue to keep the window answering. Enter, Esc
// and the close box do nothing: the work cannot be cancelled from here.
// Every operation is a no-op while there is no window.
//
// Painting goes at display rate. The status text, the bar's position and
// the percent figure are set at every call, so the window's state is always
// current (the bar's position is kept in front of the control, which is
// asked for it there, until a frame hands it over), but the repaints those
// changes cause are held back and done together at most once a frame
// (kFrameMs), when the queue is drained, and for no more than a
// kPaintShare-th of the time the window is up; the queue's input, posted
// and sent messages are taken at every drain. PaintNow paints at once: the
// run calls it when a package ends and before each message box, so the
// final state (last name, full bar, 100%) is on screen under the box.
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
    void PaintNow();

    // The clock that paces the paints, in milliseconds. A test sets its own
    // to count paints per frame; nullptr restores the default.
    typedef DWORD (*FrameClock)();
    static void SetFrameClock(FrameClock pfnClock);
    static constexpr DWORD kFrameMs = 16;
    static constexpr DWORD kPaintShare = 32;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void RestoreOwner();
    void ProcessPendingMessages();
    void RefreshPercentText(int nNewPos);
    void PaintIfFrameDue();
    void Paint(bool bFinal);
    int FilledWidth() const;
    LRESULT SendHeld(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK HeldControlProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC& SuperProcOf(HWND hCtrl);
    LRESULT BarProc(UINT message, WPARAM wParam, LPARAM lParam);
    void HandOverBarPos();

    CProgressCtrl m_barCtrl;
    UINT m_nTitleId;
    int m_nRangeLow = 0;
    int m_nRangeHigh = 100;
    int m_nStepSize = 10;
    BOOL m_bOwnerDisabled = FALSE;
    HICON m_hWindowIcon;
    HWND m_hStatusText = nullptr;
    HWND m_hPercentText = nullptr;
    bool m_bStatusChanged = false;   // set since the last paint, not yet invalidated
    bool m_bPercentChanged = false;
    int m_nBarPainted = -1;          // the bar's filled length, in pixels, when last painted
    bool m_bHolding = false;         // this window's own change is being sent to a control
    bool m_bBarHeld = false;         // the bar's position is m_nBarHeld, not yet handed over
    int m_nBarHeld = 0;
    WNDPROC m_pfnStatusProc = nullptr;   // the controls' own procedures
    WNDPROC m_pfnPercentProc = nullptr;
    WNDPROC m_pfnBarProc = nullptr;
    DWORD m_dwShown = 0;             // the frame clock when the window was shown
    DWORD m_dwLastPaint = 0;
    DWORD m_dwPainting = 0;          // time spent painting since then

    DECLARE_MESSAGE_MAP()
};
