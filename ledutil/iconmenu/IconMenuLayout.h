// What an icon-menu item looks like, computed without drawing anything.
//
// CIconMenu::MeasureItem and DrawItem (IconMenuDraw.cpp) and
// AlignShortcutText ask these functions for every size, rectangle, colour
// and text split, then carry the answer out with GDI calls. Everything here
// depends only on the item's flags and text, the draw-item rectangle and
// state, a few metrics and the system colours passed in, so the look can be
// checked case by case without a device context.
#pragma once
#include <windows.h>

#include "afxwin.h"

// The system colours an item is painted with, read afresh for every call so
// that a colour change shows at the next drawing.
struct IconMenuColours {
    COLORREF crMenu;           // COLOR_MENU
    COLORREF crMenuText;       // COLOR_MENUTEXT
    COLORREF crHighlight;      // COLOR_HIGHLIGHT
    COLORREF crHighlightText;  // COLOR_HIGHLIGHTTEXT
    COLORREF crGrayText;       // COLOR_GRAYTEXT
    COLORREF crBtnHighlight;   // COLOR_BTNHIGHLIGHT
    COLORREF cr3DLight;        // COLOR_3DLIGHT
};
IconMenuColours ReadIconMenuColours();

// Row size: a separator is half a standard menu row high and has no width;
// any other item has room for the icon column on both sides of its text
// and is never lower than the icon cell plus a two-pixel margin.
SIZE IconMenuItemSize(BOOL bSeparator, int cyMenu, int cxText, int nIconWidth, int nIconHeight);

// Width estimate used where only a calculating DrawText is available:
// the drawn width plus three pixels, widened by three times the average
// character width so that the system's own padding fits.
int IconMenuEstimatedTextWidth(int cxDrawn, int nChars);

// Vertical offset of the icon cell inside a row taller than the cell's
// 19-pixel slot.
int IconMenuCellOffset(const RECT& rcItem, int nIconHeight);

// The text of an item split at its tabs: the label is what precedes the
// first tab; the shortcut is what follows the last one.
struct IconMenuTextParts {
    CString strLabel;
    CString strShortcut;
    BOOL bHasTab;
};
IconMenuTextParts SplitIconMenuText(const CString& strText);

// One pass of text drawing: label (left-aligned) and shortcut
// (right-aligned) in rcText with crText.
struct IconMenuTextPass {
    RECT rcText;
    COLORREF crText;
};

struct IconMenuItemLayout {
    BOOL bSeparator;
    RECT rcEtch;          // separator: EDGE_ETCHED along this rectangle's top
    RECT rcFill;          // background, filled with crFill
    COLORREF crFill;
    BOOL bCheckCell;      // checked: the 16 x 15 cell at rcCell
    RECT rcCell;
    IconMenuTextParts text;
    int nPasses;          // 0 for an empty text
    IconMenuTextPass passes[2];
};

IconMenuItemLayout LayoutIconMenuItem(UINT nItemFlags, const RECT& rcItem, UINT nItemState,
                                      const CString& strText, const IconMenuColours& colours,
                                      int nIconWidth, int nIconHeight);

// The check cell: its face, whether it is sunken, and which mark goes where.
struct IconMenuCheckCell {
    COLORREF crFace;
    BOOL bSunken;
    BOOL bRadioDot;       // the item has a checked-state bitmap of its own
    POINT ptMark;         // origin of the tick or the dot
    COLORREF crMark;
};
IconMenuCheckCell LayoutIconMenuCheckCell(const RECT& rcCell, BOOL bSelected, BOOL bNewShell,
                                          BOOL bHasCheckBitmap, const IconMenuColours& colours);

// The 21 pixels of the tick, as offsets from its origin.
enum { ICONMENU_TICK_PIXELS = 21 };
const POINT* IconMenuTickPixels();

// Shortcut alignment. The width every label must reach is that of the
// widest label followed by one space (-1 for no items); texts without a tab
// count with their whole text.
typedef int (*IconMenuMeasureFn)(void* pContext, const CString& strText);
int IconMenuLabelTarget(const CString* pTexts, int nTexts, IconMenuMeasureFn pfnMeasure, void* pContext);
// The text with spaces appended to its label until the label is as wide
// as cxTarget; a text without a tab comes back unchanged.
CString PadIconMenuLabel(const CString& strText, int cxTarget, IconMenuMeasureFn pfnMeasure, void* pContext);
