// Window objects.
//
// A CWnd is bound to its HWND in the thread's permanent handle map from the
// window's first message (a CBT hook during creation) until WM_NCDESTROY,
// when the binding is removed and PostNcDestroy runs (where self-deleting
// windows delete themselves). Every bound window's messages pass through one
// procedure, AfxWndProc, into WindowProc, which looks the message up in the
// message maps (CmdTarget.h) and otherwise calls DefWindowProc: the window
// class's own procedure when the window was subclassed, else the system's.
// Default() re-sends the message being handled to DefWindowProc.
#pragma once
#include "CString.h"
#include "CmdTarget.h"

class CMenu;
class CScrollBar;
class CFrameWnd;

class CWnd : public CCmdTarget {
    DECLARE_DYNCREATE(CWnd)
public:
    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }

    // Handle map. FromHandle gives the permanent object, or a temporary one
    // that lives until the thread's next idle time; FromHandlePermanent only
    // the permanent one.
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);
    static void DeleteTempMap();
    // Frees the calling thread's maps as a framework thread ends.
    static void DeleteThreadState();
    // FALSE when this object already has a window or hWndNew already has
    // an object: one binding at a time on either side.
    BOOL Attach(HWND hWndNew);
    HWND Detach();
    BOOL SubclassWindow(HWND hWnd);

    virtual BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                          int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                          LPVOID lpParam = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);
    virtual BOOL DestroyWindow();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual void PostNcDestroy();
    LRESULT Default();

    // Thin wrappers.
    LRESULT SendMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageA(m_hWnd, m, w, l); }
    BOOL PostMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageA(m_hWnd, m, w, l); }
    void SetWindowText(LPCSTR lpsz) { ::SetWindowTextA(m_hWnd, lpsz); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
    {
        return ::SetWindowPos(m_hWnd, pWndInsertAfter ? pWndInsertAfter->m_hWnd : nullptr, x, y, cx, cy, nFlags);
    }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer)
    {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    BOOL IsDialogMessage(LPMSG lpMsg) { return ::IsDialogMessageA(m_hWnd, lpMsg); }
    CFrameWnd* GetParentFrame() const;

    // The window that should own a dialog or message box started from pParent
    // (the application's main window when none is given): the top-level
    // window above it, or its last active pop-up.
    static CWnd* GetSafeOwner(CWnd* pParent = nullptr, HWND* pWndTop = nullptr);

protected:
    WNDPROC m_pfnSuper = nullptr;  // the class procedure a subclassed window had

    // Default handlers: each passes the message to Default().
    int OnCreate(LPCREATESTRUCTA lpCreateStruct);
    void OnDestroy();
    void OnNcDestroy();
    void OnClose();
    void OnTimer(UINT_PTR nIDEvent);
    void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
    void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct);
    void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct);
    void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu);
    LRESULT OnMenuChar(UINT nChar, UINT nFlags, CMenu* pMenu);
    BOOL OnQueryEndSession();
    void OnEndSession(BOOL bEnding);
    void OnSysCommand(UINT nID, LPARAM lParam);

    friend LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    friend LRESULT CALLBACK _AfxCbtFilterHook(int code, WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};

class CScrollBar : public CWnd {};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
WNDPROC AfxGetAfxWndProc();
// Binds the next window this thread creates to pWnd (done by CreateEx and
// the dialog classes); AfxUnhookWindowCreate returns FALSE when no window
// was created in between.
void AfxHookWindowCreate(CWnd* pWnd);
BOOL AfxUnhookWindowCreate();

// Message-map entries for window messages, with their handler signatures.
#define ON_WM_CREATE() \
    {WM_CREATE, 0, 0, AFX_DISPATCHER(*pResult = self->OnCreate(reinterpret_cast<LPCREATESTRUCTA>(lParam)))},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, AFX_DISPATCHER(self->OnDestroy())},
#define ON_WM_NCDESTROY() {WM_NCDESTROY, 0, 0, AFX_DISPATCHER(self->OnNcDestroy())},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, AFX_DISPATCHER(self->OnClose())},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, AFX_DISPATCHER(self->OnTimer((UINT_PTR)wParam))},
#define ON_WM_ACTIVATE()                                                                          \
    {WM_ACTIVATE, 0, 0,                                                                           \
     AFX_DISPATCHER(self->OnActivate(LOWORD(wParam), CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), \
                                     HIWORD(wParam)))},
#define ON_WM_VSCROLL()                                                                           \
    {WM_VSCROLL, 0, 0,                                                                            \
     AFX_DISPATCHER(self->OnVScroll(LOWORD(wParam), HIWORD(wParam),                              \
                                    static_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(lParam)))))},
#define ON_WM_MEASUREITEM()                                                                       \
    {WM_MEASUREITEM, 0, 0,                                                                        \
     AFX_DISPATCHER(self->OnMeasureItem(int(wParam), reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)); *pResult = TRUE)},
#define ON_WM_DRAWITEM()                                                                          \
    {WM_DRAWITEM, 0, 0,                                                                           \
     AFX_DISPATCHER(self->OnDrawItem(int(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)); *pResult = TRUE)},
#define ON_WM_INITMENUPOPUP()                                                                     \
    {WM_INITMENUPOPUP, 0, 0,                                                                      \
     AFX_DISPATCHER(self->OnInitMenuPopup(CMenu::FromHandle(reinterpret_cast<HMENU>(wParam)),    \
                                          LOWORD(lParam), HIWORD(lParam)))},
#define ON_WM_MENUCHAR()                                                                          \
    {WM_MENUCHAR, 0, 0,                                                                           \
     AFX_DISPATCHER(*pResult = self->OnMenuChar(LOWORD(wParam), HIWORD(wParam),                  \
                                                CMenu::FromHandle(reinterpret_cast<HMENU>(lParam))))},
#define ON_WM_QUERYENDSESSION() \
    {WM_QUERYENDSESSION, 0, 0, AFX_DISPATCHER(*pResult = self->OnQueryEndSession())},
#define ON_WM_ENDSESSION() {WM_ENDSESSION, 0, 0, AFX_DISPATCHER(self->OnEndSession(BOOL(wParam)))},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, AFX_DISPATCHER(self->OnSysCommand(UINT(wParam), lParam))},
