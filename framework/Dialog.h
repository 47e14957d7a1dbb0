// Dialog boxes from dialog templates, and the common controls they hold.
//
// A CDialog is created modeless with Create (from a template id) or run
// modal with DoModal; either way the window is bound to the object before
// its first message, WM_INITDIALOG reaches the virtual OnInitDialog, which
// runs the data exchange (DoDataExchange, where DDX_Control binds control
// objects such as CProgressCtrl to their windows). IDOK and IDCANCEL go to
// the virtual OnOK and OnCancel, whose default ends a modal dialog. A
// modeless Create that fails has already disposed of the object through
// PostNcDestroy, as a window whose creation fails does.
//
// Before the process's first dialog is made, the progress bar and trackbar
// classes are registered with the common controls library
// (InitCommonControlsEx; no manifest asks for version 6, so the look stays
// classic). Windows XP has those classes only once that library is loaded,
// and a dialog whose template names a missing class is not created.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "WinApp.h"
#include "Wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Binds rControl to the dialog's control nIDC (once).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog() = default;
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    BOOL PreTranslateMessage(MSG* pMsg) override;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);

    UINT m_nIDHelp = 0;           // the template id
    CWnd* m_pParentWnd = nullptr;  // owner chosen at creation

    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
};

class CProgressCtrl : public CWnd {
public:
    int GetPos() const { return int(::SendMessageA(m_hWnd, PBM_GETPOS, 0, 0)); }
};

class CSliderCtrl : public CWnd {
public:
    void SetRange(int nMin, int nMax, BOOL bRedraw = FALSE)
    {
        SendMessage(TBM_SETRANGE, bRedraw, MAKELPARAM(nMin, nMax));
    }
};
