#include "Wnd.h"

#include <unordered_map>

#include "FrameWnd.h"
#include "Menu.h"
#include "WinApp.h"

IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
    ON_WM_NCDESTROY()
    ON_WM_MEASUREITEM()
    ON_WM_DRAWITEM()
END_MESSAGE_MAP()

namespace {
struct WndThreadState {
    std::unordered_map<HWND, CWnd*> permanent;
    std::unordered_map<HWND, CWnd*> temporary;
    MSG lastSentMsg{};
    CWnd* pWndInit = nullptr;
    HHOOK hHookOldCbtFilter = nullptr;
};

// Held through a plain pointer: MinGW runs the destructors of thread_local
// objects after the thread's emulated TLS block is freed, so an object with
// a destructor crashes its thread as it ends.
thread_local WndThreadState* t_pState = nullptr;

WndThreadState& State()
{
    if (!t_pState)
        t_pState = new WndThreadState;
    return *t_pState;
}
}  // namespace

CWnd::~CWnd()
{
    if (m_hWnd && State().permanent.count(m_hWnd)) {
        // The object goes before its window: destroy the window now so that
        // no message reaches a deleted object.
        ::DestroyWindow(m_hWnd);
        if (m_hWnd)
            Detach();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    auto& map = State().permanent;
    auto it = map.find(hWnd);
    return it == map.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    if (CWnd* p = FromHandlePermanent(hWnd))
        return p;
    CWnd*& pTemp = State().temporary[hWnd];
    if (!pTemp)
        pTemp = new CWnd(hWnd);
    return pTemp;
}

void CWnd::DeleteTempMap()
{
    auto& map = State().temporary;
    for (auto& entry : map) {
        entry.second->m_hWnd = nullptr;
        delete entry.second;
    }
    map.clear();
}

void CWnd::DeleteThreadState()
{
    if (!t_pState)
        return;
    DeleteTempMap();
    delete t_pState;
    t_pState = nullptr;
}

BOOL CWnd::Attach(HWND hWndNew)
{
    // Replacing a binding would leave the old handle mapped to this object,
    // or take another object's handle from it.
    if (!hWndNew || m_hWnd || FromHandlePermanent(hWndNew))
        return FALSE;
    State().permanent[hWndNew] = this;
    m_hWnd = hWndNew;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    if (hWnd)
        State().permanent.erase(hWnd);
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!Attach(hWnd))
        return FALSE;
    WNDPROC old = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (old != &AfxWndProc)
        m_pfnSuper = old;
    return TRUE;
}

LRESULT CALLBACK _AfxCbtFilterHook(int code, WPARAM wParam, LPARAM lParam)
{
    WndThreadState& state = State();
    if (code == HCBT_CREATEWND && state.pWndInit) {
        CWnd* pWnd = state.pWndInit;
        state.pWndInit = nullptr;
        pWnd->SubclassWindow(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(state.hHookOldCbtFilter, code, wParam, lParam);
}

void AfxHookWindowCreate(CWnd* pWnd)
{
    WndThreadState& state = State();
    if (!state.hHookOldCbtFilter)
        state.hHookOldCbtFilter = ::SetWindowsHookExA(WH_CBT, _AfxCbtFilterHook, nullptr, ::GetCurrentThreadId());
    state.pWndInit = pWnd;
}

BOOL AfxUnhookWindowCreate()
{
    WndThreadState& state = State();
    if (state.hHookOldCbtFilter) {
        ::UnhookWindowsHookEx(state.hHookOldCbtFilter);
        state.hHookOldCbtFilter = nullptr;
    }
    if (state.pWndInit) {
        state.pWndInit = nullptr;
        return FALSE;
    }
    return TRUE;
}

LRESULT AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    MSG& last = State().lastSentMsg;
    MSG saved = last;
    last.hwnd = hWnd;
    last.message = nMsg;
    last.wParam = wParam;
    last.lParam = lParam;
    LRESULT lResult = pWnd->WindowProc(nMsg, wParam, lParam);
    last = saved;
    return lResult;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
    return AfxCallWndProc(pWnd, hWnd, nMsg, wParam, lParam);
}

WNDPROC AfxGetAfxWndProc() { return &AfxWndProc; }

BOOL CWnd::PreCreateWindow(CREATESTRUCTA&) { return TRUE; }

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, int x, int y,
                    int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam)
{
    CREATESTRUCTA cs{};
    cs.dwExStyle = dwExStyle;
    cs.lpszClass = lpszClassName;
    cs.lpszName = lpszWindowName;
    cs.style = LONG(dwStyle);
    cs.x = x;
    cs.y = y;
    cs.cx = nWidth;
    cs.cy = nHeight;
    cs.hwndParent = hWndParent;
    cs.hMenu = nIDorHMenu;
    cs.hInstance = AfxGetInstanceHandle();
    cs.lpCreateParams = lpParam;
    if (!PreCreateWindow(cs)) {
        PostNcDestroy();
        return FALSE;
    }
    AfxHookWindowCreate(this);
    HWND hWnd = ::CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, DWORD(cs.style), cs.x, cs.y, cs.cx,
                                  cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
    // A window whose creation failed after WM_NCCREATE has already gone
    // through WM_NCDESTROY, which ran PostNcDestroy; one that never got a
    // handle has not.
    if (!AfxUnhookWindowCreate())
        PostNcDestroy();
    return hWnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    return lResult;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *pResult = 1;
        return TRUE;
    }
    const AFX_MSGMAP_ENTRY* p = FindMessageEntry(GetMessageMap(), message, 0, 0);
    if (!p)
        return FALSE;
    *pResult = 0;
    return p->pfn(this, wParam, lParam, pResult);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    int nCode = HIWORD(wParam);
    if (!lParam) {
        // Not from a control: a menu command (code 0) or an accelerator
        // (code 1), both routed as commands. Identifier 0 is no command.
        if (nID == 0)
            return FALSE;
        nCode = CN_COMMAND;
    }
    return OnCmdMsg(nID, nCode);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    const MSG& m = State().lastSentMsg;
    return DefWindowProc(m.message, m.wParam, m.lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

void CWnd::PostNcDestroy() {}

void CWnd::OnNcDestroy()
{
    // The main window going ends the thread's message loop.
    CWinThread* pThread = AfxGetThread();
    if (pThread && pThread->m_pMainWnd == this) {
        pThread->m_pMainWnd = nullptr;
        if (pThread == AfxGetApp())
            ::PostQuitMessage(0);
    }
    Default();
    WNDPROC pfnSuper = m_pfnSuper;
    m_pfnSuper = nullptr;
    if (pfnSuper && reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC)) == &AfxWndProc)
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pfnSuper));
    Detach();
    PostNcDestroy();
}

CFrameWnd* CWnd::GetParentFrame() const
{
    for (HWND h = ::GetParent(m_hWnd); h; h = ::GetParent(h)) {
        CWnd* p = FromHandlePermanent(h);
        if (p && p->IsKindOf(RUNTIME_CLASS(CFrameWnd)))
            return static_cast<CFrameWnd*>(p);
    }
    return nullptr;
}

CWnd* CWnd::GetSafeOwner(CWnd* pParent, HWND* pWndTop)
{
    HWND hWnd = pParent ? pParent->m_hWnd : nullptr;
    if (!hWnd) {
        CWinThread* pThread = AfxGetThread();
        if (pThread && pThread->m_pMainWnd)
            hWnd = pThread->m_pMainWnd->m_hWnd;
    }
    // Walk up to the top-level window.
    HWND hWndTop = hWnd;
    while (hWndTop && (::GetWindowLongA(hWndTop, GWL_STYLE) & WS_CHILD))
        hWndTop = ::GetParent(hWndTop);
    if (pWndTop)
        *pWndTop = hWndTop;
    if (!hWndTop)
        return nullptr;
    return FromHandle(pParent ? hWndTop : ::GetLastActivePopup(hWndTop));
}

int CWnd::OnCreate(LPCREATESTRUCTA) { return int(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnActivate(UINT, CWnd*, BOOL) { Default(); }
void CWnd::OnVScroll(UINT, UINT, CScrollBar*) { Default(); }
void CWnd::OnInitMenuPopup(CMenu*, UINT, BOOL) { Default(); }
LRESULT CWnd::OnMenuChar(UINT, UINT, CMenu*) { return Default(); }
BOOL CWnd::OnQueryEndSession() { return BOOL(Default()); }
void CWnd::OnEndSession(BOOL) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }

void CWnd::OnMeasureItem(int, LPMEASUREITEMSTRUCT lpMeasureItemStruct)
{
    // Owner-drawn menu items are measured by the permanent menu object that
    // holds the item: the window menu or one of its pop-ups.
    if (lpMeasureItemStruct->CtlType == ODT_MENU) {
        if (CMenu* pMenu = CMenu::FindPopupMenuFromID(::GetMenu(m_hWnd), lpMeasureItemStruct->itemID)) {
            pMenu->MeasureItem(lpMeasureItemStruct);
            return;
        }
    }
    Default();
}

void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    if (lpDrawItemStruct->CtlType == ODT_MENU) {
        if (CMenu* pMenu = CMenu::FromHandlePermanent(reinterpret_cast<HMENU>(lpDrawItemStruct->hwndItem))) {
            pMenu->DrawItem(lpDrawItemStruct);
            return;
        }
    }
    Default();
}
