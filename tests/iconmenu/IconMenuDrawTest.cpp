// Measuring and painting of icon-menu items: the size rules, and pixels
// read back from items painted into a memory bitmap with chosen system
// colours, for each item state and shell kind.
#include <set>
#include <utility>

#include "IconMenu.h"
#include "IconMenuLayout.h"
#include "gtest/gtest.h"

TEST(IconMenuSize, RowsAndOffsets)
{
    SIZE sep = IconMenuItemSize(TRUE, 19, 100, 16, 15);
    EXPECT_EQ(sep.cx, 0);
    EXPECT_EQ(sep.cy, 9);
    EXPECT_EQ(IconMenuItemSize(FALSE, 18, 20, 16, 15).cy, 19);
    EXPECT_EQ(IconMenuItemSize(FALSE, 20, 20, 16, 15).cy, 20);
    EXPECT_EQ(IconMenuItemSize(FALSE, 18, 20, 16, 15).cx, 53);
    const std::pair<int, int> heightToOffset[] = {{19, 0}, {20, 0}, {21, 1}, {24, 2}, {12, 0}};
    for (auto& h : heightToOffset)
        EXPECT_EQ(IconMenuCellOffset(RECT{0, 30, 50, 30 + h.first}, 15), h.second) << h.first;
    EXPECT_EQ(IconMenuEstimatedTextWidth(17, 4), 35);
    EXPECT_EQ(IconMenuEstimatedTextWidth(17, 0), 20);
    IconMenuTextParts parts = SplitIconMenuText("A\tB\tC");
    EXPECT_STREQ(parts.strLabel, "A");
    EXPECT_STREQ(parts.strShortcut, "C");
}

TEST(IconMenuSize, MeasureItemUsesTheMenuFontAndTheSystemRowHeight)
{
    CIconMenu menu;
    CIconMenuData text, sep;
    text.SetWideText(L"\x8a2d\x5b9a(&S)\tCtrl+S");
    sep.m_nFlags = MF_SEPARATOR | MF_OWNERDRAW;
    MEASUREITEMSTRUCT mis{ODT_MENU, 0, 1, 0, 0, ULONG_PTR(&sep)};
    menu.MeasureItem(&mis);
    int cyMenu = ::GetSystemMetrics(SM_CYMENU);
    EXPECT_EQ(mis.itemWidth, 0u);
    EXPECT_EQ(int(mis.itemHeight), cyMenu >> 1);

    mis.itemData = ULONG_PTR(&text);
    menu.MeasureItem(&mis);
    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof(ncm);
    ::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
    HFONT hFont = ::CreateFontIndirectA(&ncm.lfMenuFont);
    HDC hDC = ::GetDC(nullptr);
    HGDIOBJ hOld = ::SelectObject(hDC, hFont);
    SIZE size{};
    ::GetTextExtentPoint32W(hDC, text.m_pText, lstrlenW(text.m_pText), &size);
    ::SelectObject(hDC, hOld);
    ::ReleaseDC(nullptr, hDC);
    ::DeleteObject(hFont);
    EXPECT_GT(size.cx, 40);
    EXPECT_EQ(int(mis.itemWidth), size.cx + 33);
    EXPECT_EQ(int(mis.itemHeight), cyMenu > 19 ? cyMenu : 19);
}

namespace {
const int kColourIndex[] = {COLOR_MENU,      COLOR_MENUTEXT, COLOR_HIGHLIGHT,    COLOR_HIGHLIGHTTEXT,
                            COLOR_BTNSHADOW, COLOR_GRAYTEXT, COLOR_BTNHIGHLIGHT, COLOR_3DLIGHT};
enum : COLORREF {
    MENU = RGB(200, 200, 0), MENUTEXT = RGB(0, 0, 160), HILITE = RGB(0, 120, 0), HILITETEXT = RGB(250, 250, 250),
    SHADOW = RGB(90, 90, 90), GRAY = RGB(140, 0, 140), BTNHILITE = RGB(255, 255, 160), LIGHT3D = RGB(160, 220, 255),
    UNPAINTED = RGB(255, 0, 0),
};
const COLORREF kColours[] = {MENU, MENUTEXT, HILITE, HILITETEXT, SHADOW, GRAY, BTNHILITE, LIGHT3D};

// A 32-bit bitmap to paint into, under chosen system colours (which are
// process-wide under Wine, so they are put back afterwards) and shell kind.
class PaintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 8; ++i)
            m_saved[i] = ::GetSysColor(kColourIndex[i]);
        ::SetSysColors(8, kColourIndex, kColours);
        m_savedKind = CIconMenu::s_nOsKind;
        BITMAPINFO bmi{};
        bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB};
        m_hbm = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
        m_dc.CreateCompatibleDC(nullptr);
        m_hOld = m_dc.SelectObject(m_hbm);
        ASSERT_TRUE(m_menu.CreatePopupMenu());
    }
    void TearDown() override
    {
        ::SetSysColors(8, kColourIndex, m_saved);
        CIconMenu::s_nOsKind = m_savedKind;
        m_dc.SelectObject(m_hOld);
        ::DeleteObject(m_hbm);
    }

    // Paints item nItem (appended with pszText and nFlags) at the row
    // (10, 5)-(10 + cx, 5 + cy) over an UNPAINTED background.
    void Paint(LPCWSTR pszText, UINT nFlags, UINT nState, int cx = 170, int cy = 19, HBITMAP hbmChecked = nullptr)
    {
        UINT nID = 100 + m_menu.GetMenuItemCount();
        m_menu.AppendIconItem(pszText, nFlags, nFlags & MF_SEPARATOR ? 0 : nID);
        if (hbmChecked)
            ::SetMenuItemBitmaps(m_menu, nID, MF_BYCOMMAND, nullptr, hbmChecked);
        for (int i = 0; i < kWidth * kHeight; ++i)
            m_bits[i] = 0x00FF0000;  // UNPAINTED in DIB byte order
        m_row = {10, 5, 10 + cx, 5 + cy};
        DRAWITEMSTRUCT dis{ODT_MENU, 0, nID, ODA_DRAWENTIRE, nState, reinterpret_cast<HWND>(m_menu.m_hMenu),
                           m_dc.m_hDC, m_row, ULONG_PTR(m_menu.m_Items[m_menu.m_Items.GetUpperBound()])};
        ::GdiFlush();
        m_menu.DrawItem(&dis);
        ::GdiFlush();
    }
    COLORREF At(int x, int y) const
    {
        DWORD v = m_bits[y * kWidth + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    // The pixels of one colour inside r.
    std::set<std::pair<int, int>> Find(COLORREF cr, const RECT& r) const
    {
        std::set<std::pair<int, int>> s;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (At(x, y) == cr)
                    s.insert({x, y});
        return s;
    }
    // The check cell of the painted row: 16 x 15 at (left + 1, top + 2).
    RECT Cell(int dy = 0) const { return {m_row.left + 1, m_row.top + 2 + dy, m_row.left + 17, m_row.top + 17 + dy}; }

    static const int kWidth = 200, kHeight = 40;
    COLORREF m_saved[8];
    int m_savedKind;
    HBITMAP m_hbm = nullptr;
    DWORD* m_bits = nullptr;
    HGDIOBJ m_hOld = nullptr;
    CDC m_dc;
    CIconMenu m_menu;
    RECT m_row{};
};
}  // namespace

TEST_F(PaintTest, TickIsTwentyOnePixelsInAPlainCellOnTheOlderShells)
{
    // Three pixels thick, in a 7 x 7 square at (left + 5, top + 6).
    const char* const kTick[] = {
        "......#",
        ".....##",
        "#...###",
        "##.###.",
        "#####..",
        ".###...",
        "..#....",
    };
    for (int kind : {OS_NT3, OS_WIN32S}) {
        for (int cy : {19, 21}) {
            CIconMenu::s_nOsKind = kind;
            Paint(L"Item", MF_CHECKED, ODS_CHECKED, 170, cy);
            int dy = cy == 21 ? 1 : 0;
            std::set<std::pair<int, int>> expected;
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 7; ++x)
                    if (kTick[y][x] == '#')
                        expected.insert({m_row.left + 5 + x, m_row.top + dy + 6 + y});
            RECT cell = Cell(dy);
            EXPECT_EQ(Find(MENUTEXT, cell), expected) << kind << " " << cy;
            EXPECT_EQ(Find(MENU, cell).size(), 16u * 15u - 21u) << "no edge, menu face";
        }
    }
}

TEST_F(PaintTest, ItemWithCheckedBitmapGetsTheDotInstead)
{
    CIconMenu::s_nOsKind = OS_NT4;
    HBITMAP hbm = ::CreateBitmap(13, 13, 1, 1, nullptr);
    Paint(L"Radio", MF_CHECKED, ODS_CHECKED, 170, 19, hbm);
    ::DeleteObject(hbm);
    std::set<std::pair<int, int>> dot = Find(MENUTEXT, Cell());
    ASSERT_FALSE(dot.empty());
    for (auto& p : dot) {
        EXPECT_GE(p.first, m_row.left + 6);
        EXPECT_LT(p.first, m_row.left + 12);
        EXPECT_GE(p.second, m_row.top + 6);
        EXPECT_LT(p.second, m_row.top + 12);
    }
    EXPECT_EQ(At(m_row.left + 8, m_row.top + 8), MENUTEXT);
    EXPECT_EQ(At(m_row.left + 9, m_row.top + 9), MENUTEXT);
}

TEST_F(PaintTest, NewerShellSinksTheCellWithALighterFaceUnlessSelected)
{
    for (int kind : {OS_NT4, OS_WIN95}) {
        CIconMenu::s_nOsKind = kind;
        for (UINT sel : {0u, UINT(ODS_SELECTED)}) {
            Paint(L"", MF_CHECKED, ODS_CHECKED | sel);
            RECT c = Cell();
            EXPECT_EQ(At(c.left, c.top), SHADOW);
            EXPECT_EQ(At(c.left + 8, c.top), SHADOW);
            EXPECT_EQ(At(c.left, c.top + 8), SHADOW);
            EXPECT_EQ(At(c.right - 1, c.bottom - 1), BTNHILITE);
            EXPECT_EQ(At(c.right - 1, c.top + 8), BTNHILITE);
            EXPECT_EQ(At(c.left + 1, c.top + 1), sel ? MENU : LIGHT3D);
            EXPECT_EQ(Find(MENUTEXT, c).size(), 21u);
            // Empty text: nothing but the background right of the cell.
            RECT rest = {m_row.left + 21, m_row.top, m_row.right, m_row.bottom};
            EXPECT_EQ(Find(sel ? HILITE : MENU, rest).size(), size_t((m_row.right - rest.left) * 19));
        }
    }
}

TEST_F(PaintTest, CheckedSelectedRowLeavesTheIconColumnOutOfTheHighlight)
{
    CIconMenu::s_nOsKind = OS_NT4;
    Paint(L"Checked", MF_CHECKED, ODS_CHECKED | ODS_SELECTED);
    for (int y = m_row.top; y < m_row.bottom; ++y) {
        EXPECT_EQ(At(m_row.left, y), UNPAINTED);
        EXPECT_EQ(At(m_row.left + 20, y), UNPAINTED);
        EXPECT_EQ(At(m_row.left + 21, y), HILITE);
    }
    EXPECT_EQ(At(m_row.left + 5, m_row.top), UNPAINTED);
    EXPECT_FALSE(Find(HILITETEXT, m_row).empty());

    Paint(L"Plain", 0, ODS_SELECTED);
    EXPECT_EQ(At(m_row.left, m_row.top), HILITE);
    EXPECT_EQ(At(m_row.right - 1, m_row.bottom - 1), HILITE);
    EXPECT_TRUE(Find(MENUTEXT, m_row).empty());
    EXPECT_FALSE(Find(HILITETEXT, m_row).empty());
}

TEST_F(PaintTest, SeparatorIsAnEtchedLineAcrossTheMiddleAndNothingElse)
{
    Paint(L"ignored", MF_SEPARATOR, 0, 170, 9);
    int mid = m_row.top + 4;
    EXPECT_EQ(Find(SHADOW, m_row).size(), 170u);
    EXPECT_EQ(Find(BTNHILITE, m_row).size(), 170u);
    EXPECT_EQ(At(m_row.left, mid), SHADOW);
    EXPECT_EQ(At(m_row.right - 1, mid + 1), BTNHILITE);
    EXPECT_EQ(Find(UNPAINTED, RECT{0, 0, kWidth, kHeight}).size(), size_t(kWidth * kHeight - 340));
}

TEST_F(PaintTest, GrayedTextIsEngravedOrInTheMenuColourOnTheHighlight)
{
    Paint(L"Grayed", MF_GRAYED, ODS_GRAYED);
    auto gray = Find(GRAY, m_row), lit = Find(BTNHILITE, m_row);
    ASSERT_FALSE(gray.empty());
    ASSERT_FALSE(lit.empty());
    // The light copy lies one pixel right and down, under the gray one.
    for (auto& p : gray) {
        COLORREF below = At(p.first + 1, p.second + 1);
        EXPECT_TRUE(below == GRAY || below == BTNHILITE) << p.first << "," << p.second;
    }
    for (auto& p : lit)
        EXPECT_TRUE(gray.count({p.first - 1, p.second - 1})) << p.first << "," << p.second;
    EXPECT_TRUE(Find(MENUTEXT, m_row).empty());

    Paint(L"Grayed", MF_GRAYED, ODS_GRAYED | ODS_SELECTED);
    EXPECT_FALSE(Find(MENU, m_row).empty());
    EXPECT_TRUE(Find(GRAY, m_row).empty());
    EXPECT_TRUE(Find(BTNHILITE, m_row).empty());
}

TEST_F(PaintTest, TextStartsAfterTheIconColumnAndShortcutsEndBeforeTheEdge)
{
    auto span = [this]() {
        auto px = Find(MENUTEXT, m_row);
        int lo = 1000, hi = -1;
        for (auto& p : px) {
            lo = p.first < lo ? p.first : lo;
            hi = p.first > hi ? p.first : hi;
        }
        return std::make_pair(lo, hi);
    };
    const wchar_t* longText = L"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW";
    Paint(longText, 0, 0, 120);
    EXPECT_GE(span().first, m_row.left + 25);
    EXPECT_GT(span().second, m_row.right - 16) << "without a tab the text may use the full width";
    Paint((std::wstring(longText) + L"\tX").c_str(), 0, 0, 120);
    EXPECT_LT(span().second, m_row.right - 16);

    Paint(L"Open\tCtrl+O", 0, 0);
    std::vector<DWORD> one(m_bits, m_bits + kWidth * kHeight);
    EXPECT_GE(span().second, m_row.right - 16 - 4) << "the shortcut is right-aligned";
    Paint(L"Open\tShift+Q\tCtrl+O", 0, 0);
    EXPECT_TRUE(std::equal(one.begin(), one.end(), m_bits)) << "what lies between two tabs is not drawn";
}
