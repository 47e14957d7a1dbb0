// The real program's icon in the notification area, used the way a user
// uses it. On a display without a window manager Wine shows its own tray
// window ("Wine System Tray"), with one child window per icon: the test
// finds the child that came with the program, compares what it shows with
// the program's icon 128, reads the tool tip the tray shows while the mouse
// rests on the icon, and presses the mouse buttons over it (SendInput), so
// the icon record's window, callback message, id, icon and tip are all
// exercised through the shell.
#include "Folders.h"
#include "LedTestSupport.h"
#include "Programs.h"
#include "Text.h"
#include "Waits.h"
#include "gtest/gtest.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>

namespace {

const char kClass[] = "VelraLEDUtility";

void Mouse(DWORD flags)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof(in));
}

// A single click: a press within the double-click time of the last one
// would arrive as a double click, which the icon ignores.
void Click(POINT pt, bool right = false)
{
    led::PlaceCursor(pt.x, pt.y);
    Sleep(GetDoubleClickTime() + 100);
    Mouse(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    Mouse(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
}

void Key(BYTE vk, bool alt = false)
{
    if (alt)
        keybd_event(VK_MENU, 0, 0, 0);
    keybd_event(vk, 0, 0, 0);
    keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
    if (alt)
        keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
}

POINT TopLeft(HWND hWnd)
{
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    return {rc.left, rc.top};
}

class LedTrayIconClickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());
        std::set<HWND> before = led::TrayIconWindows();
        m_program.reset(new tst::Process("\"" + tst::BinFile("VelraLumoLEDUtility.EXE") + "\""));
        m_hFrame = tst::WaitForWindow(m_program->Id(), kClass);
        ASSERT_TRUE(m_hFrame);
        ASSERT_TRUE(tst::WaitFor("a new icon in Wine's tray window", [&] {
            for (HWND h : led::TrayIconWindows())
                if (!before.count(h))
                    m_hIcon = h;
            return m_hIcon != nullptr;
        }));
        EXPECT_TRUE(led::TrayHasIcon(m_hFrame)) << "icon 128 of the frame's window";
        RECT rc;
        GetWindowRect(m_hIcon, &rc);
        m_rcIcon = rc;
        m_at = {rc.left + 4, rc.top + 4};  // inside the icon, left of where the panel and menu open
        ASSERT_EQ(m_hIcon, WindowFromPoint(m_at)) << "something covers the tray window";
        m_pid = tst::ProcessOf(m_hFrame);
    }
    void TearDown() override
    {
        if (IsWindow(m_hFrame))
            SendMessageA(m_hFrame, WM_CLOSE, 0, 0);
        m_program.reset();
        SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());
    }

    std::unique_ptr<tst::Process> m_program;
    HWND m_hFrame = nullptr, m_hIcon = nullptr;
    RECT m_rcIcon{};
    POINT m_at{};
    DWORD m_pid = 0;
};

TEST_F(LedTrayIconClickTest, TheShellShowsTheProgramsIconAndItsTitleAsTip)
{
    // The program's icon 128 at 16 x 16 on the tray's background, somewhere
    // inside the icon's window, read off the screen.
    HMODULE exe = LoadLibraryExA(tst::BinFile("VelraLumoLEDUtility.EXE").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HICON hIcon = static_cast<HICON>(LoadImageA(exe, MAKEINTRESOURCEA(128), IMAGE_ICON, 16, 16, 0));
    ASSERT_TRUE(hIcon);
    HDC hScreen = GetDC(nullptr);
    HDC hMem = CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = CreateCompatibleBitmap(hScreen, 16, 16);
    HGDIOBJ hOld = SelectObject(hMem, hBitmap);
    HBRUSH hBackground = CreateSolidBrush(GetPixel(hScreen, m_rcIcon.left, m_rcIcon.top));
    RECT cell{0, 0, 16, 16};
    FillRect(hMem, &cell, hBackground);
    DrawIconEx(hMem, 0, 0, hIcon, 16, 16, 0, nullptr, DI_NORMAL);
    int best = 0;
    tst::WaitFor("the tray to paint the icon", [&] {
        for (int dy = 0; dy + 16 <= m_rcIcon.bottom - m_rcIcon.top; ++dy)
            for (int dx = 0; dx + 16 <= m_rcIcon.right - m_rcIcon.left; ++dx) {
                int same = 0;
                for (int y = 0; y < 16; ++y)
                    for (int x = 0; x < 16; ++x)
                        same += GetPixel(hMem, x, y) == GetPixel(hScreen, m_rcIcon.left + dx + x, m_rcIcon.top + dy + y);
                best = std::max(best, same);
            }
        return best == 256;
    });
    SelectObject(hMem, hOld);
    DeleteObject(hBitmap);
    DeleteObject(hBackground);
    DeleteDC(hMem);
    ReleaseDC(nullptr, hScreen);
    DestroyIcon(hIcon);
    FreeLibrary(exe);
    EXPECT_EQ(256, best) << "pixels of the program's icon found in the tray";

    // The tip shows when the mouse comes to rest on the icon. The tray's
    // tool tip answers WM_GETTEXT with the text it shows.
    SetCursorPos(600, 500);
    Sleep(200);
    SetCursorPos(m_at.x, m_at.y);
    HWND hTip = tst::WaitForWindow(tst::ProcessOf(GetParent(m_hIcon)), "tooltips_class32", true);
    ASSERT_TRUE(hTip);
    WCHAR tip[128] = L"";
    SendMessageW(hTip, WM_GETTEXT, 128, LPARAM(tip));
    char ansi[256] = "";
    WideCharToMultiByte(CP_ACP, 0, tip, -1, ansi, sizeof(ansi), nullptr, nullptr);
    EXPECT_EQ(tst::Cp932("Velra ﾊﾟﾜｰ ｲﾝｼﾞｹｰﾀｰ輝度設定"), std::string(ansi));
}

TEST_F(LedTrayIconClickTest, LeftPressOpensThePanelRightPressTheMenuWhoseItemsWork)
{
    Click(m_at);
    HWND hPanel = tst::WaitForWindow(m_pid, "#32770", true);
    ASSERT_TRUE(hPanel) << "no panel after a left press on the icon";
    EXPECT_EQ(m_hFrame, GetWindow(hPanel, GW_OWNER));
    EXPECT_EQ(m_at.x, TopLeft(hPanel).x);
    EXPECT_EQ(m_at.y, TopLeft(hPanel).y);
    EXPECT_EQ(0, SendDlgItemMessageA(hPanel, 1000, TBM_GETPOS, 0, 0)) << "level 2 at the top";
    EXPECT_TRUE(tst::WaitFor("the panel to come to the front", [&] { return GetForegroundWindow() == hPanel; }));
    // A click on another window closes the panel.
    HWND hOther = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE | SS_NOTIFY, 500, 400, 200, 150,
                                  nullptr, nullptr, nullptr, nullptr);
    Click({600, 475});
    EXPECT_TRUE(tst::WaitFor("a click elsewhere to close the panel", [&] { return !IsWindow(hPanel); }));
    DestroyWindow(hOther);

    Click(m_at, true);
    HWND hMenu = tst::WaitForWindow(m_pid, "#32768", true);
    ASSERT_TRUE(hMenu) << "no menu after a right press on the icon";
    EXPECT_EQ(m_at.x, TopLeft(hMenu).x);
    EXPECT_EQ(m_at.y, TopLeft(hMenu).y);
    Key('A');
    HWND hAbout = tst::WaitForWindow(m_pid, "#32770", true, tst::Cp932("ﾊﾞｰｼﾞｮﾝ情報").c_str());
    ASSERT_TRUE(hAbout) << "ﾊﾞｰｼﾞｮﾝ情報(&A)... from the menu";
    Key(VK_RETURN);
    EXPECT_TRUE(tst::WaitFor("the version box to close", [&] { return !IsWindow(hAbout); }));

    // The box's owner, the hidden frame, now has the keyboard; a keyboard
    // close of it is not meant. The frame reads its keys in order, so once
    // the menu that Alt+F opens is up, Alt+F4 has been read. Exit from that
    // menu. (The icon goes as well, but Wine would drop it with the frame's
    // window in any case.)
    ASSERT_TRUE(tst::WaitFor("the frame to come to the front", [&] { return GetForegroundWindow() == m_hFrame; }));
    Key(VK_F4, true);
    Key('F', true);
    ASSERT_TRUE(tst::WaitForWindow(m_pid, "#32768", true)) << "the frame's menu after Alt+F4";
    Key('X');
    EXPECT_EQ(0u, m_program->Wait());
}

}  // namespace
