// Menu objects.
//
// A CMenu is bound to its HMENU in the thread's permanent menu map while
// attached (Attach / Detach), so that owner-drawn items reach the object's
// virtual MeasureItem and DrawItem through the owner window's default
// WM_MEASUREITEM / WM_DRAWITEM handling (Wnd.cpp). FromHandle of a menu
// without a permanent object gives a temporary one.
#pragma once
#include "CString.h"
#include "Object.h"

class CWnd;

class CMenu : public CObject {
    DECLARE_DYNCREATE(CMenu)
public:
    CMenu() = default;
    ~CMenu() override;

    HMENU m_hMenu = nullptr;
    operator HMENU() const { return m_hMenu; }

    static CMenu* FromHandle(HMENU hMenu);
    static CMenu* FromHandlePermanent(HMENU hMenu);
    static void DeleteTempMap();
    // Frees the calling thread's maps as a framework thread ends.
    static void DeleteThreadState();
    // The permanent menu object of the pop-up that holds command nID: looked
    // for below hRoot first, then among all permanent menus of the thread.
    static CMenu* FindPopupMenuFromID(HMENU hRoot, UINT nID);
    // FALSE when this object already has a menu or hMenu already has a
    // permanent object: one binding at a time on either side.
    BOOL Attach(HMENU hMenu);
    HMENU Detach();

    BOOL CreatePopupMenu();
    virtual BOOL DestroyMenu();

    BOOL ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCSTR lpszNewItem = nullptr)
    {
        return ::ModifyMenuA(m_hMenu, nPosition, nFlags, nIDNewItem, lpszNewItem);
    }
    UINT GetMenuItemCount() const { return UINT(::GetMenuItemCount(m_hMenu)); }
    UINT GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
    UINT GetMenuState(UINT nID, UINT nFlags) const { return ::GetMenuState(m_hMenu, nID, nFlags); }
    UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable) { return ::EnableMenuItem(m_hMenu, nIDEnableItem, nEnable); }
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect = nullptr);

    virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct);
};
