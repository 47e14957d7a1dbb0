// Closing the running programs and stopping the service, driven by an
// update list filled by hand and observed through what the testbed's
// windows and service log.
#include <memory>

#include "TargetsTestSupport.h"
#include "UpdateApp.h"

namespace {
typedef std::vector<std::string> Lines;

class ClosingTargets : public ::testing::Test {
protected:
    ClosingTargets()
    {
        tgt::EndTestbedWindows();
        tgt::ClearEvents();
    }
    ~ClosingTargets() override { tgt::EndTestbedWindows(); }

    // Starts the windows, then forgets their "ready" lines.
    void Windows(std::initializer_list<const char*> args)
    {
        tgt::ClearEvents();
        for (tgt::Program* p : tgt::StartWindows(args))
            windows.emplace_back(p);
        tgt::ClearEvents();
    }
    DWORD Close(std::initializer_list<int> types)
    {
        tgt::ListItems items(app, types);
        return tgt::Timed([this] { app.CloseRunningTargets(); });
    }

    CUpdateApp app;
    std::vector<std::unique_ptr<tgt::Program>> windows;
};
// Sleep(1000) may come back a tick or two early on the tick counter.
const DWORD kSecond = 950;
}  // namespace

TEST_F(ClosingTargets, RingWindowFirstAndTheWholeSequenceOncePerEntry)
{
    // Two ring windows with any title and two companions: the first two
    // entries each find one of each and leave the main window alone; the
    // third finds no ring and closes the main window instead.
    Windows({"VelraLumoRingWnd -", "VelraLumoRingWnd \"another ring\"", "VelraHomedeck", "PADWIN", "PADWIN"});
    DWORD ms = Close({1, 1, 1});
    EXPECT_EQ(tgt::Events(), (Lines{"VelraLumoRingWnd SC_CLOSE", "PADWIN WM_CLOSE", "VelraLumoRingWnd SC_CLOSE",
                                    "PADWIN WM_CLOSE", "VelraHomedeck SC_CLOSE"}));
    EXPECT_GE(ms, 6 * kSecond);
    EXPECT_EQ(FindWindowA("VelraHomedeck", nullptr), nullptr);
}

TEST_F(ClosingTargets, MainWindowThenTheRingItBroughtUpThenTheCompanion)
{
    struct {
        int type;
        const char* main;
        const char* other;  // the other family's main window, never touched
    } families[] = {{1, "VelraHomedeck", "VelraLumoView"}, {2, "VelraLumoView", "VelraHomedeck"}};
    for (const auto& f : families) {
        SCOPED_TRACE(f.main);
        Windows({(std::string(f.main) + " --ring-on-close").c_str(), f.other, "PADWIN"});
        DWORD ms = Close({f.type});
        EXPECT_EQ(tgt::Events(), (Lines{std::string(f.main) + " SC_CLOSE", "VelraLumoRingWnd ready",
                                        "VelraLumoRingWnd SC_CLOSE", "PADWIN WM_CLOSE"}));
        EXPECT_GE(ms, 3 * kSecond);
        EXPECT_NE(FindWindowA(f.other, f.other), nullptr);
        tgt::EndTestbedWindows();
        windows.clear();
    }
}

TEST_F(ClosingTargets, WindowsOfTheRightClassButAnotherTitleStayOpen)
{
    // The main windows and the companion are looked for by title as well.
    Windows({"VelraHomedeck -", "VelraLumoView Other", "PADWIN -"});
    DWORD ms = Close({1, 2, 3});
    EXPECT_EQ(tgt::Events(), Lines{});
    // One second per entry, none for windows that were not found.
    EXPECT_GE(ms, 3 * kSecond);
    EXPECT_LT(ms, 3 * kSecond + 900);
    for (auto& w : windows)
        EXPECT_TRUE(w->Running());
}

TEST_F(ClosingTargets, LedUtilityGetsWmCloseAndIsPausedForOnlyWhenFound)
{
    Windows({"VelraLEDUtility - --hidden", "VelraHomedeck", "VelraLumoRingWnd", "PADWIN"});
    DWORD ms = Close({4});
    EXPECT_EQ(tgt::Events(), Lines{"VelraLEDUtility WM_CLOSE"});
    EXPECT_GE(ms, kSecond);
    EXPECT_TRUE(windows[0]->Wait() == 0);

    ms = Close({4});
    EXPECT_EQ(tgt::Events(), Lines{"VelraLEDUtility WM_CLOSE"});
    EXPECT_LT(ms, 500u);
}

TEST_F(ClosingTargets, TypeZeroAndUnknownTypesTouchNothing)
{
    tgt::Service service;
    ASSERT_TRUE(service.Start());
    Windows({"VelraLumoRingWnd", "VelraHomedeck", "VelraLumoView", "PADWIN", "VelraLEDUtility --hidden"});
    DWORD ms = Close({0, 0, 5, -1, 0});
    EXPECT_LT(ms, 500u);
    EXPECT_EQ(tgt::Events(), Lines{});
    for (auto& w : windows)
        EXPECT_TRUE(w->Running());
    EXPECT_EQ(service.State(), DWORD(SERVICE_RUNNING));

    ASSERT_TRUE(service.Stop());
    tgt::ClearEvents();
    tgt::ListItems items(app, {0, 0, 5, -1, 0});
    app.RestartTargetServices();
    Sleep(300);
    EXPECT_EQ(tgt::Events(), Lines{});
    EXPECT_EQ(service.State(), DWORD(SERVICE_STOPPED));
}

TEST_F(ClosingTargets, ServiceStoppedByItsEntryAndStartedAgainEvenIfItWasNotRunning)
{
    tgt::Service service;
    ASSERT_TRUE(service.Start());
    Windows({"PADWIN"});
    tgt::ListItems items(app, {0, 3, 0});

    // Running: the companion, then the service.
    DWORD ms = tgt::Timed([this] { app.CloseRunningTargets(); });
    EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(tgt::Events(), (Lines{"PADWIN WM_CLOSE", "velsvc_s stop"}));
    EXPECT_GE(ms, 2 * kSecond);
    app.RestartTargetServices();
    EXPECT_TRUE(tgt::WaitForEvent("velsvc_s start"));
    EXPECT_TRUE(service.WaitForState(SERVICE_RUNNING));

    // Already stopped: the stop request goes nowhere, the start happens.
    ASSERT_TRUE(service.Stop());
    tgt::ClearEvents();
    ms = tgt::Timed([this] { app.CloseRunningTargets(); });
    EXPECT_GE(ms, kSecond);
    EXPECT_EQ(tgt::Events(), Lines{});
    app.RestartTargetServices();
    EXPECT_TRUE(tgt::WaitForEvent("velsvc_s start"));
    EXPECT_TRUE(service.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(tgt::Events(), Lines{"velsvc_s start"});
}

TEST_F(ClosingTargets, ServiceCallsGiveTheControlManagersAnswer)
{
    EXPECT_FALSE(StopServiceByName("velsvc_s"));
    EXPECT_FALSE(StartServiceByName("velsvc_s"));
    tgt::Service service;
    EXPECT_FALSE(StopServiceByName("velsvc_s"));
    EXPECT_TRUE(StartServiceByName("velsvc_s"));
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
    EXPECT_FALSE(StartServiceByName("velsvc_s"));
    EXPECT_TRUE(StopServiceByName("velsvc_s"));
    EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED));
}
