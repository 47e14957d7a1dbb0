// The updater's progress window: title, status line, segmented bar and a
// percent figure.
//
// The update run creates it once, modeless, before the first package and
// destroys it after the last; the extraction drives it through
// g_pProgressDlg. The run has no message loop of its own, so the window
// reads the thread's queue itself: at every bar movement, by the clock
// inside a file (KeepShowing, at each block written), whether a paint is
// due or not, and during every wait that the run makes while it is up
// (WaitAnswering). Windows takes a window that has not read its queue for
// five seconds for hung and offers its user to end the program, which would
// leave a package half applied. Enter, Esc and the close box do nothing:
// the work cannot be cancelled from here. Every operation is a no-op while
// there is no window.
//
// Painting goes at display rate. The latest status text, range, position
// and percent figure are kept here and handed to the controls, which then
// repaint, at a frame and in PaintNow, so that a run of small files does
// not spend its time repainting. A frame is looked for whenever the status,
// the bar or the work moves, and during the waits. After a paint the next
// frame waits kPaintShare times the paint's cost, so that fast changes are
// not painted one by one, but at most kLongestGapMs, so that a new file's
// name or a new package is on screen within that; and never less than the
// paint itself took, so that a slow display (a remote session, a display
// drawn in software) takes at most about half of the time. PaintNow paints
// at once: the run calls it when a package ends and before each message
// box, so the final state (last name, full bar, 100%) is on screen under
// the box. Printing the window (WM_PRINT, WM_PRINTCLIENT) hands the latest
// state over first.
//
// While the run holds the session (HoldSession, from the first package
// until the service has been started again) the window refuses the end of
// the session, which would stop the run between two files and leave the
// service stopped, and from Vista on gives its title as the reason.
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
    void HoldSession(BOOL bHold);

    // Waits for hObject (or just for dwMilliseconds when it is null) while
    // g_pProgressDlg's window, if it has one, goes on answering and
    // painting; a plain wait otherwise. Returns as WaitForSingleObject does.
    static DWORD WaitAnswering(HANDLE hObject, DWORD dwMilliseconds);

    // The clock that paces the paints, in milliseconds; it may wrap. A test
    // sets its own to move it by hand; nullptr restores the default.
    typedef DWORD (*FrameClock)();
    static void SetFrameClock(FrameClock pfnClock);
    static constexpr DWORD kFrameMs = 16;
    static constexpr DWORD kPaintShare = 32;
    static constexpr DWORD kLongestGapMs = 100;
    static constexpr DWORD kAnswerMs = 50;  // the queue is read at least this often, paints aside

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT OnPrint(WPARAM wParam, LPARAM lParam);
    BOOL OnQueryEndSession();

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
    DWORD m_dwFrameEnd = 0;     // the frame clock when the last paint ended
    DWORD m_dwFrameGap = 0;     // from then until the next frame is due
    DWORD m_dwAnswered = 0;     // the frame clock when the queue was last read
    BOOL m_bSessionHeld = FALSE;

    DECLARE_MESSAGE_MAP()
};
