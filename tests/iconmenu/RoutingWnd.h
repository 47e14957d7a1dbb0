// A window that routes owner-drawn menu messages to the icon menu the way
// the tray frame does (WM_MEASUREITEM of pop-up items, WM_MENUCHAR,
// WM_INITMENUPOPUP), for the routing test and the on-screen demo program.
// WM_DRAWITEM and the other items' WM_MEASUREITEM take CWnd's defaults.
#pragma once
#include "IconMenu.h"

class CRoutingWnd : public CWnd {
public:
    BOOL Create()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = "IconMenuRoutingWnd";
        ::RegisterClassA(&wc);
        return CreateEx(0, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr);
    }
    CIconMenu m_menu;

protected:
    void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMIS)
    {
        if (lpMIS->CtlType == ODT_MENU && CIconMenu::IsIconMenu(reinterpret_cast<HMENU>(UINT_PTR(lpMIS->itemID))))
            m_menu.MeasureItem(lpMIS);
        else
            CWnd::OnMeasureItem(nIDCtl, lpMIS);
    }
    LRESULT OnMenuChar(UINT nChar, UINT nFlags, CMenu* pMenu)
    {
        return CIconMenu::IsIconMenu(pMenu) ? CIconMenu::FindMnemonic(nChar, nFlags, pMenu) : Default();
    }
    void OnInitMenuPopup(CMenu* pMenu, UINT nIndex, BOOL bSysMenu)
    {
        CWnd::OnInitMenuPopup(pMenu, nIndex, bSysMenu);
        if (!bSysMenu && CIconMenu::IsIconMenu(pMenu))
            CIconMenu::UpdateIconMenu(pMenu);
    }
    DECLARE_MESSAGE_MAP()
};

// Defined here: each program has a single source file that includes this.
BEGIN_MESSAGE_MAP(CRoutingWnd, CWnd)
    ON_WM_MEASUREITEM()
    ON_WM_MENUCHAR()
    ON_WM_INITMENUPOPUP()
END_MESSAGE_MAP()
