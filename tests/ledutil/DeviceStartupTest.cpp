// The device call and the main frame's start-up retry against the stand-in
// driver. Timer ticks are delivered as WM_TIMER messages, and nothing here
// pumps messages while ticks are counted, so the frame's real timer stays
// out of the way.
#include <shlwapi.h>

#include "BrightnessDlg.h"
#include "IndicatorDevice.h"
#include "LEDUtilityApp.h"
#include "LedFrameTest.h"
#include "LedTestSupport.h"
#include "MainFrame.h"
#include "Registry.h"
#include "Waits.h"
#include "gtest/gtest.h"
#include "resource.h"

// The in-process tests' application object: the title (and so the settings
// key) comes from the utility's own string table.
CLEDUtilityApp theApp;

namespace {

class LedDeviceTest : public led::FrameTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(led::Driver("install"));
        ASSERT_TRUE(led::Driver("stop"));
        led::ClearDeviceLog();
        SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());
        theApp.SetRegistryKey("KANDELO");
    }
    void TearDown() override
    {
        led::FrameTest::TearDown();
        led::Driver("stop");
    }
    void Ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            SendMessageA(m_hWnd, WM_TIMER, IDT_APPLYLEVEL, 0);
    }
    // Kills the apply timer; false when it had already stopped.
    bool TimerWasRunning() { return KillTimer(m_hWnd, IDT_APPLYLEVEL) != FALSE; }
};

TEST_F(LedDeviceTest, AbsentDriverFailsAndReceivesNothing)
{
    EXPECT_FALSE(SetIndicatorLevel(2));
    EXPECT_TRUE(led::DeviceLog().empty());
}

TEST_F(LedDeviceTest, EachCallOpensSendsTheFourLevelBytesAndCloses)
{
    ASSERT_TRUE(led::Driver("start"));
    for (int level : {2, 1, 0, 7, -1})
        EXPECT_TRUE(SetIndicatorLevel(level));
    EXPECT_EQ(led::DeviceCalls({"02000000", "01000000", "00000000", "07000000", "FFFFFFFF"}), led::DeviceLog());
}

TEST_F(LedDeviceTest, DriverUpAtStartGetsTheDefaultLevelOnceAtTheFirstTick)
{
    ASSERT_TRUE(led::Driver("start"));
    CreateFrame();
    // The keys exist from the first start on, before any value is written.
    HKEY key;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, led::SettingsKey().c_str(), 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_EQ(-100, led::StoredLevel());

    EXPECT_TRUE(led::DeviceLog().empty()) << "no attempt before the first tick";
    tst::WaitFor("the first tick's call", [] { return !led::DeviceLog().empty(); });
    EXPECT_EQ(led::DeviceCalls({"02000000"}), led::DeviceLog());
    EXPECT_FALSE(TimerWasRunning());
}

TEST_F(LedDeviceTest, FailedAttemptsAreRepeatedUntilTheDriverAnswers)
{
    CreateFrame();
    Ticks(5);
    ASSERT_TRUE(led::Driver("start"));
    Ticks(1);
    EXPECT_EQ(led::DeviceCalls({"02000000"}), led::DeviceLog());
    EXPECT_FALSE(TimerWasRunning());
}

TEST_F(LedDeviceTest, TheTwoHundredthAttemptIsTheLast)
{
    for (int failures : {199, 200}) {
        ASSERT_TRUE(led::Driver("stop"));
        led::ClearDeviceLog();
        CreateFrame();
        Ticks(failures);
        ASSERT_TRUE(led::Driver("start"));
        // A successful attempt stops the timer: no later tick would come.
        Ticks(failures < 200 ? 1 : 3);
        EXPECT_EQ(failures < 200 ? led::DeviceCalls({"02000000"}) : std::vector<std::string>(), led::DeviceLog())
            << failures << " failed ticks";
        // Given up, the timer ticks on idle until the frame goes.
        EXPECT_EQ(failures == 200, TimerWasRunning()) << failures << " failed ticks";
        m_pFrame->DestroyWindow();
    }
}

TEST_F(LedDeviceTest, LevelReportedWhileRetryingIsStoredAndSentByLaterAttempts)
{
    CreateFrame();
    Ticks(3);
    EXPECT_EQ(TRUE, SendMessageA(m_hWnd, WM_LEVELCHANGED, 0, 0));
    EXPECT_EQ(0, led::StoredLevel());
    ASSERT_TRUE(led::Driver("start"));
    Ticks(1);
    EXPECT_EQ(led::DeviceCalls({"00000000"}), led::DeviceLog());
}

TEST_F(LedDeviceTest, StoredLevelIsSentUncheckedAndAnUnreadableOneCountsAsTwo)
{
    ASSERT_TRUE(led::Driver("start"));
    {
        tst::ScopedKey settings(HKEY_CURRENT_USER, led::SettingsKey());
        settings.SetDword("Value", 7);
        CreateFrame();
        Ticks(1);
        m_pFrame->DestroyWindow();
        settings.SetString("Value", "1");
        CreateFrame();
        Ticks(1);
    }
    EXPECT_EQ(led::DeviceCalls({"07000000", "02000000"}), led::DeviceLog());
}

}  // namespace
