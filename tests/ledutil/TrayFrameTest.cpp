// The tray frame and the application object, in this process: tray clicks,
// the menu, the version dialog and the ways out, the routing of an icon
// menu's messages, the single-instance count and the end of the session.
#include <stdlib.h>
#include <string.h>

#include <new>
#include <thread>

#include <shlwapi.h>

#include "IconMenuLayout.h"
#include "ImportHook.h"
#include "LEDUtilityApp.h"
#include "LedFrameTest.h"
#include "LedTestIds.h"
#include "LedTestSupport.h"
#include "MainFrame.h"
#include "Programs.h"
#include "Text.h"
#include "Waits.h"
#include "gtest/gtest.h"
#include "resource.h"

#include <shellapi.h>

extern CLEDUtilityApp theApp;

// Freed memory of one watched object is kept and filled with a pattern, so
// a test can see whether anything wrote to the object after its deletion.
namespace {
void* g_pWatched = nullptr;
size_t g_nWatched = 0;
bool g_bWatchedFreed = false;
}  // namespace

void* operator new(size_t n)
{
    if (void* p = malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    if (p && p == g_pWatched) {
        memset(p, 0xDD, g_nWatched);
        g_bWatchedFreed = true;
        return;
    }
    free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

class LedTrayFrameTest : public led::FrameTest {
protected:
    void SetUp() override
    {
        CreateFrame();
        // As in the program: the version dialog's owner is the main window.
        theApp.m_pMainWnd = m_pFrame;
    }
    void TearDown() override
    {
        led::FrameTest::TearDown();
        theApp.m_pMainWnd = nullptr;
    }
    int TakeSettingsCommands()
    {
        int n = 0;
        MSG msg;
        while (PeekMessageA(&msg, m_hWnd, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            n += msg.wParam == ID_SETTINGS && msg.lParam == 0;
        return n;
    }
    LRESULT Tray(UINT mouseMessage) { return SendMessageA(m_hWnd, WM_TRAYNOTIFY, IDR_FRAME, mouseMessage); }
    // The visible version dialogs of this thread.
    static std::vector<HWND> AboutDialogs()
    {
        std::vector<HWND> found;
        EnumThreadWindows(GetCurrentThreadId(), CollectAboutDialog, LPARAM(&found));
        return found;
    }
    static BOOL CALLBACK CollectAboutDialog(HWND h, LPARAM l)
    {
        if (IsWindowVisible(h) && tst::WindowText(h) == tst::Cp932("ﾊﾞｰｼﾞｮﾝ情報"))
            reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
        return TRUE;
    }

};

TEST_F(LedTrayFrameTest, LeftPressPostsOneSettingsCommandEvenInADoubleClick)
{
    EXPECT_TRUE(led::TrayHasIcon(m_hWnd));
    EXPECT_EQ(1, Tray(WM_LBUTTONDOWN));
    EXPECT_EQ(1, TakeSettingsCommands());
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        EXPECT_EQ(1, Tray(m));
    EXPECT_EQ(1, TakeSettingsCommands());
    for (UINT m : {WM_MOUSEMOVE, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MBUTTONDOWN})
        EXPECT_EQ(1, Tray(m));
    EXPECT_EQ(0, TakeSettingsCommands());
}

TEST_F(LedTrayFrameTest, RightPressShowsTheFourMenuItemsEnabledAtTheCursor)
{
    ASSERT_TRUE(led::PlaceCursor(300, 200));
    RECT rcMenu{};
    std::vector<std::string> texts;
    std::vector<UINT> states;
    std::thread watcher([&] {
        // The menu's window exists before it is placed and shown.
        HWND hMenuWnd = nullptr;
        if (!tst::WaitFor("the menu to show", [&] {
                hMenuWnd = FindWindowA("#32768", nullptr);
                return hMenuWnd && IsWindowVisible(hMenuWnd);
            }, 30000, false))
            return;
        GetWindowRect(hMenuWnd, &rcMenu);
        HMENU hPopup = GetSubMenu(GetMenu(m_hWnd), 0);
        for (int i = 0; i < GetMenuItemCount(hPopup); ++i) {
            char text[64] = "";
            GetMenuStringA(hPopup, i, text, sizeof(text), MF_BYPOSITION);
            texts.push_back(text);
            states.push_back(GetMenuState(hPopup, i, MF_BYPOSITION));
        }
        PostMessageA(m_hWnd, WM_CANCELMODE, 0, 0);
    });
    EXPECT_EQ(1, Tray(WM_RBUTTONDOWN));
    watcher.join();

    EXPECT_EQ(300, rcMenu.left);
    EXPECT_EQ(200, rcMenu.top);
    EXPECT_EQ((std::vector<std::string>{tst::Cp932("ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"), "", tst::Cp932("ﾊﾞｰｼﾞｮﾝ情報(&A)..."),
                                        tst::Cp932("設定を変更する(&S)")}),
              texts);
    ASSERT_EQ(4u, states.size());
    EXPECT_TRUE(states[1] & MF_SEPARATOR);
    for (int i : {0, 2, 3})
        EXPECT_FALSE(states[i] & MF_GRAYED) << texts[i];
}

TEST_F(LedTrayFrameTest, SecondVersionCommandOnlyBringsTheOpenDialogForward)
{
    for (int round = 0; round < 2; ++round) {
        size_t nDialogs = 0;
        HWND hForeground = nullptr, hDialog = nullptr;
        led::RunInsideModalLoop([&] {
            hDialog = AboutDialogs().empty() ? nullptr : AboutDialogs()[0];
            HWND hOther = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, nullptr,
                                          nullptr, nullptr, nullptr);
            SetForegroundWindow(hOther);
            SendMessageA(m_hWnd, WM_COMMAND, ID_APP_ABOUT, 0);
            nDialogs = AboutDialogs().size();
            hForeground = GetForegroundWindow();
            DestroyWindow(hOther);
            SendMessageA(hDialog, WM_COMMAND, IDOK, 0);
        });
        SendMessageA(m_hWnd, WM_COMMAND, ID_APP_ABOUT, 0);
        ASSERT_TRUE(hDialog) << "round " << round;
        EXPECT_EQ(1u, nDialogs);
        EXPECT_EQ(hDialog, hForeground);
        EXPECT_TRUE(AboutDialogs().empty());
    }
}

TEST_F(LedTrayFrameTest, ExitWhileTheDialogIsOpenClosesBothAndEndsTheLoop)
{
    bool bFrameLeftForLater = false;
    led::RunInsideModalLoop([&] {
        SendMessageA(m_hWnd, WM_COMMAND, ID_APP_EXIT, 0);
        bFrameLeftForLater = IsWindow(m_hWnd);
    });
    SendMessageA(m_hWnd, WM_COMMAND, ID_APP_ABOUT, 0);
    EXPECT_TRUE(bFrameLeftForLater);
    EXPECT_TRUE(AboutDialogs().empty());
    EXPECT_TRUE(tst::WaitForQuit());
    EXPECT_FALSE(IsWindow(m_hWnd));
    EXPECT_FALSE(led::TrayHasIcon(m_hWnd));
}

// Windows keeps the icon of a window that went without removing it, until
// the mouse passes over it; Wine drops it with the window. So the removal
// is watched where the program makes it: this program's import of
// Shell_NotifyIconA is pointed at a recorder for the test's duration.
struct NotifyCall {
    DWORD message;
    HWND hWnd;
    UINT uID;
    bool bWindowAlive;
    bool operator==(const NotifyCall& o) const
    {
        return message == o.message && hWnd == o.hWnd && uID == o.uID && bWindowAlive == o.bWindowAlive;
    }
};
std::vector<NotifyCall> g_notifyCalls;
BOOL(WINAPI* g_pShellNotify)(DWORD, PNOTIFYICONDATAA) = nullptr;

BOOL WINAPI RecordShellNotify(DWORD dwMessage, PNOTIFYICONDATAA pData)
{
    g_notifyCalls.push_back({dwMessage, pData->hWnd, pData->uID, IsWindow(pData->hWnd) != FALSE});
    return g_pShellNotify(dwMessage, pData);
}

TEST_F(LedTrayFrameTest, ExitWithoutDialogRemovesTheIconThenDestroysTheFrameAtOnce)
{
    ASSERT_TRUE(led::TrayHasIcon(m_hWnd));
    g_notifyCalls.clear();
    {
        tst::ImportHook hook(nullptr, "Shell_NotifyIconA", reinterpret_cast<void*>(RecordShellNotify));
        g_pShellNotify = reinterpret_cast<decltype(g_pShellNotify)>(hook.Original());
        ASSERT_TRUE(g_pShellNotify);
        SendMessageA(m_hWnd, WM_COMMAND, ID_APP_EXIT, 0);
    }
    EXPECT_FALSE(IsWindow(m_hWnd));
    EXPECT_EQ((std::vector<NotifyCall>{{NIM_DELETE, m_hWnd, IDR_FRAME, true}}), g_notifyCalls);
}

// The updater's close message can arrive while the version dialog runs:
// the frame and its object go, and nothing may write to them afterwards.
TEST_F(LedTrayFrameTest, CloseFromOutsideWhileTheDialogRunsLeavesTheDeletedFrameAlone)
{
    g_pWatched = m_pFrame;
    g_nWatched = sizeof(CMainFrame);
    led::RunInsideModalLoop([&] { SendMessageA(m_hWnd, WM_CLOSE, 0, 0); });
    SendMessageA(m_hWnd, WM_COMMAND, ID_APP_ABOUT, 0);
    g_pWatched = nullptr;
    ASSERT_TRUE(g_bWatchedFreed);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(m_pFrame);
    EXPECT_EQ(g_nWatched, size_t(std::count(p, p + g_nWatched, 0xDD)));
    EXPECT_FALSE(led::TrayHasIcon(m_hWnd));
}

// The default window procedure answers 0 here.
TEST_F(LedTrayFrameTest, PowerEventsAreNeverRefused)
{
    for (UINT event : {0x0u, 0x4u, 0x12u, 0x1234u})  // query suspend, suspend, resume, unknown
        EXPECT_EQ(TRUE, SendMessageA(m_hWnd, WM_POWERBROADCAST, event, 0));
}

// The tray frame class itself, with a menu in its icon-menu member: every
// handler below is CFrameWndEx's (this class adds none).
class CIconTrayFrame : public CFrameWndEx {
public:
    CIconMenu& IconMenu() { return m_menu; }
};

bool OwnerDrawn(HMENU hMenu, UINT nPos)
{
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(hMenu, nPos, TRUE, &mii);
    return (mii.fType & MFT_OWNERDRAW) != 0;
}

void CALLBACK EndMenuProc(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    KillTimer(nullptr, idEvent);
    EndMenu();
}

TEST(LedTrayMenuRouting, IconMenuIsRefreshedMeasuredDrawnAndAnswersItsMnemonicThroughTheFrame)
{
    auto* pFrame = new CIconTrayFrame;
    ASSERT_TRUE(pFrame->LoadFrame(IDR_FRAME, 0x00CF8000));
    HWND hFrame = pFrame->m_hWnd;
    theApp.m_pMainWnd = pFrame;  // the icon menu measures on the main window
    ASSERT_TRUE(pFrame->IconMenu().LoadMenu(IDM_ICON_TRAY));
    auto* pPopup = static_cast<CIconMenu*>(CMenu::FromHandle(::GetSubMenu(pFrame->IconMenu(), 0)));
    HMENU hPopup = pPopup->m_hMenu;
    // What a command-update pass does when it sets a new text: the item
    // turns into a string item. The system menu's pass leaves it so.
    const std::string newText = tst::Cp932("設定(&S)");
    ModifyMenuA(hPopup, 4, MF_BYPOSITION | MF_STRING, ID_SETTINGS, newText.c_str());
    SendMessageA(hFrame, WM_INITMENUPOPUP, WPARAM(hPopup), MAKELPARAM(0, TRUE));
    EXPECT_FALSE(OwnerDrawn(hPopup, 4));

    std::vector<RECT> rows;
    bool bSettingsOwnerDrawn = false;
    COLORREF crTick = CLR_INVALID;
    led::RunInsideModalLoop([&] {
        HWND hMenuWnd = FindWindowA("#32768", nullptr);
        for (int i = 0; i < 5; ++i) {
            RECT rc{};
            GetMenuItemRect(hMenuWnd, hPopup, i, &rc);
            rows.push_back(rc);
        }
        bSettingsOwnerDrawn = OwnerDrawn(hPopup, 4);
        // The tick of the checked item, drawn by the menu object.
        POINT pt{rows[3].left + 5, rows[3].top + IconMenuCellOffset(rows[3], 15) + 8};
        ScreenToClient(hMenuWnd, &pt);
        HDC hDC = GetDC(hMenuWnd);
        crTick = GetPixel(hDC, pt.x, pt.y);

        ReleaseDC(hMenuWnd, hDC);
        PostMessageA(hFrame, WM_CHAR, 'a', 0);
    });
    UINT_PTR safety = SetTimer(nullptr, 0, 20000, EndMenuProc);  // should the key go unanswered
    SetForegroundWindow(hFrame);
    UINT nCmd = TrackPopupMenu(hPopup, TPM_RETURNCMD | TPM_LEFTALIGN, 60, 60, 0, hFrame, nullptr);
    KillTimer(nullptr, safety);

    EXPECT_EQ(UINT(ID_APP_ABOUT), nCmd) << "the 'a' key through WM_MENUCHAR";
    // WM_INITMENUPOPUP: the command-update pass (which grays the command
    // this frame does not handle), then the records re-attached.
    EXPECT_TRUE(bSettingsOwnerDrawn);
    EXPECT_EQ(newText, std::string(static_cast<CIconMenuData*>(pPopup->m_Items[4])->GetText()));
    EXPECT_TRUE(static_cast<CIconMenuData*>(pPopup->m_Items[4])->m_nFlags & MF_GRAYED);
    // WM_MEASUREITEM: the pop-up item through the frame's own icon menu,
    // the others through their menu object.
    ASSERT_EQ(5u, rows.size());
    int cyMenu = GetSystemMetrics(SM_CYMENU), cyRow = cyMenu > 19 ? cyMenu : 19;
    EXPECT_EQ(cyRow, rows[0].bottom - rows[0].top);
    EXPECT_EQ(cyMenu / 2, rows[1].bottom - rows[1].top) << "separator";
    EXPECT_EQ(cyRow, rows[2].bottom - rows[2].top) << "pop-up item";
    EXPECT_EQ(GetSysColor(COLOR_MENUTEXT), crTick);

    pFrame->DestroyWindow();
    theApp.m_pMainWnd = nullptr;
}

class LedAppTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (CWnd* pMain = theApp.m_pMainWnd)
            pMain->DestroyWindow();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        g_nInstanceCount = -1;
        SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());
    }
};

TEST_F(LedAppTest, FirstCopyRunsAHiddenFrameFoundByItsClass)
{
    ASSERT_EQ(-1, g_nInstanceCount);
    ASSERT_TRUE(theApp.InitInstance());
    EXPECT_EQ(0, g_nInstanceCount);
    ASSERT_TRUE(theApp.m_pMainWnd);
    HWND hWnd = FindWindowA("VelraLEDUtility", nullptr);
    EXPECT_EQ(theApp.m_pMainWnd->m_hWnd, hWnd);
    EXPECT_FALSE(IsWindowVisible(hWnd));
    EXPECT_EQ(tst::WindowText(hWnd), "VelraLumoLEDUtility");
    EXPECT_TRUE(led::TrayHasIcon(hWnd));

    SendMessageA(hWnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_FALSE(led::TrayHasIcon(hWnd));
    EXPECT_TRUE(tst::WaitForQuit());
    theApp.ExitInstance();
    EXPECT_EQ(-1, g_nInstanceCount);
}

TEST_F(LedAppTest, SecondCopyLeavesWithoutWindowOrSettings)
{
    g_nInstanceCount = 0;
    SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_FALSE(theApp.m_pMainWnd);
    EXPECT_FALSE(FindWindowA("VelraLEDUtility", nullptr));
    theApp.ExitInstance();
    EXPECT_EQ(0, g_nInstanceCount);
    HKEY key;
    EXPECT_NE(0, RegOpenKeyExA(HKEY_CURRENT_USER, led::SettingsKey().c_str(), 0, KEY_READ, &key));
}

// The system ends the process after WM_ENDSESSION; should it survive to a
// normal exit all the same, the count must not drop twice.
TEST_F(LedAppTest, EndOfTheSessionReleasesTheCountOnce)
{
    ASSERT_TRUE(theApp.InitInstance());
    HWND hWnd = theApp.m_pMainWnd->m_hWnd;
    SendMessageA(hWnd, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(-1, g_nInstanceCount);
    SendMessageA(hWnd, WM_CLOSE, 0, 0);
    theApp.ExitInstance();
    EXPECT_EQ(-1, g_nInstanceCount);
}

// A restart manager ends the program, not the session: nothing ends the
// process for it, so the frame closes as on the updater's request.
TEST_F(LedAppTest, RestartManagersEndClosesTheFrameAndReleasesTheCountAfterTheLoop)
{
    ASSERT_TRUE(theApp.InitInstance());
    HWND hWnd = theApp.m_pMainWnd->m_hWnd;
    g_notifyCalls.clear();
    {
        tst::ImportHook hook(nullptr, "Shell_NotifyIconA", reinterpret_cast<void*>(RecordShellNotify));
        g_pShellNotify = reinterpret_cast<decltype(g_pShellNotify)>(hook.Original());
        EXPECT_EQ(TRUE, SendMessageA(hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP));
        SendMessageA(hWnd, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
        EXPECT_EQ(0, g_nInstanceCount) << "held while the frame runs";
        EXPECT_TRUE(tst::WaitForQuit());
    }
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ((std::vector<NotifyCall>{{NIM_DELETE, hWnd, IDR_FRAME, true}}), g_notifyCalls);
    theApp.ExitInstance();
    EXPECT_EQ(-1, g_nInstanceCount);
}

}  // namespace
