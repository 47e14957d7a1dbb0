// The icon menu's model against real menus: loading from resources (and
// from damaged templates), shortcut alignment, re-attaching records after
// other code rewrote items, mnemonics and destruction. The routing of its
// messages through the tray frame is tested with the frame (tests/ledutil).
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "IconMenu.h"
#include "IconMenuLayout.h"
#include "MenuTemplateReader.h"
#include "TestMenuIds.h"
#include "Text.h"
#include "gtest/gtest.h"

namespace {
CIconMenuData* Rec(CIconMenu* p, int i) { return static_cast<CIconMenuData*>(p->m_Items[i]); }
CIconMenu* Sub(CIconMenu& m, int nPos) { return static_cast<CIconMenu*>(CMenu::FromHandle(::GetSubMenu(m, nPos))); }
std::string Text(CIconMenu* p, int i) { return std::string(Rec(p, i)->GetText()); }

MENUITEMINFOA ItemInfo(HMENU h, UINT nPos)
{
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID | MIIM_SUBMENU | MIIM_STATE;
    ::GetMenuItemInfoA(h, nPos, TRUE, &mii);
    return mii;
}

// Every item of p (but nSkip) is owner-drawn and carries the record at its position.
void ExpectOwnerDrawnWithRecords(CIconMenu* p, UINT nSkip = UINT(-1))
{
    ASSERT_EQ(int(p->GetMenuItemCount()), p->m_Items.GetSize());
    for (UINT i = 0; i < p->GetMenuItemCount(); ++i) {
        if (i == nSkip)
            continue;
        MENUITEMINFOA mii = ItemInfo(*p, i);
        EXPECT_TRUE(mii.fType & MFT_OWNERDRAW) << "item " << i;
        EXPECT_EQ(mii.dwItemData, ULONG_PTR(p->m_Items[int(i)])) << "item " << i;
    }
}
}  // namespace

TEST(IconMenuLoad, TopLevelIsStringsAndEveryLevelBelowIsOwnerDrawn)
{
    CIconMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDM_NESTED));
    ASSERT_EQ(menu.GetMenuItemCount(), 3u);
    char sz[32] = "";
    ::GetMenuStringA(menu, 0, sz, sizeof(sz), MF_BYPOSITION);
    EXPECT_EQ(std::string(sz), tst::Cp932("ﾌｧｲﾙ(&F)"));
    EXPECT_FALSE(ItemInfo(menu, 0).fType & MFT_OWNERDRAW);
    EXPECT_EQ(menu.GetMenuItemID(2), UINT(ID_HELP));
    EXPECT_EQ(Rec(&menu, 0)->m_nFlags, UINT(MF_BYPOSITION | MF_POPUP));
    EXPECT_EQ(Rec(&menu, 2)->m_nFlags, UINT(MF_BYPOSITION));

    CIconMenu* file = Sub(menu, 0);
    ExpectOwnerDrawnWithRecords(file);
    ASSERT_EQ(file->GetMenuItemCount(), 6u);  // the last item after a nested pop-up still lands here
    EXPECT_EQ(Rec(file, 1)->m_nID, UINT_PTR(ID_SAVE));
    EXPECT_EQ(Rec(file, 1)->m_nFlags, UINT(MF_CHECKED | MF_OWNERDRAW));
    EXPECT_EQ(Rec(file, 2)->m_nFlags, UINT(MF_SEPARATOR | MF_OWNERDRAW));
    EXPECT_EQ(Rec(file, 3)->m_nFlags, UINT(MF_SEPARATOR | MF_OWNERDRAW)) << "identifier 0 with a text";
    EXPECT_EQ(Text(file, 5).substr(Text(file, 5).find('\t')), "\tAlt+F4");
    EXPECT_EQ(Rec(file, 5)->m_nFlags, UINT(MF_GRAYED | MF_OWNERDRAW));

    CIconMenu* recent = Sub(*file, 4);
    EXPECT_EQ(Rec(file, 4)->m_nID, UINT_PTR(recent->m_hMenu));
    ExpectOwnerDrawnWithRecords(recent);
    ExpectOwnerDrawnWithRecords(Sub(*recent, 1));
    ExpectOwnerDrawnWithRecords(Sub(menu, 1));
    EXPECT_EQ(Sub(menu, 1)->GetMenuItemCount(), 2u);
    for (HMENU h : {file->m_hMenu, recent->m_hMenu, Sub(*recent, 1)->m_hMenu, Sub(menu, 1)->m_hMenu})
        EXPECT_TRUE(CIconMenu::IsIconMenu(h));
    EXPECT_FALSE(CIconMenu::IsIconMenu(menu.m_hMenu));
}

TEST(IconMenuLoad, ThreeLevelsEndingOnOneItemCloseTogether)
{
    CIconMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDM_DEEP_END));
    ASSERT_EQ(menu.GetMenuItemCount(), 1u);
    CIconMenu* a = Sub(menu, 0);
    ASSERT_EQ(a->GetMenuItemCount(), 2u);
    CIconMenu* b = Sub(*a, 1);
    ASSERT_EQ(b->GetMenuItemCount(), 1u);
    EXPECT_EQ(Sub(*b, 0)->GetMenuItemCount(), 1u);
}

TEST(IconMenuLoad, MissingOrTruncatedResources)
{
    CIconMenu missing;
    EXPECT_FALSE(missing.LoadMenu(4711));
    EXPECT_EQ(missing.m_hMenu, nullptr);

    // The last item's text has no terminator inside the resource: it is
    // dropped, not completed from whatever follows.
    CIconMenu cut;
    ASSERT_TRUE(cut.LoadMenu(IDM_TRUNCATED));
    ASSERT_EQ(cut.GetMenuItemCount(), 1u);
    EXPECT_EQ(Sub(cut, 0)->GetMenuItemCount(), 0u);
}

namespace {
std::vector<BYTE> Words(std::initializer_list<WORD> words)
{
    std::vector<BYTE> b(words.size() * 2);
    memcpy(b.data(), words.begin(), b.size());
    return b;
}

LONG WINAPI ReportOverread(EXCEPTION_POINTERS*)
{
    // Without this a fault would wait for Wine's crash dialog until the
    // test times out.
    fprintf(stderr, "access violation: the reader went past its data\n");
    ::ExitProcess(3);
}

// Bytes that end exactly where a no-access page begins: a read past the
// end faults instead of passing unnoticed.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<BYTE>& bytes, size_t n)
    {
        ::SetUnhandledExceptionFilter(ReportOverread);
        m_base = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(m_base + 4096, 4096, PAGE_NOACCESS, &old);
        m_data = m_base + 4096 - n;
        memcpy(m_data, bytes.data(), n);
    }
    ~GuardedBytes() { VirtualFree(m_base, 0, MEM_RELEASE); }
    const BYTE* Data() const { return m_data; }

private:
    BYTE* m_base;
    BYTE* m_data;
};
}  // namespace

TEST(MenuTemplateReader, EveryCutYieldsTheCompleteItemsBeforeItAndReadsNoFurther)
{
    // POPUP "Ab" { MENUITEM "x", 7; MENUITEM "yz", 9 (end) } (end), after a
    // header whose offset skips two words.
    std::vector<BYTE> t = Words({0, 4, 0xEEEE, 0xEEEE, 0x90, 'A', 'b', 0, 0, 7, 'x', 0, 0x80, 9, 'y', 'z', 0});
    const size_t itemEnds[] = {16, 24, 34};
    for (size_t n = 0; n <= t.size(); ++n) {
        GuardedBytes g(t, n);
        CMenuTemplateReader reader(g.Data(), DWORD(n));
        WORD wFlags, wID;
        std::wstring text;
        size_t nItems = 0;
        std::wstring last;
        while (reader.ReadItem(wFlags, wID, text)) {
            ++nItems;
            last = text + wchar_t(wID) + wchar_t(wFlags);
        }
        if (n == t.size()) {
            EXPECT_EQ(last, std::wstring(L"yz\x09\x80"));
        }
        size_t nExpected = 0;
        while (nExpected < 3 && itemEnds[nExpected] <= n)
            ++nExpected;
        EXPECT_EQ(nItems, nExpected) << "cut at " << n;
    }
    WORD wFlags, wID;
    std::wstring text;
    std::vector<BYTE> farOffset = Words({0, 0xFFFF, 0x80, 1, 'a', 0});
    GuardedBytes g(farOffset, farOffset.size());
    CMenuTemplateReader beyond(g.Data(), DWORD(farOffset.size()));
    EXPECT_FALSE(beyond.ReadItem(wFlags, wID, text));
}

namespace {
int MenuFontWidth(void*, const CString& s)
{
    HDC hDC = ::GetDC(nullptr);
    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof(ncm);
    ::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
    HFONT hFont = ::CreateFontIndirectA(&ncm.lfMenuFont);
    HGDIOBJ hOld = ::SelectObject(hDC, hFont);
    SIZE size{};
    ::GetTextExtentPoint32A(hDC, s, s.GetLength(), &size);
    ::SelectObject(hDC, hOld);
    ::DeleteObject(hFont);
    ::ReleaseDC(nullptr, hDC);
    return size.cx;
}
int ByteWidth(void* pSpace, const CString& s)
{
    int cx = 0;
    for (int i = 0; i < s.GetLength(); ++i)
        cx += s[i] == ' ' ? *static_cast<int*>(pSpace) : 10;
    return cx;
}
}  // namespace

TEST(IconMenuAlign, LabelWithShortcutIsPaddedToTheWidestLabel)
{
    CIconMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDM_ALIGN));
    CIconMenu* p = Sub(menu, 0);
    std::string longText = tst::Cp932("とても長い名前のｺﾏﾝﾄﾞ");
    EXPECT_EQ(Text(p, 1), longText);
    std::string padded = Text(p, 0);
    size_t tab = padded.find('\t');
    ASSERT_NE(tab, std::string::npos);
    EXPECT_EQ(padded.substr(tab), "\tCtrl+O");
    int cxTarget = MenuFontWidth(nullptr, (longText + " ").c_str());
    EXPECT_GE(MenuFontWidth(nullptr, padded.substr(0, tab).c_str()), cxTarget);
    EXPECT_LT(MenuFontWidth(nullptr, padded.substr(0, tab - 1).c_str()), cxTarget);

    // Plain rules, with a font measuring 10 per character and a chosen space.
    CString texts[] = {"ab\tX", "abcd", "a\tY"};
    int space = 4;
    int cxMax = IconMenuLabelTarget(texts, 3, ByteWidth, &space);
    EXPECT_EQ(cxMax, 44);
    EXPECT_STREQ(PadIconMenuLabel(texts[2], cxMax, ByteWidth, &space), "a         \tY");
    EXPECT_STREQ(PadIconMenuLabel(texts[1], cxMax, ByteWidth, &space), "abcd");
    space = 0;  // a space of no width must not pad forever
    EXPECT_EQ(PadIconMenuLabel(texts[0], 44, ByteWidth, &space).Find("\tX"), 4);
}

TEST(IconMenuSync, RewrittenItemsGetTheirRecordsBackAndVanishedOnesLoseThem)
{
    CIconMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDM_NESTED));
    CIconMenu* file = Sub(menu, 0);
    void* saveRecord = file->m_Items[1];
    void* recentRecord = file->m_Items[4];
    // What a command-update pass does: a new text makes a string item.
    ::ModifyMenuA(*file, ID_SAVE, MF_BYCOMMAND | MF_STRING, ID_SAVE, tst::Cp932("名前を付けて保存").c_str());
    ::CheckMenuItem(*file, ID_OPEN, MF_BYCOMMAND | MF_CHECKED);
    ::ModifyMenuA(*file, 4, MF_BYPOSITION | MF_POPUP | MF_STRING, UINT_PTR(Sub(*file, 4)->m_hMenu), "R");
    ::RemoveMenu(*file, 3, MF_BYPOSITION);           // the second separator
    ::InsertMenuA(*file, 0, MF_BYPOSITION | MF_STRING, 250, "New");
    file->SyncItemData();

    // A pop-up item keeps whatever form it was given; only its record learns the text.
    ExpectOwnerDrawnWithRecords(file, 4);
    ASSERT_EQ(file->m_Items.GetSize(), 6);
    EXPECT_EQ(file->m_Items[2], saveRecord);
    EXPECT_EQ(Text(file, 2), tst::Cp932("名前を付けて保存"));
    EXPECT_EQ(Text(file, 0), "New");
    EXPECT_EQ(Rec(file, 0)->m_nID, UINT_PTR(250));
    EXPECT_TRUE(Rec(file, 1)->m_nFlags & MF_CHECKED);
    EXPECT_EQ(Text(file, 1).find(tst::Cp932("開く(&O)...")), 0u) << "still owner-drawn: text kept";
    EXPECT_EQ(file->m_Items[4], recentRecord);
    EXPECT_EQ(Text(file, 4), "R");
    EXPECT_EQ(Rec(file, 3)->m_nFlags, UINT(MF_SEPARATOR | MF_OWNERDRAW));
    for (int i = 0; i < file->m_Items.GetSize(); ++i)
        for (int j = 0; j < i; ++j)
            EXPECT_NE(file->m_Items[i], file->m_Items[j]);

    CIconMenu::UpdateIconMenu(nullptr);
}

TEST(IconMenuMnemonic, FindsTheFirstItemWhoseTextHoldsTheKey)
{
    CIconMenu tray, m;
    ASSERT_TRUE(tray.LoadMenu(IDM_TRAY));
    ASSERT_TRUE(m.LoadMenu(IDM_MNEMONIC));
    CMenu* pTray = Sub(tray, 0);
    CMenu* pm = Sub(m, 0);
    EXPECT_EQ(CIconMenu::FindMnemonic('S', MF_POPUP, pTray), MAKELRESULT(3, MNC_EXECUTE));
    EXPECT_EQ(CIconMenu::FindMnemonic('a', MF_POPUP, pTray), MAKELRESULT(2, MNC_EXECUTE));
    EXPECT_EQ(CIconMenu::FindMnemonic('q', MF_POPUP, pTray), 0);
    EXPECT_EQ(CIconMenu::FindMnemonic('S', 0, pTray), 0);
    EXPECT_EQ(CIconMenu::FindMnemonic('S', MF_POPUP, nullptr), 0);
    // "R&&S" shows a plain ampersand, yet its "&S" wins over the real
    // mnemonic below it.
    EXPECT_EQ(CIconMenu::FindMnemonic('s', MF_POPUP, pm), MAKELRESULT(0, MNC_EXECUTE));
    EXPECT_EQ(CIconMenu::FindMnemonic('C', MF_POPUP, pm), MAKELRESULT(3, MNC_EXECUTE));
    // An item added behind the menu's back is found after a re-sync.
    ::AppendMenuA(*pm, MF_STRING, 5, "Zoom(&Z)");
    EXPECT_EQ(CIconMenu::FindMnemonic('z', MF_POPUP, pm), MAKELRESULT(4, MNC_EXECUTE));
}

TEST(IconMenuLifetime, DestroyForgetsSubMenusAndTheObjectCanLoadAgain)
{
    CIconMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDM_NESTED));
    HMENU file = ::GetSubMenu(menu, 0), recent = ::GetSubMenu(file, 4);
    EXPECT_TRUE(menu.DestroyMenu());
    EXPECT_FALSE(CIconMenu::IsIconMenu(file));
    EXPECT_FALSE(CIconMenu::IsIconMenu(recent));
    EXPECT_EQ(CMenu::FromHandlePermanent(recent), nullptr);
    EXPECT_EQ(CIconMenu::s_AllSubMenus.GetSize(), 0);
    EXPECT_EQ(menu.m_Items.GetSize(), 0);
    EXPECT_FALSE(::IsMenu(file));
    ASSERT_TRUE(menu.LoadMenu(IDM_TRAY));
    EXPECT_TRUE(CIconMenu::IsIconMenu(Sub(menu, 0)));
}

TEST(IconMenuLifetime, LoadingALoadedMenuFailsAndLeavesItWhole)
{
    CIconMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDM_TRAY));
    HMENU hMenu = menu.m_hMenu;
    int nItems = menu.m_Items.GetSize(), nSubMenus = CIconMenu::s_AllSubMenus.GetSize();
    EXPECT_FALSE(menu.LoadMenu(IDM_NESTED));
    EXPECT_EQ(menu.m_hMenu, hMenu);
    EXPECT_EQ(menu.m_Items.GetSize(), nItems);
    EXPECT_EQ(int(menu.GetMenuItemCount()), nItems);
    EXPECT_EQ(CIconMenu::s_AllSubMenus.GetSize(), nSubMenus);
}

TEST(IconMenuLifetime, NoMenuOrADestroyedOneIsLeftAlone)
{
    // GetMenuItemCount answers -1 for either; as a count that would be
    // four billion items.
    CIconMenu empty;
    empty.SyncItemData();
    EXPECT_EQ(CIconMenu::FindMnemonic('a', MF_POPUP, &empty), 0);
    EXPECT_EQ(empty.m_Items.GetSize(), 0);

    CIconMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDM_TRAY));
    CIconMenu* pPopup = Sub(menu, 0);
    int nItems = pPopup->m_Items.GetSize();
    ASSERT_GT(nItems, 0);
    ::DestroyMenu(pPopup->m_hMenu);  // behind the object's back
    pPopup->SyncItemData();
    EXPECT_EQ(pPopup->m_Items.GetSize(), nItems) << "records kept";
    EXPECT_EQ(CIconMenu::FindMnemonic('S', MF_POPUP, pPopup), 0);
}

TEST(IconMenuData, TextsConvertThroughTheAnsiCodePage)
{
    CIconMenuData d;
    EXPECT_STREQ(d.GetText(), "");
    std::string kana = tst::Cp932("ﾊﾞｰｼﾞｮﾝ情報(&A)...\tF1");
    d.SetText(kana.c_str());
    EXPECT_EQ(std::string(d.GetText()), kana);
    EXPECT_EQ(d.m_pText[0], L'\xFF8A');
    d.SetText(nullptr);
    EXPECT_EQ(d.m_pText, nullptr);
}
