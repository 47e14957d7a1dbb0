// The brightness panel: thumb position, what each slider movement sends and
// reports, closing on deactivation, and where the main frame puts it.
#include <shlwapi.h>

#include "BrightnessDlg.h"
#include "LEDUtilityApp.h"
#include "LedTestSupport.h"
#include "MainFrame.h"
#include "Registry.h"
#include "Waits.h"
#include "gtest/gtest.h"
#include "resource.h"

extern CLEDUtilityApp theApp;

namespace {

// Stands in for the main frame: records the reported levels.
class CRecordingFrame : public CFrameWnd {
public:
    std::vector<int> m_levels;

protected:
    LRESULT OnLevelChanged(WPARAM, LPARAM lParam)
    {
        m_levels.push_back(int(lParam));
        return TRUE;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRecordingFrame, CFrameWnd)
    ON_MESSAGE(WM_LEVELCHANGED, OnLevelChanged)
END_MESSAGE_MAP()

class CProbePanel : public CBrightnessDlg {
public:
    CProbePanel(CWnd* pParent, int nLevel, bool* pDeleted) : CBrightnessDlg(pParent, nLevel), m_pDeleted(pDeleted) {}
    ~CProbePanel() override { *m_pDeleted = true; }

private:
    bool* m_pDeleted;
};

const char* Hex(int level) { return level == 0 ? "00000000" : level == 1 ? "01000000" : "02000000"; }

class LedPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(led::Driver("install"));
        ASSERT_TRUE(led::Driver("start"));
        led::ClearDeviceLog();
        m_pFrame = new CRecordingFrame;
        ASSERT_TRUE(m_pFrame->LoadFrame(IDR_FRAME));
    }
    void TearDown() override
    {
        m_pFrame->DestroyWindow();
        led::Driver("stop");
    }
    HWND Open(int nLevel)
    {
        m_bDeleted = false;
        auto* pPanel = new CProbePanel(m_pFrame, nLevel, &m_bDeleted);
        if (!pPanel->Create(IDD_BRIGHTNESS, m_pFrame))
            return nullptr;
        m_hSlider = GetDlgItem(pPanel->m_hWnd, IDC_LEVEL_SLIDER);
        return pPanel->m_hWnd;
    }
    int Pos() const { return int(SendMessageA(m_hSlider, TBM_GETPOS, 0, 0)); }
    // Device lines and reports agree on one list of levels.
    void ExpectSent(const std::vector<int>& levels)
    {
        std::vector<std::string> calls;
        for (int level : levels)
            for (const auto& line : led::DeviceCalls({Hex(level)}))
                calls.push_back(line);
        EXPECT_EQ(levels, m_pFrame->m_levels);
        EXPECT_EQ(calls, led::DeviceLog());
    }

    CRecordingFrame* m_pFrame = nullptr;
    HWND m_hSlider = nullptr;
    bool m_bDeleted = false;
};

TEST_F(LedPanelTest, ThumbStandsAtTwoMinusTheLevel)
{
    const int levels[] = {2, 1, 0};
    const int positions[] = {0, 1, 2};
    for (int i = 0; i < 3; ++i) {
        HWND hPanel = Open(levels[i]);
        ASSERT_TRUE(hPanel);
        EXPECT_FALSE(IsWindowVisible(hPanel)) << "created hidden";
        EXPECT_EQ(positions[i], Pos()) << "level " << levels[i];
        // Still the active window (it asked for the foreground): its
        // destruction deactivates it on the way.
        DestroyWindow(hPanel);
        EXPECT_TRUE(m_bDeleted);
    }
    ExpectSent({});
}

TEST_F(LedPanelTest, EveryScrollCodeButEndTrackIsSentAndReported)
{
    HWND hPanel = Open(1);
    std::vector<int> expected;
    for (UINT code = TB_LINEUP; code <= TB_ENDTRACK; ++code) {
        int pos = int(code % 3);
        SendMessageA(m_hSlider, TBM_SETPOS, TRUE, pos);
        // The position in wParam is not what counts: the slider's is.
        SendMessageA(hPanel, WM_VSCROLL, MAKEWPARAM(code, 77), LPARAM(m_hSlider));
        if (code != TB_ENDTRACK)
            expected.push_back(2 - pos);
    }
    ExpectSent(expected);
}

TEST_F(LedPanelTest, PageClickAboveTheMiddleGoesToTheBrightEnd)
{
    HWND hPanel = Open(1);
    ShowWindow(hPanel, SW_SHOW);
    RECT thumb, channel;
    SendMessageA(m_hSlider, TBM_GETTHUMBRECT, 0, LPARAM(&thumb));
    SendMessageA(m_hSlider, TBM_GETCHANNELRECT, 0, LPARAM(&channel));
    LPARAM at = MAKELPARAM((thumb.left + thumb.right) / 2, channel.top + 1);
    SendMessageA(m_hSlider, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(m_hSlider, WM_LBUTTONUP, 0, at);
    EXPECT_EQ(0, Pos());
    ExpectSent({2});
}

TEST_F(LedPanelTest, DragFromBottomToTopSendsTheLevelsInOrderAndTheLastOnRelease)
{
    HWND hPanel = Open(0);
    ShowWindow(hPanel, SW_SHOW);
    RECT thumb;
    SendMessageA(m_hSlider, TBM_GETTHUMBRECT, 0, LPARAM(&thumb));
    int x = (thumb.left + thumb.right) / 2;
    SendMessageA(m_hSlider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, (thumb.top + thumb.bottom) / 2));
    for (int y = (thumb.top + thumb.bottom) / 2; y >= 0; y -= 2)
        SendMessageA(m_hSlider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(m_hSlider, WM_LBUTTONUP, 0, MAKELPARAM(x, 0));

    const std::vector<int>& got = m_pFrame->m_levels;
    ASSERT_GE(got.size(), 2u);
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
    EXPECT_NE(got.end(), std::find(got.begin(), got.end(), 1)) << "passes the middle";
    EXPECT_EQ(2, got[got.size() - 2]);
    EXPECT_EQ(2, got.back()) << "the release repeats the final level";
    ExpectSent(got);
}

TEST_F(LedPanelTest, LosingActivationDestroysAndDeletesThePanel)
{
    HWND hPanel = Open(2);
    ShowWindow(hPanel, SW_SHOW);
    SetForegroundWindow(hPanel);
    ASSERT_TRUE(tst::WaitFor("the panel in front", [&] { return GetForegroundWindow() == hPanel; }));
    HWND hOther = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, nullptr, nullptr,
                                  nullptr, nullptr);
    SetForegroundWindow(hOther);
    EXPECT_TRUE(tst::WaitFor("the panel to go", [&] { return !IsWindow(hPanel); }));
    EXPECT_TRUE(m_bDeleted);
    DestroyWindow(hOther);
}

// The panel's top-left corner is at the cursor unless that would bring it
// closer than 30 pixels to the work area's right or bottom edge.
TEST(LedPanelPlacementTest, OpensAtTheCursorKeptInsideTheWorkArea)
{
    theApp.SetRegistryKey("KANDELO");
    tst::ScopedKey settings(HKEY_CURRENT_USER, led::SettingsKey());
    settings.SetDword("Value", 1);
    auto* pFrame = new CMainFrame;
    ASSERT_TRUE(pFrame->LoadFrame(IDR_FRAME, 0x00CF8000));
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const POINT cursors[] = {{work.right - 1, work.bottom - 1}, {work.left + 100, work.top + 80}};
    for (POINT pt : cursors) {
        ASSERT_TRUE(led::PlaceCursor(pt.x, pt.y));
        SendMessageA(pFrame->m_hWnd, WM_COMMAND, ID_SETTINGS, 0);
        HWND hPanel = FindWindowExA(nullptr, nullptr, "#32770", nullptr);
        while (hPanel && GetWindow(hPanel, GW_OWNER) != pFrame->m_hWnd)
            hPanel = FindWindowExA(nullptr, hPanel, "#32770", nullptr);
        ASSERT_TRUE(hPanel);
        RECT rc, client;
        GetWindowRect(hPanel, &rc);
        GetClientRect(hPanel, &client);
        bool nearEdge = pt.x == work.right - 1;
        EXPECT_EQ(nearEdge ? work.right - 30 - client.right : pt.x, rc.left);
        EXPECT_EQ(nearEdge ? work.bottom - 30 - client.bottom : pt.y, rc.top);
        EXPECT_TRUE(IsWindowVisible(hPanel));
        EXPECT_EQ(1, SendDlgItemMessageA(hPanel, IDC_LEVEL_SLIDER, TBM_GETPOS, 0, 0)) << "the stored level";
        DestroyWindow(hPanel);
    }
    pFrame->DestroyWindow();
    SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());
}

}  // namespace
