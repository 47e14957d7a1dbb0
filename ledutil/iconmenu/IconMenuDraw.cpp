// The GDI side of CIconMenu's measuring and drawing: each function asks
// IconMenuLayout for its decisions and carries them out.
#include <string.h>

#include "IconMenu.h"
#include "IconMenuLayout.h"
#include "MenuGdi.h"

#ifndef _WIN64
static_assert(sizeof(MENUITEMINFOA) == 48, "the check bitmap is read with the 48-byte MENUITEMINFOA");
#endif

void CIconMenu::MeasureItem(LPMEASUREITEMSTRUCT lpMIS)
{
    const CIconMenuData* pData = reinterpret_cast<const CIconMenuData*>(lpMIS->itemData);
    if (!pData)
        return;
    int cyMenu = ::GetSystemMetrics(SM_CYMENU);
    if (pData->m_nFlags & MF_SEPARATOR) {
        SIZE size = IconMenuItemSize(TRUE, cyMenu, 0, m_nIconWidth, m_nIconHeight);
        lpMIS->itemWidth = UINT(size.cx);
        lpMIS->itemHeight = UINT(size.cy);
        return;
    }

    CGdiHandle<HFONT> font(CreateMenuFont());
    int cxText = 0;
    {
        CMeasureDC dc;
        // The older shells measure in the DC's own font; keeping that
        // preserves their row widths.
        CSelectScope select(dc.Get(), IsNewShell() ? font.Get() : nullptr);
        if (s_nOsKind != OS_WIN32S) {
            SIZE size{};
            if (pData->m_pText)
                ::GetTextExtentPoint32W(dc.Get(), pData->m_pText, int(wcslen(pData->m_pText)), &size);
            cxText = size.cx;
        } else {
            // Win32s has no wide text functions: measure the narrow form.
            CString str = pData->GetText();
            RECT rc = {0, 0, 0, 0};
            ::DrawTextA(dc.Get(), str, str.GetLength(), &rc, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
            cxText = IconMenuEstimatedTextWidth(rc.right - rc.left, str.GetLength());
        }
    }
    SIZE size = IconMenuItemSize(FALSE, cyMenu, cxText, m_nIconWidth, m_nIconHeight);
    lpMIS->itemWidth = UINT(size.cx);
    lpMIS->itemHeight = UINT(size.cy);
}

void CIconMenu::DrawItem(LPDRAWITEMSTRUCT lpDIS)
{
    const CIconMenuData* pData = reinterpret_cast<const CIconMenuData*>(lpDIS->itemData);
    if (!pData)
        return;
    CDC dc;
    dc.Attach(lpDIS->hDC);
    IconMenuColours colours = ReadIconMenuColours();
    CString strText = pData->GetText();
    IconMenuItemLayout lay = LayoutIconMenuItem(pData->m_nFlags, lpDIS->rcItem, lpDIS->itemState, strText, colours,
                                                m_nIconWidth, m_nIconHeight);
    if (lay.bSeparator) {
        dc.DrawEdge(&lay.rcEtch, EDGE_ETCHED, BF_TOP);
        dc.Detach();
        return;
    }

    CGdiHandle<HFONT> font(CreateMenuFont());
    {
        CGdiHandle<HBRUSH> brush(::CreateSolidBrush(lay.crFill));
        dc.FillRect(&lay.rcFill, brush.Get());
    }

    if (lay.bCheckCell) {
        MENUITEMINFOA mii;
        memset(&mii, 0, sizeof(mii));
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_CHECKMARKS;
        ::GetMenuItemInfoA(reinterpret_cast<HMENU>(lpDIS->hwndItem), lpDIS->itemID, FALSE, &mii);
        DrawCheckBox(&dc, &lay.rcCell, (lpDIS->itemState & ODS_SELECTED) != 0, mii.hbmpChecked);
    }

    if (lay.nPasses) {
        int nOldMode = dc.GetBkMode();
        dc.SetBkMode(TRANSPARENT);
        HGDIOBJ hOldFont = dc.SelectObject(font.Get());
        for (int i = 0; i < lay.nPasses; ++i) {
            RECT rc = lay.passes[i].rcText;
            dc.SetTextColor(lay.passes[i].crText);
            dc.DrawText(lay.text.strLabel, &rc, DT_SINGLELINE | DT_VCENTER);
            if (lay.text.bHasTab)
                dc.DrawText(lay.text.strShortcut, &rc, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        }
        dc.SelectObject(hOldFont);
        dc.SetBkMode(nOldMode);
    }
    // The DC is the system's: it must not be deleted with the wrapper.
    dc.Detach();
}

BOOL CIconMenu::DrawCheckBox(CDC* pDC, const RECT* pCell, BOOL bSelected, HBITMAP hbmChecked)
{
    IconMenuCheckCell cell =
        LayoutIconMenuCheckCell(*pCell, bSelected, IsNewShell(), hbmChecked != nullptr, ReadIconMenuColours());
    {
        CGdiHandle<HBRUSH> brush(::CreateSolidBrush(cell.crFace));
        pDC->FillRect(pCell, brush.Get());
    }
    if (cell.bSunken) {
        RECT rc = *pCell;
        pDC->DrawEdge(&rc, BDR_SUNKENOUTER, BF_RECT);
    }
    // A radio-style item has a checked-state bitmap of its own; the dot
    // stands in for it rather than the bitmap being drawn.
    if (cell.bRadioDot)
        DrawRadioDot(pDC, cell.ptMark.x, cell.ptMark.y, cell.crMark);
    else
        DrawCheckMark(pDC, cell.ptMark.x, cell.ptMark.y, cell.crMark);
    return TRUE;
}

void CIconMenu::DrawCheckMark(CDC* pDC, int x, int y, COLORREF colour)
{
    const POINT* pPixels = IconMenuTickPixels();
    for (int i = 0; i < ICONMENU_TICK_PIXELS; ++i)
        pDC->SetPixel(x + pPixels[i].x, y + pPixels[i].y, colour);
}

void CIconMenu::DrawRadioDot(CDC* pDC, int x, int y, COLORREF colour)
{
    CGdiHandle<HBRUSH> brush(::CreateSolidBrush(colour));
    CGdiHandle<HPEN> pen(::CreatePen(PS_SOLID, 0, colour));
    HGDIOBJ hOldBrush = pDC->SelectObject(brush.Get());
    HGDIOBJ hOldPen = pDC->SelectObject(pen.Get());
    pDC->Ellipse(x, y, x + 6, y + 6);
    pDC->SelectObject(hOldPen);
    pDC->SelectObject(hOldBrush);
}
