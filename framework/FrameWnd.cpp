#include "FrameWnd.h"

#include "Menu.h"
#include "WinApp.h"

IMPLEMENT_DYNCREATE(CFrameWnd, CWnd)

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
    ON_WM_CLOSE()
    ON_WM_INITMENUPOPUP()
    ON_WM_QUERYENDSESSION()
    ON_WM_ENDSESSION()
END_MESSAGE_MAP()

namespace {
const char kDefaultFrameClass[] = "AfxFrameOrView";
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd, CCreateContext*)
{
    CString strFull;
    if (strFull.LoadString(nIDResource))
        AfxExtractSubString(m_strTitle, strFull, 0);

    HINSTANCE hInst = AfxGetResourceHandle();
    HMENU hMenu = ::LoadMenuA(hInst, MAKEINTRESOURCEA(nIDResource));
    if (!hMenu) {
        PostNcDestroy();
        return FALSE;
    }
    m_hAccelTable = ::LoadAcceleratorsA(hInst, MAKEINTRESOURCEA(nIDResource));

    // The object may be gone when this fails (a window that got as far as
    // WM_NCDESTROY ran PostNcDestroy), so only locals are touched after it.
    if (!CreateEx(0, nullptr, m_strTitle, dwDefaultStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, pParentWnd ? pParentWnd->m_hWnd : nullptr, hMenu)) {
        // A window destroyed during creation took its menu with it.
        if (::IsMenu(hMenu))
            ::DestroyMenu(hMenu);
        return FALSE;
    }
    return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTA& cs)
{
    if (!cs.lpszClass) {
        WNDCLASSA wc{};
        wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = AfxGetAfxWndProc();
        wc.hInstance = AfxGetInstanceHandle();
        wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kDefaultFrameClass;
        if (!AfxRegisterClass(&wc))
            return FALSE;
        cs.lpszClass = kDefaultFrameClass;
    }
    return TRUE;
}

BOOL CFrameWnd::PreTranslateMessage(MSG* pMsg)
{
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST && m_hAccelTable)
        return ::TranslateAcceleratorA(m_hWnd, m_hAccelTable, pMsg);
    return FALSE;
}

void CFrameWnd::PostNcDestroy() { delete this; }

void CFrameWnd::OnClose()
{
    // No documents to save: closing is destroying, through the virtual
    // DestroyWindow so that derived frames run their steps first.
    DestroyWindow();
}

BOOL CFrameWnd::HasCommandHandler(UINT nID) const
{
    return FindMessageEntry(GetMessageMap(), WM_COMMAND, CN_COMMAND, nID) != nullptr;
}

void CFrameWnd::OnInitMenuPopup(CMenu* pPopupMenu, UINT, BOOL bSysMenu)
{
    if (bSysMenu || !pPopupMenu)
        return;
    int nCount = ::GetMenuItemCount(pPopupMenu->m_hMenu);
    for (int i = 0; i < nCount; ++i) {
        UINT nID = pPopupMenu->GetMenuItemID(i);
        // Separators (0) and nested pop-ups (-1) carry no command.
        if (nID == 0 || nID == UINT(-1))
            continue;
        // System command ids are the system's business.
        if (nID < 0xF000) {
            UINT nEnable = HasCommandHandler(nID) ? MF_ENABLED : MF_DISABLED | MF_GRAYED;
            pPopupMenu->EnableMenuItem(UINT(i), MF_BYPOSITION | nEnable);
        }
    }
}

BOOL CFrameWnd::OnQueryEndSession()
{
    // Nothing unsaved can stand in the way.
    return TRUE;
}

void CFrameWnd::OnEndSession(BOOL bEnding)
{
    if (!bEnding)
        return;
    // The system ends the process once this message returns, without
    // another message: the application's exit processing runs now.
    CWinApp* pApp = AfxGetApp();
    if (pApp && pApp->m_pMainWnd == this)
        pApp->ExitInstance();
}
