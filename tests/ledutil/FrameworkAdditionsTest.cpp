// What the utility needs of the framework beyond the updater: profile
// values in the registry, the frame's command-update pass and close path,
// and objects that dispose of themselves when their window cannot be made.
#include <shlwapi.h>

#include "LEDUtilityApp.h"
#include "Registry.h"
#include "Text.h"
#include "gtest/gtest.h"
#include "resource.h"

extern CLEDUtilityApp theApp;

namespace {

const char kProfileRoot[] = "Software\\VelraProfileTest";

TEST(LedProfileTest, ValuesLiveUnderTheTitleKeyCreatedOnFirstUse)
{
    theApp.SetRegistryKey("VelraProfileTest");
    std::string appKey = std::string(kProfileRoot) + "\\" + tst::Cp932("Velra ﾊﾟﾜｰ ｲﾝｼﾞｹｰﾀｰ輝度設定");
    SHDeleteKeyA(HKEY_CURRENT_USER, kProfileRoot);

    EXPECT_EQ(2u, theApp.GetProfileInt("", "Value", 2));
    HKEY key;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, appKey.c_str(), 0, KEY_READ, &key)) << "created by a read";
    RegCloseKey(key);

    EXPECT_TRUE(theApp.WriteProfileInt("", "Value", -1));
    EXPECT_EQ(-1, int(theApp.GetProfileInt("", "Value", 2)));
    EXPECT_TRUE(theApp.WriteProfileInt("Sub", "Value", 5));
    EXPECT_EQ(5u, theApp.GetProfileInt("Sub", "Value", 2));
    DWORD type = 0, value = 0, cb = sizeof(value);
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, appKey.c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(0, RegQueryValueExA(key, "Value", nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb));
    RegCloseKey(key);
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(0xFFFFFFFFu, value);

    // Values of another type or size read as the default, not as stray bytes.
    tst::ScopedKey app(HKEY_CURRENT_USER, appKey);
    app.SetString("Value", "1");
    EXPECT_EQ(2u, theApp.GetProfileInt("", "Value", 2));
    const DWORD one = 1;
    app.SetBinary("Value", &one, sizeof(one), REG_BINARY);
    EXPECT_EQ(2u, theApp.GetProfileInt("", "Value", 2));
    SHDeleteKeyA(HKEY_CURRENT_USER, kProfileRoot);
}

const UINT ID_HANDLED = 501, ID_UPDATED = 502, ID_UNHANDLED = 503;

class CProbeFrame : public CFrameWnd {
public:
    explicit CProbeFrame(bool* pDeleted) : m_pDeleted(pDeleted) {}
    ~CProbeFrame() override { *m_pDeleted = true; }
    BOOL DestroyWindow() override
    {
        ++m_nDestroyCalls;
        return CFrameWnd::DestroyWindow();
    }
    int m_nDestroyCalls = 0;

protected:
    void OnHandled() {}
    bool* m_pDeleted;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeFrame, CFrameWnd)
    ON_COMMAND(ID_HANDLED, OnHandled)
    ON_COMMAND(ID_UPDATED, OnHandled)
END_MESSAGE_MAP()

TEST(LedFrameTest, MenuItemsAreEnabledExactlyWhenTheMapsHandleThem)
{
    bool bDeleted = false;
    auto* pFrame = new CProbeFrame(&bDeleted);
    ASSERT_TRUE(pFrame->LoadFrame(IDR_FRAME));
    HMENU hPopup = CreatePopupMenu();
    AppendMenuA(hPopup, MF_STRING | MF_GRAYED, ID_HANDLED, "a");
    AppendMenuA(hPopup, MF_STRING, ID_UPDATED, "b");
    AppendMenuA(hPopup, MF_STRING, ID_UNHANDLED, "c");
    AppendMenuA(hPopup, MF_STRING | MF_GRAYED, SC_CLOSE, "d");
    auto grayed = [&](UINT id) { return (GetMenuState(hPopup, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };

    SendMessageA(pFrame->m_hWnd, WM_INITMENUPOPUP, WPARAM(hPopup), MAKELPARAM(0, TRUE));
    EXPECT_TRUE(grayed(ID_HANDLED)) << "the system menu is left alone";
    SendMessageA(pFrame->m_hWnd, WM_INITMENUPOPUP, WPARAM(hPopup), MAKELPARAM(0, FALSE));
    EXPECT_FALSE(grayed(ID_HANDLED));
    EXPECT_TRUE(grayed(ID_UNHANDLED));
    EXPECT_TRUE(grayed(SC_CLOSE)) << "system commands are not touched";
    DestroyMenu(hPopup);

    // Closing the main frame takes the virtual DestroyWindow, ends the
    // message loop and deletes the frame.
    theApp.m_pMainWnd = pFrame;
    SendMessageA(pFrame->m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(bDeleted);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(nullptr, theApp.m_pMainWnd);
}

class CProbeDialog : public CDialog {
public:
    int m_nPostNcDestroy = 0;

protected:
    void PostNcDestroy() override { ++m_nPostNcDestroy; }
};

TEST(LedFrameTest, FailedCreationsDisposeOfTheirObjects)
{
    bool bDeleted = false;
    EXPECT_FALSE((new CProbeFrame(&bDeleted))->LoadFrame(9999)) << "no such menu";
    EXPECT_TRUE(bDeleted);
    CProbeDialog dlg;
    EXPECT_FALSE(dlg.Create(9999));
    EXPECT_EQ(1, dlg.m_nPostNcDestroy);
}

}  // namespace
