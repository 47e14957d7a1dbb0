// The real VelraLumoLEDUtility.EXE: one copy per machine, its settings,
// and its end when the real updater replaces its files.
#include <shlwapi.h>

#include <algorithm>
#include <memory>

#include "Files.h"
#include "Folders.h"
#include "LedTestSupport.h"
#include "MessageBoxes.h"
#include "Programs.h"
#include "Registry.h"
#include "Waits.h"
#include "gtest/gtest.h"

namespace {

const char kClass[] = "VelraLEDUtility";
const UINT kLevelChanged = WM_APP + 2;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The driver's lines once nCalls complete calls have reached it.
std::vector<std::string> DeviceLogAfterCalls(size_t nCalls)
{
    std::vector<std::string> lines;
    tst::WaitFor("the driver's calls", [&] { return (lines = led::DeviceLog()).size() >= 3 * nCalls; }, 30000,
                 false);
    return lines;
}

bool SettingsKeyExists()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, led::SettingsKey().c_str(), 0, KEY_READ, &key) != 0)
        return false;
    RegCloseKey(key);
    return true;
}

class LedProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(led::Driver("install"));
        ASSERT_TRUE(led::Driver("start"));
        led::ClearDeviceLog();
        SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());
    }
    void TearDown() override
    {
        led::Driver("stop");
        SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());
    }
    std::string m_exe = tst::BinFile("VelraLumoLEDUtility.EXE");
};

TEST_F(LedProgramTest, SecondCopyEndsAtOnceAndTheFirstRunsOn)
{
    led::ExeCounter count(m_exe);
    ASSERT_TRUE(count.Get());
    ASSERT_EQ(-1, *count.Get());
    tst::Process first(Quoted(m_exe));
    HWND hFrame = tst::WaitForWindow(first.Id(), kClass);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(0, *count.Get());
    EXPECT_EQ(led::DeviceCalls({"02000000"}), DeviceLogAfterCalls(1));
    led::ClearDeviceLog();
    SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());

    tst::Process second(Quoted(m_exe));
    EXPECT_EQ(0u, second.Wait());
    EXPECT_TRUE(led::DeviceLog().empty());
    EXPECT_FALSE(SettingsKeyExists());
    EXPECT_EQ(0, *count.Get());
    EXPECT_TRUE(IsWindow(hFrame));

    SendMessageA(hFrame, WM_CLOSE, 0, 0);
    EXPECT_FALSE(led::TrayHasIcon(hFrame));
    EXPECT_EQ(0u, first.Wait());
    EXPECT_EQ(-1, *count.Get());

    tst::Process again(Quoted(m_exe));
    HWND hAgain = tst::WaitForWindow(again.Id(), kClass);
    ASSERT_TRUE(hAgain) << "starts again after an exit";
    EXPECT_EQ(0, *count.Get());
    SendMessageA(hAgain, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, again.Wait());
    EXPECT_EQ(-1, *count.Get());
}

TEST_F(LedProgramTest, TwentyCopiesStartedTogetherLeaveExactlyOneRunning)
{
    led::ExeCounter count(m_exe);
    ASSERT_TRUE(count.Get());
    // Created suspended and released together, so that the starts race.
    std::vector<std::unique_ptr<tst::Process>> copies;
    for (int i = 0; i < 20; ++i) {
        copies.emplace_back(new tst::Process(Quoted(m_exe), CREATE_SUSPENDED));
        ASSERT_TRUE(copies.back()->Started());
    }
    for (auto& copy : copies)
        copy->Resume();

    auto ended = [&] {
        return std::count_if(copies.begin(), copies.end(),
                             [](const std::unique_ptr<tst::Process>& c) { return !c->Running(); });
    };
    HWND hFrame = nullptr;
    tst::WaitFor("all copies but one to end and one window", [&] {
        return ended() >= 19 && (hFrame = FindWindowA(kClass, nullptr)) != nullptr;
    }, 60000, false);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(ended(), 19) << "all but one copy end by themselves";
    EXPECT_EQ(0, *count.Get());
    SendMessageA(hFrame, WM_CLOSE, 0, 0);
    for (auto& copy : copies)
        EXPECT_NE(copy->Wait(), DWORD(-1));
    EXPECT_EQ(-1, *count.Get());

    tst::Process again(Quoted(m_exe));
    HWND hAgain = tst::WaitForWindow(again.Id(), kClass);
    ASSERT_TRUE(hAgain) << "a new start runs after all copies ended";
    SendMessageA(hAgain, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, again.Wait());
}

TEST_F(LedProgramTest, ReportedLevelIsStoredAndAppliedAtTheNextStart)
{
    tst::Process first(Quoted(m_exe));
    HWND hFrame = tst::WaitForWindow(first.Id(), kClass);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(led::DeviceCalls({"02000000"}), DeviceLogAfterCalls(1));
    EXPECT_TRUE(SettingsKeyExists());
    EXPECT_EQ(-100, led::StoredLevel()) << "nothing written before a change";
    EXPECT_EQ(1, SendMessageA(hFrame, kLevelChanged, 0, 1));
    EXPECT_EQ(1, led::StoredLevel());
    SendMessageA(hFrame, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, first.Wait());

    led::ClearDeviceLog();
    tst::Process second(Quoted(m_exe));
    HWND hSecond = tst::WaitForWindow(second.Id(), kClass);
    ASSERT_TRUE(hSecond);
    EXPECT_EQ(led::DeviceCalls({"01000000"}), DeviceLogAfterCalls(1));
    SendMessageA(hSecond, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, second.Wait());
}

// An installer's restart manager closes the program that holds its files;
// the session goes on, so a copy started later must be the only one.
TEST_F(LedProgramTest, RestartManagerEndsTheProgramAndANewCopyShowsOneIcon)
{
    led::ExeCounter count(m_exe);
    ASSERT_TRUE(count.Get());
    const size_t nIcons = led::TrayIconWindows().size();
    tst::Process first(Quoted(m_exe));
    HWND hFrame = tst::WaitForWindow(first.Id(), kClass);
    ASSERT_TRUE(hFrame);
    // The window is found while it is still being created; the first
    // device call comes from the program's loop.
    EXPECT_EQ(led::DeviceCalls({"02000000"}), DeviceLogAfterCalls(1));
    EXPECT_EQ(TRUE, SendMessageA(hFrame, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP));
    SendMessageA(hFrame, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_EQ(0u, first.Wait());
    EXPECT_EQ(-1, *count.Get());

    tst::Process again(Quoted(m_exe));
    HWND hAgain = tst::WaitForWindow(again.Id(), kClass);
    ASSERT_TRUE(hAgain);
    EXPECT_TRUE(tst::WaitFor("the new copy's icon", [&] { return led::TrayHasIcon(hAgain); }));
    EXPECT_EQ(nIcons + 1, led::TrayIconWindows().size());
    SendMessageA(hAgain, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, again.Wait());
}

TEST_F(LedProgramTest, UpdaterClosesTheRunningUtilityWhichEndsCleanly)
{
    tst::TempDir installed("ledapp"), package("ledupd");
    std::string exe = installed / "VelraLumoLEDUtility.EXE";
    ASSERT_TRUE(tst::CopyTo(m_exe, exe));
    ASSERT_TRUE(tst::CopyTo(tst::BinFile("VelraUpdate.exe"), package / "VelraUpdate.exe"));
    ASSERT_TRUE(tst::CopyTo(tst::BinFile("ledutil-data\\LEDUtility.cab"), package / "LEDUtility.cab"));
    tst::ScopedValue run(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                         "VelraLumoLEDUtility.EXE", Quoted(exe));
    led::ExeCounter count(exe);
    tst::Process utility(Quoted(exe));
    HWND hFrame = tst::WaitForWindow(utility.Id(), kClass);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(0, *count.Get());

    tst::RunResult update = tst::RunAndAnswer(Quoted(package / "VelraUpdate.exe"));
    EXPECT_TRUE(update.finished);
    EXPECT_EQ(0u, utility.Wait());
    EXPECT_FALSE(led::TrayHasIcon(hFrame));
    EXPECT_EQ(-1, *count.Get());
    EXPECT_EQ("LED utility update marker\r\n", tst::ReadBytes(installed / "ledutil-update.txt"));
}

}  // namespace
