#include "IconMenuLayout.h"

IconMenuColours ReadIconMenuColours()
{
    IconMenuColours c;
    c.crMenu = ::GetSysColor(COLOR_MENU);
    c.crMenuText = ::GetSysColor(COLOR_MENUTEXT);
    c.crHighlight = ::GetSysColor(COLOR_HIGHLIGHT);
    c.crHighlightText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
    c.crGrayText = ::GetSysColor(COLOR_GRAYTEXT);
    c.crBtnHighlight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    c.cr3DLight = ::GetSysColor(COLOR_3DLIGHT);
    return c;
}

SIZE IconMenuItemSize(BOOL bSeparator, int cyMenu, int cxText, int nIconWidth, int nIconHeight)
{
    SIZE size;
    if (bSeparator) {
        size.cx = 0;
        size.cy = cyMenu >> 1;
        return size;
    }
    size.cx = cxText + 2 * nIconWidth + 1;
    size.cy = cyMenu > nIconHeight + 4 ? cyMenu : nIconHeight + 4;
    return size;
}

int IconMenuEstimatedTextWidth(int cxDrawn, int nChars)
{
    UINT cx = UINT(cxDrawn + 3);
    // A text of no characters has no average width to add.
    if (nChars <= 0)
        return int(cx);
    return int(cx + 3 * (cx / UINT(nChars)));
}

int IconMenuCellOffset(const RECT& rcItem, int nIconHeight)
{
    int dy = (rcItem.bottom - rcItem.top - nIconHeight - 4) / 2;
    return dy < 0 ? 0 : dy;
}

IconMenuTextParts SplitIconMenuText(const CString& strText)
{
    IconMenuTextParts parts;
    int nFirst = strText.Find('\t');
    parts.bHasTab = nFirst >= 0;
    if (!parts.bHasTab) {
        parts.strLabel = strText;
        return parts;
    }
    parts.strLabel = strText.Left(nFirst);
    parts.strShortcut = strText.Mid(strText.ReverseFind('\t') + 1);
    return parts;
}

IconMenuItemLayout LayoutIconMenuItem(UINT nItemFlags, const RECT& rcItem, UINT nItemState,
                                      const CString& strText, const IconMenuColours& colours,
                                      int nIconWidth, int nIconHeight)
{
    IconMenuItemLayout lay{};
    if (nItemFlags & MF_SEPARATOR) {
        lay.bSeparator = TRUE;
        lay.rcEtch = rcItem;
        lay.rcEtch.top = rcItem.top + ((rcItem.bottom - rcItem.top) >> 1);
        return lay;
    }

    BOOL bSelected = (nItemState & ODS_SELECTED) != 0;
    BOOL bGrayed = (nItemState & ODS_GRAYED) != 0;
    BOOL bChecked = (nItemState & ODS_CHECKED) != 0;

    COLORREF crText = colours.crMenuText;
    lay.rcFill = rcItem;
    if (bSelected) {
        crText = colours.crHighlightText;
        lay.crFill = colours.crHighlight;
        // The icon column of a checked row stays out of the highlight, so
        // the check cell keeps its own face.
        if (bChecked)
            lay.rcFill.left = rcItem.left + nIconWidth + 5;
    } else {
        lay.crFill = colours.crMenu;
    }

    int dy = IconMenuCellOffset(rcItem, nIconHeight);
    if (bChecked) {
        lay.bCheckCell = TRUE;
        lay.rcCell.left = rcItem.left + 1;
        lay.rcCell.top = rcItem.top + dy + 2;
        lay.rcCell.right = rcItem.left + nIconWidth + 1;
        lay.rcCell.bottom = rcItem.top + dy + nIconHeight + 2;
    }

    lay.text = SplitIconMenuText(strText);
    if (strText.IsEmpty())
        return lay;

    RECT rcText = {rcItem.left + nIconWidth + 9, rcItem.top - 1, rcItem.right, rcItem.bottom - 1};
    if (lay.text.bHasTab)
        rcText.right -= nIconWidth;

    if (!bGrayed) {
        lay.passes[lay.nPasses++] = {rcText, crText};
    } else if (bSelected) {
        // Gray text would vanish on the highlight; the menu colour stands out.
        lay.passes[lay.nPasses++] = {rcText, colours.crMenu};
    } else {
        RECT rcShadow = {rcText.left + 1, rcText.top + 1, rcText.right + 1, rcText.bottom + 1};
        lay.passes[lay.nPasses++] = {rcShadow, colours.crBtnHighlight};
        lay.passes[lay.nPasses++] = {rcText, colours.crGrayText};
    }
    return lay;
}

IconMenuCheckCell LayoutIconMenuCheckCell(const RECT& rcCell, BOOL bSelected, BOOL bNewShell,
                                          BOOL bHasCheckBitmap, const IconMenuColours& colours)
{
    IconMenuCheckCell cell;
    cell.crFace = (bNewShell && !bSelected) ? colours.cr3DLight : colours.crMenu;
    cell.bSunken = bNewShell;
    cell.bRadioDot = bHasCheckBitmap;
    cell.ptMark.x = rcCell.left + (bHasCheckBitmap ? 5 : 4);
    cell.ptMark.y = rcCell.top + 4;
    cell.crMark = colours.crMenuText;
    return cell;
}

const POINT* IconMenuTickPixels()
{
    // Three pixels thick: down over three columns, then up to the top right
    // corner of a 7 x 7 square.
    static const POINT s_pixels[ICONMENU_TICK_PIXELS] = {
        {0, 2}, {0, 3}, {0, 4}, {1, 3}, {1, 4}, {1, 5}, {2, 4}, {2, 5}, {2, 6}, {3, 3}, {3, 4},
        {3, 5}, {4, 2}, {4, 3}, {4, 4}, {5, 1}, {5, 2}, {5, 3}, {6, 0}, {6, 1}, {6, 2},
    };
    return s_pixels;
}

namespace {
CString LabelOf(const CString& strText)
{
    int nTab = strText.Find('\t');
    return nTab < 0 ? strText : strText.Left(nTab);
}
}  // namespace

int IconMenuLabelTarget(const CString* pTexts, int nTexts, IconMenuMeasureFn pfnMeasure, void* pContext)
{
    int cxMax = -1;
    for (int i = 0; i < nTexts; ++i) {
        int cx = pfnMeasure(pContext, LabelOf(pTexts[i]) + " ");
        if (cx > cxMax)
            cxMax = cx;
    }
    return cxMax;
}

CString PadIconMenuLabel(const CString& strText, int cxTarget, IconMenuMeasureFn pfnMeasure, void* pContext)
{
    int nTab = strText.Find('\t');
    if (nTab < 0)
        return strText;
    CString strLabel = strText.Left(nTab);
    int cxLast = -1;
    for (;;) {
        strLabel += ' ';
        int cx = pfnMeasure(pContext, strLabel);
        // A font whose space has no width (or a failed measurement) would
        // never reach the target: stop once a space stops adding width.
        if (cx >= cxTarget || cx <= cxLast)
            break;
        cxLast = cx;
    }
    return strLabel + strText.Mid(nTab);
}
