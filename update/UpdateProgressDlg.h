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
// Painting goes at display rate. The latest status text, range, position
// and percent figure are kept here and handed to the controls, which then
// repaint, at a frame (kFrameMs) and in PaintNow, so that a run of small
// files does not spend its time repainting. A frame is looked for whenever
// the status, the bar or the work (KeepShowing, at each block written)
// moves: the screen names the file being copied within a frame of its start,
// whatever the files' sizes. A paint that takes long puts the next frame off
// to kPaintShare times its own cost, so that slow displays (a remote
// session, a display drawn in software) do not hold the work up. PaintNow
// paints at once: the run calls it when a package ends and before each
// message box, so the final state (last name, full bar, 100%) is on screen
// under the box. Printing the window (WM_PRINT, WM_PRINTCLIENT) hands the
// latest state over first.
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
    void KeepShowing();
    void PaintNow();
    // Waits for hObject while the window (through g_pProgressDlg) goes on
    // answering; a plain wait when there is no window.
    static DWORD WaitAnswering(HANDLE hObject, DWORD dwMilliseconds);

    // The clock that paces the paints, in milliseconds; it may wrap. A test
    // sets its own to move it by hand; nullptr restores the default.
    typedef DWORD (*FrameClock)();
    static void SetFrameClock(FrameClock pfnClock);
    static constexpr DWORD kFrameMs = 16;
    static constexpr DWORD kPaintShare = 32;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT OnPrint(WPARAM wParam, LPARAM lParam);

    void RestoreOwner();
    void ProcessPendingMessages();
    void RefreshPercentText(int nNewPos);
    bool FrameDue() const;
    void Paint();
    void HandOver();

    CProgressCtrl m_barCtrl;
    UINT m_nTitleId;
    int m_nRangeLow = 0;
    int m_nRangeHigh = 100;
    int m_nStepSize = 10;
    BOOL m_bOwnerDisabled = FALSE;
    HICON m_hWindowIcon;
    HWND m_hStatusText = nullptr;
    HWND m_hPercentText = nullptr;
    // What the controls get at the next frame.
    CString m_strStatus;
    bool m_bStatusDue = false;
    bool m_bRangeDue = false;
    int m_nPos = 0;
    char m_szPercent[16] = "";
    DWORD m_dwFrameStart = 0;   // the frame clock when the last paint began
    DWORD m_dwFrameGap = 0;     // from then until the next frame is due

    DECLARE_MESSAGE_MAP()
};
