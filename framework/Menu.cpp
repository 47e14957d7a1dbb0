#include "Menu.h"

#include <unordered_map>

#include "Wnd.h"

IMPLEMENT_DYNCREATE(CMenu, CObject)

namespace {
struct MenuMaps {
    std::unordered_map<HMENU, CMenu*> permanent;
    std::unordered_map<HMENU, CMenu*> temporary;
};

// A plain pointer for the reason given in Wnd.cpp.
thread_local MenuMaps* t_pMaps = nullptr;

MenuMaps& Maps()
{
    if (!t_pMaps)
        t_pMaps = new MenuMaps;
    return *t_pMaps;
}

BOOL MenuHoldsID(HMENU hMenu, UINT nID)
{
    int n = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < n; ++i)
        if (!::GetSubMenu(hMenu, i) && ::GetMenuItemID(hMenu, i) == nID)
            return TRUE;
    return FALSE;
}

HMENU FindPopupBelow(HMENU hMenu, UINT nID)
{
    int n = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < n; ++i) {
        HMENU hSub = ::GetSubMenu(hMenu, i);
        if (!hSub)
            continue;
        if (MenuHoldsID(hSub, nID))
            return hSub;
        if (HMENU h = FindPopupBelow(hSub, nID))
            return h;
    }
    return nullptr;
}
}  // namespace

CMenu::~CMenu()
{
    // Temporary objects only wrap a handle; permanent ones own their menu.
    if (m_hMenu && Maps().permanent.count(m_hMenu))
        DestroyMenu();
}

CMenu* CMenu::FromHandlePermanent(HMENU hMenu)
{
    auto& map = Maps().permanent;
    auto it = map.find(hMenu);
    return it == map.end() ? nullptr : it->second;
}

CMenu* CMenu::FromHandle(HMENU hMenu)
{
    if (!hMenu)
        return nullptr;
    if (CMenu* p = FromHandlePermanent(hMenu))
        return p;
    CMenu*& pTemp = Maps().temporary[hMenu];
    if (!pTemp) {
        pTemp = new CMenu;
        pTemp->m_hMenu = hMenu;
    }
    return pTemp;
}

void CMenu::DeleteTempMap()
{
    auto& map = Maps().temporary;
    for (auto& entry : map) {
        entry.second->m_hMenu = nullptr;
        delete entry.second;
    }
    map.clear();
}

void CMenu::DeleteThreadState()
{
    if (!t_pMaps)
        return;
    DeleteTempMap();
    delete t_pMaps;
    t_pMaps = nullptr;
}

CMenu* CMenu::FindPopupMenuFromID(HMENU hRoot, UINT nID)
{
    if (hRoot) {
        HMENU h = MenuHoldsID(hRoot, nID) ? hRoot : FindPopupBelow(hRoot, nID);
        if (CMenu* p = h ? FromHandlePermanent(h) : nullptr)
            return p;
    }
    for (auto& entry : Maps().permanent)
        if (MenuHoldsID(entry.first, nID))
            return entry.second;
    return nullptr;
}

BOOL CMenu::Attach(HMENU hMenu)
{
    if (!hMenu || m_hMenu || FromHandlePermanent(hMenu))
        return FALSE;
    // A temporary object of this handle stays in its map, to be deleted
    // with the map at idle time: a caller may still hold it. FromHandle
    // answers with the permanent object from now on.
    Maps().permanent[hMenu] = this;
    m_hMenu = hMenu;
    return TRUE;
}

BOOL CMenu::CreatePopupMenu()
{
    HMENU hMenu = ::CreatePopupMenu();
    if (Attach(hMenu))
        return TRUE;
    if (hMenu)
        ::DestroyMenu(hMenu);
    return FALSE;
}

HMENU CMenu::Detach()
{
    HMENU hMenu = m_hMenu;
    if (hMenu)
        Maps().permanent.erase(hMenu);
    m_hMenu = nullptr;
    return hMenu;
}

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu)
        return FALSE;
    return ::DestroyMenu(Detach());
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect)
{
    return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd ? pWnd->m_hWnd : nullptr, lpRect);
}

void CMenu::DrawItem(LPDRAWITEMSTRUCT) {}

void CMenu::MeasureItem(LPMEASUREITEMSTRUCT) {}
