#include "IconMenu.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "IconMenuLayout.h"
#include "MenuGdi.h"
#include "MenuTemplateReader.h"

// Handles and command identifiers share the item-id argument of the menu
// functions, a UINT_PTR: 32 bits in the 32-bit build, as the menu records
// have always kept them.
static_assert(sizeof(OSVERSIONINFOA) == 148, "GetOsKind hands the system the 148-byte OSVERSIONINFOA");

CPtrArray CIconMenu::s_AllSubMenus;
int CIconMenu::s_nOsKind = CIconMenu::GetOsKind();

namespace {
void RemoveAllOf(CPtrArray& array, void* p)
{
    for (int i = array.GetUpperBound(); i >= 0; --i)
        if (array.GetAt(i) == p)
            array.RemoveAt(i);
}

// The item's own string; owner-drawn items have none.
CString MenuItemString(HMENU hMenu, UINT nPos)
{
    CString str;
    int n = ::GetMenuStringA(hMenu, nPos, nullptr, 0, MF_BYPOSITION);
    if (n < 1)
        return str;
    int cb = 2 * n + 2;
    int nGot = ::GetMenuStringA(hMenu, nPos, str.GetBuffer(cb), cb, MF_BYPOSITION);
    str.ReleaseBuffer(nGot > 0 ? -1 : 0);
    return str;
}
}  // namespace

// ---- CIconMenuData ---------------------------------------------------------

CIconMenuData::~CIconMenuData() { delete[] m_pText; }

CString CIconMenuData::GetText() const
{
    CString str;
    if (!m_pText)
        return str;
    int cb = ::WideCharToMultiByte(CP_ACP, 0, m_pText, -1, nullptr, 0, nullptr, nullptr);
    if (cb > 1) {
        ::WideCharToMultiByte(CP_ACP, 0, m_pText, -1, str.GetBuffer(cb - 1), cb, nullptr, nullptr);
        str.ReleaseBuffer(cb - 1);
    }
    return str;
}

void CIconMenuData::SetText(LPCSTR lpszText)
{
    if (!lpszText) {
        SetWideText(nullptr);
        return;
    }
    int cch = ::MultiByteToWideChar(CP_ACP, 0, lpszText, -1, nullptr, 0);
    std::wstring wide(cch > 0 ? cch : 1, L'\0');
    if (cch > 0)
        ::MultiByteToWideChar(CP_ACP, 0, lpszText, -1, &wide[0], cch);
    SetWideText(wide.c_str());
}

void CIconMenuData::SetWideText(LPCWSTR lpszText)
{
    LPWSTR pNew = nullptr;
    if (lpszText) {
        size_t n = wcslen(lpszText) + 1;
        pNew = new WCHAR[n];
        memcpy(pNew, lpszText, n * sizeof(WCHAR));
    }
    delete[] m_pText;
    m_pText = pNew;
}

// ---- CIconMenu -------------------------------------------------------------

CIconMenu::CIconMenu() = default;

CIconMenu::~CIconMenu() { DestroyMenu(); }

int CIconMenu::GetOsKind()
{
    DWORD dwVersion = ::GetVersion();
    if (dwVersion & 0x80000000)
        return LOBYTE(LOWORD(dwVersion)) >= 4 ? OS_WIN95 : OS_WIN32S;
    OSVERSIONINFOA* pInfo = static_cast<OSVERSIONINFOA*>(malloc(sizeof(OSVERSIONINFOA)));
    if (!pInfo)
        return OS_NT3;
    memset(pInfo, 0, sizeof(*pInfo));
    pInfo->dwOSVersionInfoSize = sizeof(*pInfo);
    ::GetVersionExA(pInfo);
    int nKind = pInfo->dwMajorVersion >= 4 ? OS_NT4 : OS_NT3;
    free(pInfo);
    return nKind;
}

BOOL CIconMenu::IsNewShell() { return s_nOsKind == OS_WIN95 || s_nOsKind == OS_NT4; }

BOOL CIconMenu::LoadMenu(UINT nIDResource) { return LoadMenu(MAKEINTRESOURCEA(nIDResource & 0xFFFF)); }

BOOL CIconMenu::LoadMenu(LPCSTR lpszResourceName)
{
    // A loaded menu keeps its records and handle: loading another over it
    // would mix the two. DestroyMenu first.
    if (m_hMenu)
        return FALSE;
    HINSTANCE hInst = AfxFindResourceHandle(lpszResourceName, RT_MENU);
    HRSRC hRsrc = ::FindResourceA(hInst, lpszResourceName, RT_MENU);
    if (!hRsrc)
        return FALSE;
    HGLOBAL hGlobal = ::LoadResource(hInst, hRsrc);
    if (!hGlobal)
        return FALSE;
    HMENU hMenu = ::CreateMenu();
    if (!Attach(hMenu)) {
        if (hMenu)
            ::DestroyMenu(hMenu);
        return FALSE;
    }

    CMenuTemplateReader reader(::LockResource(hGlobal), ::SizeofResource(hInst, hRsrc));
    std::vector<CIconMenu*> menus(1, this);
    std::vector<BOOL> ends(1, FALSE);
    WORD wFlags, wID;
    std::wstring strText;
    while (!menus.empty() && reader.ReadItem(wFlags, wID, strText)) {
        UINT nFlags = wFlags & ~MF_END;
        if (wFlags & MF_POPUP) {
            // The pop-up's own MF_END closes its parent level, but only once
            // the pop-up's items (which follow) have been read.
            if (wFlags & MF_END)
                ends.back() = TRUE;
            CIconMenu* pPopup = new CIconMenu;
            if (!pPopup->CreatePopupMenu()) {
                delete pPopup;
                break;
            }
            menus.back()->AppendIconItem(strText.c_str(), nFlags, UINT_PTR(pPopup->m_hMenu));
            menus.push_back(pPopup);
            ends.push_back(FALSE);
        } else {
            menus.back()->AppendIconItem(strText.c_str(), nFlags, wID);
            if (wFlags & MF_END)
                ends.back() = TRUE;
            while (!menus.empty() && ends.back()) {
                menus.back()->AlignShortcutText();
                menus.pop_back();
                ends.pop_back();
            }
        }
    }
    // A template cut short leaves levels open: they still get their labels
    // aligned, from the innermost out.
    while (!menus.empty()) {
        menus.back()->AlignShortcutText();
        menus.pop_back();
    }

    // A menu bar's own items are drawn by the system; only pop-up contents
    // stay owner-drawn.
    UINT nCount = GetMenuItemCount();
    for (UINT nPos = 0; nPos < nCount && int(nPos) < m_Items.GetSize(); ++nPos) {
        CIconMenuData* pData = static_cast<CIconMenuData*>(m_Items[nPos]);
        CString str = pData->GetText();
        if (HMENU hSub = ::GetSubMenu(m_hMenu, nPos)) {
            pData->m_nFlags = MF_BYPOSITION | MF_POPUP;
            ModifyMenu(nPos, MF_BYPOSITION | MF_POPUP, UINT_PTR(hSub), str);
        } else {
            pData->m_nFlags = MF_BYPOSITION;
            ModifyMenu(nPos, MF_BYPOSITION, pData->m_nID, str);
        }
    }
    return TRUE;
}

void CIconMenu::AppendIconItem(LPCWSTR pszText, UINT nFlags, UINT_PTR nID)
{
    // Identifier 0 is a separator whatever the template says about it.
    UINT nItemFlags = nID == 0 ? (nFlags & MF_BYPOSITION) | MF_SEPARATOR | MF_OWNERDRAW : nFlags | MF_OWNERDRAW;
    if (nItemFlags & MF_POPUP) {
        s_AllSubMenus.Add(reinterpret_cast<void*>(nID));
        m_SubMenus.Add(reinterpret_cast<void*>(nID));
    }
    CIconMenuData* pData = new CIconMenuData;
    pData->SetWideText(pszText);
    pData->m_bClaimed = FALSE;
    m_Items.Add(pData);
    pData->m_nFlags = nItemFlags;
    pData->m_nID = nID;
    ::AppendMenuA(m_hMenu, nItemFlags, nID, reinterpret_cast<LPCSTR>(pData));
}

CIconMenuData* CIconMenu::AttachItemAt(UINT nPos, UINT nFlags, UINT_PTR nID, CString strText)
{
    CIconMenuData* pData = new CIconMenuData;
    pData->SetText(strText);
    pData->m_nFlags = nFlags;
    pData->m_nID = nID;
    // Listed for the frame's routing, but not in m_SubMenus: this menu did
    // not create that pop-up and must not delete it.
    if (nFlags & MF_POPUP)
        s_AllSubMenus.Add(reinterpret_cast<void*>(nID));
    ::ModifyMenuA(m_hMenu, nPos, nFlags, nID, (nFlags & MF_OWNERDRAW) ? reinterpret_cast<LPCSTR>(pData) : nullptr);
    return pData;
}

namespace {
struct MeasureContext {
    HDC hDC;
};

int MeasureNarrow(void* pContext, const CString& str)
{
    SIZE size{};
    ::GetTextExtentPoint32A(static_cast<MeasureContext*>(pContext)->hDC, str, str.GetLength(), &size);
    return size.cx;
}
}  // namespace

void CIconMenu::AlignShortcutText()
{
    CGdiHandle<HFONT> font(CreateMenuFont());
    CMeasureDC dc;
    CSelectScope select(dc.Get(), font.Get());
    MeasureContext context = {dc.Get()};

    UINT nCount = GetMenuItemCount();
    if (int(nCount) <= 0)
        return;
    std::vector<CString> texts(nCount);
    std::vector<BOOL> have(nCount, FALSE);
    for (UINT nPos = 0; nPos < nCount; ++nPos)
        have[nPos] = GetItemText(nPos, texts[nPos]);
    int cxTarget = IconMenuLabelTarget(texts.data(), int(nCount), MeasureNarrow, &context);
    for (UINT nPos = 0; nPos < nCount; ++nPos) {
        if (!have[nPos] || texts[nPos].Find('\t') < 0)
            continue;
        CString strPadded = PadIconMenuLabel(texts[nPos], cxTarget, MeasureNarrow, &context);
        static_cast<CIconMenuData*>(m_Items[nPos])->SetText(strPadded);
    }
}

void CIconMenu::SyncItemData()
{
    // No menu (a null or destroyed handle counts -1 items): nothing to match,
    // and the records stay as they are.
    if (int(GetMenuItemCount()) < 0)
        return;
    SetAllClaimed(FALSE);
    CPtrArray newItems;
    for (UINT nPos = 0; int(nPos) < int(GetMenuItemCount()); ++nPos) {
        UINT nState = GetMenuState(nPos, MF_BYPOSITION);
        CIconMenuData* pData;
        if (nState & MF_POPUP) {
            HMENU hSub = ::GetSubMenu(m_hMenu, nPos);
            UINT_PTR nSub = UINT_PTR(hSub);
            pData = TakeItemData(nSub);
            CString str = MenuItemString(m_hMenu, nPos);
            if (!pData)
                // The high byte of a pop-up's state is its item count, not a flag.
                pData = AttachItemAt(nPos, (nState & 0xEF) | MF_BYPOSITION | MF_OWNERDRAW | MF_POPUP, nSub, str);
            else if (!str.IsEmpty())
                pData->SetText(str);
        } else if (nState & MF_SEPARATOR) {
            pData = TakeItemData(0);
            if (pData)
                ModifyMenu(nPos, pData->m_nFlags | MF_BYPOSITION, 0, reinterpret_cast<LPCSTR>(pData));
            else
                pData = AttachItemAt(nPos, nState | MF_BYPOSITION | MF_SEPARATOR | MF_OWNERDRAW, 0, CString());
        } else {
            UINT nID = GetMenuItemID(nPos);
            pData = TakeItemData(nID);
            CString str = MenuItemString(m_hMenu, nPos);
            UINT nFlags = nState | MF_BYPOSITION | MF_OWNERDRAW;
            if (!pData) {
                pData = AttachItemAt(nPos, nFlags, nID, str);
            } else {
                pData->m_nFlags = nFlags;
                // An item still owner-drawn has no string: its record keeps
                // the text it had.
                if (!str.IsEmpty())
                    pData->SetText(str);
                ModifyMenu(nPos, nFlags, nID, reinterpret_cast<LPCSTR>(pData));
            }
        }
        newItems.Add(pData);
    }
    DeleteUnclaimedItems();
    m_Items.RemoveAll();
    for (int i = 0; i < newItems.GetSize(); ++i)
        m_Items.Add(newItems[i]);
}

CIconMenuData* CIconMenu::TakeItemData(UINT_PTR nID)
{
    for (int i = 0; i < m_Items.GetSize(); ++i) {
        CIconMenuData* pData = static_cast<CIconMenuData*>(m_Items[i]);
        if (pData->m_nID == nID && !pData->m_bClaimed) {
            pData->m_bClaimed = TRUE;
            return pData;
        }
    }
    return nullptr;
}

void CIconMenu::SetAllClaimed(BOOL bClaimed)
{
    for (int i = 0; i < m_Items.GetSize(); ++i)
        static_cast<CIconMenuData*>(m_Items[i])->m_bClaimed = bClaimed;
}

void CIconMenu::DeleteUnclaimedItems()
{
    // Dropped from m_Items as well, so that the array never holds a
    // deleted record.
    for (int i = m_Items.GetUpperBound(); i >= 0; --i) {
        CIconMenuData* pData = static_cast<CIconMenuData*>(m_Items[i]);
        if (!pData->m_bClaimed) {
            delete pData;
            m_Items.RemoveAt(i);
        }
    }
}

BOOL CIconMenu::GetItemText(UINT nPos, CString& strText)
{
    if (nPos >= UINT(m_Items.GetSize()))
        return FALSE;
    strText = static_cast<CIconMenuData*>(m_Items[int(nPos)])->GetText();
    return TRUE;
}

BOOL CIconMenu::DestroyMenu()
{
    RemoveAllOf(s_AllSubMenus, m_hMenu);
    for (int i = m_SubMenus.GetUpperBound(); i >= 0; --i) {
        HMENU hSub = static_cast<HMENU>(m_SubMenus[i]);
        RemoveAllOf(s_AllSubMenus, hSub);
        // Only the permanent object is ours: a temporary one would be made
        // up for the occasion and left dangling in the handle map. Its
        // destructor frees the tree below it.
        if (CMenu* pSub = CMenu::FromHandlePermanent(hSub))
            delete pSub;
    }
    m_SubMenus.RemoveAll();
    for (int i = 0; i < m_Items.GetSize(); ++i)
        delete static_cast<CIconMenuData*>(m_Items[i]);
    m_Items.RemoveAll();
    return CMenu::DestroyMenu();
}

BOOL CIconMenu::IsIconMenu(HMENU hMenu)
{
    for (int i = 0; i < s_AllSubMenus.GetSize(); ++i)
        if (s_AllSubMenus[i] == hMenu)
            return TRUE;
    return FALSE;
}

BOOL CIconMenu::IsIconMenu(CMenu* pMenu) { return IsIconMenu(pMenu ? pMenu->m_hMenu : nullptr); }

LRESULT CIconMenu::FindMnemonic(UINT nChar, UINT nFlags, CMenu* pMenu)
{
    if (!pMenu || !(nFlags & MF_POPUP))
        return 0;
    // A pop-up attached by SyncItemData has no icon-menu object of its own;
    // the system's own mnemonic search serves it.
    CIconMenu* pIconMenu = dynamic_cast<CIconMenu*>(pMenu);
    if (!pIconMenu)
        return 0;
    // A null or destroyed handle counts -1 items.
    int nCount = int(pIconMenu->GetMenuItemCount());
    if (nCount < 0)
        return 0;
    CString strKey('&');
    strKey += char(nChar);
    strKey.MakeLower();
    if (nCount != pIconMenu->m_Items.GetSize()) {
        pIconMenu->SyncItemData();
        nCount = int(pIconMenu->GetMenuItemCount());
    }
    for (int nPos = 0; nPos < nCount; ++nPos) {
        CString str;
        if (!pIconMenu->GetItemText(nPos, str))
            continue;
        str.MakeLower();
        if (str.Find(strKey) >= 0)
            return MAKELRESULT(nPos, MNC_EXECUTE);
    }
    return 0;
}

void CIconMenu::UpdateIconMenu(CMenu* pMenu)
{
    if (!pMenu)
        return;
    if (CIconMenu* pIconMenu = dynamic_cast<CIconMenu*>(pMenu))
        pIconMenu->SyncItemData();
}
