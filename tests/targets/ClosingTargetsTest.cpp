// Closing the running programs and stopping the service, driven by an
// update list filled by hand and observed through what the testbed's
// windows and service log.
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>

#include "Programs.h"
#include "TargetsTestSupport.h"
#include "TestbedLog.h"
#include "UpdateApp.h"
#include "Waits.h"

namespace {
typedef std::vector<std::string> Lines;

class ClosingTargets : public ::testing::Test {
protected:
    ClosingTargets()
    {
        tgt::EndTestbedWindows();
        tst::ClearTestbedEvents();
    }
    ~ClosingTargets() override { tgt::EndTestbedWindows(); }

    // Starts the windows, then forgets their "ready" lines.
    void Windows(std::initializer_list<const char*> args)
    {
        tst::ClearTestbedEvents();
        for (tst::Process* p : tgt::StartWindows(args))
            windows.emplace_back(p);
        tst::ClearTestbedEvents();
    }
    // The closing of these entries: the event log with its pauses.
    Lines Close(std::initializer_list<int> types)
    {
        tgt::ListItems items(app, types);
        tgt::PauseTimeline timeline;
        app.CloseRunningTargets();
        return timeline.Lines();
    }

    CUpdateApp app;
    std::vector<std::unique_ptr<tst::Process>> windows;
};
DWORD WINAPI CloseOnThread(void* pApp)
{
    static_cast<CUpdateApp*>(pApp)->CloseRunningTargets();
    return 0;
}
}  // namespace

TEST_F(ClosingTargets, RingWindowFirstAndTheWholeSequenceOncePerEntry)
{
    // Two ring windows with any title and two companions: the first two
    // entries each find one of each and leave the main window alone; the
    // third finds no ring and closes the main window instead.
    Windows({"VelraLumoRingWnd -", "VelraLumoRingWnd \"another ring\"", "VelraHomedeck", "PADWIN", "PADWIN"});
    EXPECT_EQ(Close({1, 1, 1}),
              (Lines{"VelraLumoRingWnd SC_CLOSE", "pause", "PADWIN WM_CLOSE", "pause", "VelraLumoRingWnd SC_CLOSE",
                     "pause", "PADWIN WM_CLOSE", "pause", "VelraHomedeck SC_CLOSE", "pause", "pause"}));
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
        EXPECT_EQ(Close({f.type}), (Lines{std::string(f.main) + " SC_CLOSE", "pause", "VelraLumoRingWnd SC_CLOSE",
                                          "pause", "PADWIN WM_CLOSE", "pause"}));
        // The ring window came up while the main window's close request ran.
        EXPECT_EQ(tst::TestbedEvents(), (Lines{std::string(f.main) + " SC_CLOSE", "VelraLumoRingWnd ready",
                                        "VelraLumoRingWnd SC_CLOSE", "PADWIN WM_CLOSE"}));
        EXPECT_NE(FindWindowA(f.other, f.other), nullptr);
        tgt::EndTestbedWindows();
        windows.clear();
    }
}

TEST_F(ClosingTargets, WindowsOfTheRightClassButAnotherTitleStayOpen)
{
    // The main windows and the companion are looked for by title as well.
    Windows({"VelraHomedeck -", "VelraLumoView Other", "PADWIN -"});
    // One pause per entry, none for windows that were not found.
    EXPECT_EQ(Close({1, 2, 3}), (Lines{"pause", "pause", "pause"}));
    for (auto& w : windows)
        EXPECT_TRUE(w->Running());
}

std::vector<DWORD> g_foregroundAllowed;
BOOL WINAPI RecordAllowSetForegroundWindow(DWORD dwProcessId)
{
    g_foregroundAllowed.push_back(dwProcessId);
    return TRUE;
}

TEST_F(ClosingTargets, LedUtilityGetsWmCloseAndIsPausedForOnlyWhenFound)
{
    Windows({"VelraLEDUtility - --hidden", "VelraHomedeck", "VelraLumoRingWnd", "PADWIN"});
    // It may ask its user first: it is let into the foreground for that.
    g_foregroundAllowed.clear();
    tgt::ImportHook allow("user32.dll", "AllowSetForegroundWindow",
                          reinterpret_cast<void*>(RecordAllowSetForegroundWindow));
    EXPECT_EQ(Close({4}), (Lines{"VelraLEDUtility WM_CLOSE", "pause"}));
    EXPECT_EQ(g_foregroundAllowed, std::vector<DWORD>{windows[0]->Id()});
    EXPECT_EQ(windows[0]->Wait(), 0u);

    tst::ClearTestbedEvents();
    EXPECT_EQ(Close({4}), Lines{});
}

TEST_F(ClosingTargets, TypeZeroAndUnknownTypesTouchNothing)
{
    tgt::Service service;
    ASSERT_TRUE(service.Start());
    Windows({"VelraLumoRingWnd", "VelraHomedeck", "VelraLumoView", "PADWIN", "VelraLEDUtility --hidden"});
    EXPECT_EQ(Close({0, 0, 5, -1, 0}), Lines{});
    for (auto& w : windows)
        EXPECT_TRUE(w->Running());
    EXPECT_EQ(service.State(), DWORD(SERVICE_RUNNING));

    ASSERT_TRUE(service.Stop());
    tst::ClearTestbedEvents();
    tgt::ListItems items(app, {0, 0, 5, -1, 0});
    app.RestartTargetServices();
    // A start request would have left it at least START_PENDING on return.
    EXPECT_EQ(service.State(), DWORD(SERVICE_STOPPED));
}

TEST_F(ClosingTargets, ServiceIsWaitedForUntilStoppedAndStartedAgainEvenIfItWasNotRunning)
{
    tgt::Service service;
    ASSERT_TRUE(service.Start());
    Windows({"PADWIN"});

    // Running: the companion, then the service, which takes longer to stop
    // than the fixed second: the closing returns only once it has stopped.
    Lines timeline = Close({0, 3, 0});
    EXPECT_EQ(service.State(), DWORD(SERVICE_STOPPED));
    EXPECT_EQ(tst::TestbedEvents(), (Lines{"PADWIN WM_CLOSE", "velsvc_s stopping", "velsvc_s stop"}));
    ASSERT_GE(timeline.size(), 3u);
    EXPECT_EQ(Lines(timeline.begin(), timeline.begin() + 3), (Lines{"PADWIN WM_CLOSE", "pause", "velsvc_s stopping"}));
    EXPECT_EQ(std::count(timeline.begin(), timeline.end(), "pause"), 2);
    {
        tgt::ListItems items(app, {0, 3, 0});
        app.RestartTargetServices();
    }
    EXPECT_TRUE(tgt::WaitForEvent("velsvc_s start"));
    EXPECT_TRUE(service.WaitForState(SERVICE_RUNNING));

    // Already stopped: the stop request goes nowhere, the pause stays, and
    // there is nothing to wait for; the start happens.
    ASSERT_TRUE(service.Stop());
    tst::ClearTestbedEvents();
    EXPECT_EQ(Close({0, 3, 0}), Lines{"pause"});
    {
        tgt::ListItems items(app, {0, 3, 0});
        app.RestartTargetServices();
    }
    EXPECT_TRUE(tgt::WaitForEvent("velsvc_s start"));
    EXPECT_TRUE(service.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(tst::TestbedEvents(), Lines{"velsvc_s start"});
}

TEST_F(ClosingTargets, AServiceStillStartingIsStoppedOnceItRunsAndItsProcessIsWaitedFor)
{
    // Asked to stop while still starting, it would refuse; its process ends
    // a while after it reports stopped. The closing returns once it has.
    tgt::Service service("", true);
    ASSERT_TRUE(service.Begin());
    ASSERT_TRUE(tgt::WaitForEvent("velsvc_s starting"));
    Close({3});
    EXPECT_EQ(tst::TestbedEvents(), (Lines{"velsvc_s starting", "velsvc_s start", "velsvc_s stopping",
                                           "velsvc_s stop", "velsvc_s exit"}));
}

TEST_F(ClosingTargets, HungWindowDoesNotStopTheClosing)
{
    Windows({"VelraHomedeck --hang", "PADWIN", "VelraLEDUtility - --hidden"});
    HWND hHung = FindWindowA("VelraHomedeck", "VelraHomedeck");
    ASSERT_NE(hHung, nullptr);
    // The system calls a program hung once its thread has taken no message
    // for a few seconds.
    ASSERT_TRUE(tst::WaitFor("the window to be called hung", [&] { return IsHungAppWindow(hHung) != FALSE; }));

    tgt::ListItems items(app, {1, 4});
    tgt::PauseTimeline timeline;
    tgt::SendTimeouts sends;
    HANDLE hThread = CreateThread(nullptr, 0, CloseOnThread, &app, 0, nullptr);
    ASSERT_NE(hThread, nullptr);
    // A close request that waited for the hung program would not return
    // (or, without giving up on hung programs, only after minutes).
    bool bReturned = tst::WaitFor("the closing to return", [&] {
        return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
    }, 120000, false);
    if (!bReturned)
        TerminateThread(hThread, 1);
    CloseHandle(hThread);
    ASSERT_TRUE(bReturned);

    // The hung main window's request was given up; the rest ran.
    EXPECT_EQ(timeline.Lines(),
              (Lines{"pause", "pause", "PADWIN WM_CLOSE", "pause", "VelraLEDUtility WM_CLOSE", "pause"}));
    EXPECT_TRUE(windows[0]->Running());
    std::vector<tgt::SendTimeouts::Call> calls = sends.Calls();
    ASSERT_EQ(calls.size(), 3u);
    for (const auto& c : calls) {
        EXPECT_EQ(c.flags, UINT(SMTO_ABORTIFHUNG)) << c.message;
        EXPECT_GE(c.timeout, 60000u) << c.message;
    }
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
    // The stop request returns as soon as the service says it is stopping;
    // a second one is refused, a start request waits until it has stopped
    // (the service manager would refuse it before) and then succeeds.
    tst::ClearTestbedEvents();
    EXPECT_TRUE(StopServiceByName("velsvc_s"));
    EXPECT_EQ(service.State(), DWORD(SERVICE_STOP_PENDING));
    EXPECT_FALSE(StopServiceByName("velsvc_s"));
    {
        tgt::ListItems items(app, {3});
        app.RestartTargetServices();
    }
    EXPECT_TRUE(tgt::WaitForEvent("velsvc_s start"));
    EXPECT_EQ(tst::TestbedEvents(), (Lines{"velsvc_s stopping", "velsvc_s stop", "velsvc_s start"}));
    EXPECT_TRUE(service.WaitForState(SERVICE_RUNNING));
}
