// Owner-drawn pop-up menus with a check column, aligned shortcut texts and
// mnemonic handling.
//
// LoadMenu builds the menu from a menu resource: the top level stays string
// items, every item below it becomes owner-drawn and carries a
// CIconMenuData record (its text, flags and id). It refuses an object that
// holds a menu already (DestroyMenu first). A frame routes three
// messages through the class-wide operations: WM_INITMENUPOPUP (after the
// command-update pass) to UpdateIconMenu, WM_MEASUREITEM to MeasureItem and
// WM_MENUCHAR to FindMnemonic, each only for menus IsIconMenu recognises.
// WM_DRAWITEM reaches DrawItem through the window's default handling,
// because each CIconMenu is the permanent object of its menu handle.
// What an item looks like is decided in IconMenuLayout.h; IconMenuDraw.cpp
// only carries it out.
#pragma once
#include "afxwin.h"

class CDC;

class CIconMenuData {
public:
    CIconMenuData() = default;
    ~CIconMenuData();
    CIconMenuData(const CIconMenuData&) = delete;
    CIconMenuData& operator=(const CIconMenuData&) = delete;

    CString GetText() const;
    void SetText(LPCSTR lpszText);
    void SetWideText(LPCWSTR lpszText);

    LPWSTR m_pText = nullptr;
    UINT m_nFlags = 0;
    UINT_PTR m_nID = 0;  // command id, or the pop-up's menu handle
    BOOL m_bClaimed = FALSE;
};

enum { OS_WIN32S = 0, OS_WIN95 = 1, OS_NT3 = 2, OS_NT4 = 3 };

class CIconMenu : public CMenu {
public:
    CIconMenu();
    ~CIconMenu() override;

    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
    void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) override;
    virtual BOOL LoadMenu(UINT nIDResource);
    virtual BOOL LoadMenu(LPCSTR lpszResourceName);
    BOOL DestroyMenu() override;

    void AppendIconItem(LPCWSTR pszText, UINT nFlags, UINT_PTR nID);
    CIconMenuData* AttachItemAt(UINT nPos, UINT nFlags, UINT_PTR nID, CString strText);
    void AlignShortcutText();
    void SyncItemData();
    CIconMenuData* TakeItemData(UINT_PTR nID);
    void SetAllClaimed(BOOL bClaimed);
    void DeleteUnclaimedItems();  // also drops them from m_Items
    BOOL GetItemText(UINT nPos, CString& strText);

    static BOOL IsIconMenu(HMENU hMenu);
    static BOOL IsIconMenu(CMenu* pMenu);
    // A pop-up that SyncItemData attached has no CIconMenu object: both
    // leave such a menu to the system (FindMnemonic answers 0).
    static LRESULT FindMnemonic(UINT nChar, UINT nFlags, CMenu* pMenu);
    static void UpdateIconMenu(CMenu* pMenu);
    static int GetOsKind();
    static BOOL IsNewShell();

    BOOL DrawCheckBox(CDC* pDC, const RECT* pCell, BOOL bSelected, HBITMAP hbmChecked);
    void DrawCheckMark(CDC* pDC, int x, int y, COLORREF colour);
    void DrawRadioDot(CDC* pDC, int x, int y, COLORREF colour);

    CPtrArray m_Items;     // CIconMenuData*, in item position order
    CPtrArray m_SubMenus;  // HMENU of the pop-ups this menu's LoadMenu made
    int m_nIconWidth = 16;
    int m_nIconHeight = 15;

    static CPtrArray s_AllSubMenus;
    static int s_nOsKind;
};
