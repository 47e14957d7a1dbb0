// The real VelraLumoLEDUtility.EXE: one copy per machine, its settings,
// and its end when the real updater replaces its files.
#include <shlwapi.h>

#include "LedTestSupport.h"
#include "TestSupport.h"

namespace {

const char kClass[] = "VelraLEDUtility";
const UINT kLevelChanged = WM_APP + 2;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The driver's lines once nCalls complete calls have reached it.
std::vector<std::string> DeviceLogAfterCalls(size_t nCalls)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 100 && (lines = led::DeviceLog()).size() < 3 * nCalls; ++i)
        Sleep(50);
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
    led::Process first(Quoted(m_exe));
    HWND hFrame = first.FindWindowOfClass(kClass, 10000);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(0, *count.Get());
    EXPECT_EQ(led::DeviceCalls({"02000000"}), DeviceLogAfterCalls(1));
    led::ClearDeviceLog();
    SHDeleteKeyA(HKEY_CURRENT_USER, led::SettingsKey().c_str());

    led::Process second(Quoted(m_exe));
    EXPECT_EQ(0, second.Wait(10000));
    EXPECT_FALSE(second.FindWindowOfClass(kClass, 0));
    Sleep(1500);  // a tick of its frame, had it made one
    EXPECT_TRUE(led::DeviceLog().empty());
    EXPECT_FALSE(SettingsKeyExists());
    EXPECT_EQ(0, *count.Get());
    EXPECT_TRUE(IsWindow(hFrame));

    SendMessageA(hFrame, WM_CLOSE, 0, 0);
    EXPECT_FALSE(led::TrayHasIcon(hFrame));
    EXPECT_EQ(0, first.Wait(10000));
    EXPECT_EQ(-1, *count.Get());

    led::Process again(Quoted(m_exe));
    HWND hAgain = again.FindWindowOfClass(kClass, 10000);
    ASSERT_TRUE(hAgain) << "starts again after an exit";
    EXPECT_EQ(0, *count.Get());
    SendMessageA(hAgain, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, again.Wait(10000));
    EXPECT_EQ(-1, *count.Get());
}

TEST_F(LedProgramTest, TwentyCopiesStartedTogetherLeaveExactlyOneRunning)
{
    led::ExeCounter count(m_exe);
    ASSERT_TRUE(count.Get());
    // Created suspended and released together, so that the starts race.
    std::vector<PROCESS_INFORMATION> copies(20);
    for (PROCESS_INFORMATION& pi : copies) {
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        std::string cmd = Quoted(m_exe);
        ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                                   &si, &pi));
    }
    for (PROCESS_INFORMATION& pi : copies)
        ResumeThread(pi.hThread);

    int nEnded = 0;
    for (PROCESS_INFORMATION& pi : copies)
        if (WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0)
            ++nEnded;
    EXPECT_EQ(nEnded, 19) << "all but one copy end by themselves";
    HWND hFrame = FindWindowA(kClass, nullptr);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(0, *count.Get());
    SendMessageA(hFrame, WM_CLOSE, 0, 0);
    for (PROCESS_INFORMATION& pi : copies) {
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    EXPECT_EQ(-1, *count.Get());

    led::Process again(Quoted(m_exe));
    HWND hAgain = again.FindWindowOfClass(kClass, 10000);
    ASSERT_TRUE(hAgain) << "a new start runs after all copies ended";
    SendMessageA(hAgain, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, again.Wait(10000));
}

TEST_F(LedProgramTest, ReportedLevelIsStoredAndAppliedAtTheNextStart)
{
    led::Process first(Quoted(m_exe));
    HWND hFrame = first.FindWindowOfClass(kClass, 10000);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(led::DeviceCalls({"02000000"}), DeviceLogAfterCalls(1));
    EXPECT_TRUE(SettingsKeyExists());
    EXPECT_EQ(-100, led::StoredLevel()) << "nothing written before a change";
    EXPECT_EQ(1, SendMessageA(hFrame, kLevelChanged, 0, 1));
    EXPECT_EQ(1, led::StoredLevel());
    SendMessageA(hFrame, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, first.Wait(10000));

    led::ClearDeviceLog();
    led::Process second(Quoted(m_exe));
    HWND hSecond = second.FindWindowOfClass(kClass, 10000);
    ASSERT_TRUE(hSecond);
    EXPECT_EQ(led::DeviceCalls({"01000000"}), DeviceLogAfterCalls(1));
    SendMessageA(hSecond, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, second.Wait(10000));
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
    led::Process utility(Quoted(exe));
    HWND hFrame = utility.FindWindowOfClass(kClass, 10000);
    ASSERT_TRUE(hFrame);
    EXPECT_EQ(0, *count.Get());

    tst::RunResult update = tst::RunAndAnswer(Quoted(package / "VelraUpdate.exe"));
    EXPECT_TRUE(update.finished);
    EXPECT_EQ(0, utility.Wait(5000));
    EXPECT_FALSE(led::TrayHasIcon(hFrame));
    EXPECT_EQ(-1, *count.Get());
    EXPECT_EQ("LED utility update marker\r\n", tst::ReadBytes(installed / "ledutil-update.txt"));
}

}  // namespace
