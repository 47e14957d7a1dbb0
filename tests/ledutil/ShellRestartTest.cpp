// The tray icon across a restart of the shell, which forgets every icon and
// announces itself with the registered message "TaskbarCreated", and across
// a shell that refuses the icon at first. The icon is seen in Wine's own
// notification area (its display driver's, on a display without a tray of
// its own), where each icon is a window that relays clicks to the icon's
// owner as the shell does.
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include "ImportHook.h"
#include "LEDUtilityApp.h"
#include "LedFrameTest.h"
#include "LedTestSupport.h"
#include "MainFrame.h"
#include "Waits.h"
#include "gtest/gtest.h"
#include "resource.h"

extern CLEDUtilityApp theApp;

namespace {

bool DeleteIconFromOutside(HWND hWnd)
{
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V2_SIZE;
    nid.hWnd = hWnd;
    nid.uID = IDR_FRAME;
    return Shell_NotifyIconA(NIM_DELETE, &nid) != FALSE;
}

void BroadcastTaskbarCreated() { PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0); }

// Shell_NotifyIconA of this program (the frame's code is linked into it),
// refusing the next `refuse` NIM_ADD requests and counting them all; with
// `addAnyway`, a refused request still adds the icon, as a shell that timed
// out does.
class NotifyIconHook {
public:
    explicit NotifyIconHook(int refuse, bool addAnyway = false)
        : m_hook(nullptr, "Shell_NotifyIconA", reinterpret_cast<void*>(&Notify))
    {
        s_refuse = refuse;
        s_addAnyway = addAnyway;
        s_adds = 0;
        s_pfnOriginal = reinterpret_cast<decltype(&Shell_NotifyIconA)>(m_hook.Original());
    }
    static int Adds() { return s_adds; }

private:
    static BOOL WINAPI Notify(DWORD dwMessage, PNOTIFYICONDATAA pData)
    {
        if (dwMessage == NIM_ADD) {
            ++s_adds;
            if (s_refuse > 0) {
                --s_refuse;
                if (s_addAnyway)
                    s_pfnOriginal(dwMessage, pData);
                return FALSE;
            }
        }
        return s_pfnOriginal(dwMessage, pData);
    }
    tst::ImportHook m_hook;
    static decltype(&Shell_NotifyIconA) s_pfnOriginal;
    static int s_refuse, s_adds;
    static bool s_addAnyway;
};
decltype(&Shell_NotifyIconA) NotifyIconHook::s_pfnOriginal;
int NotifyIconHook::s_refuse, NotifyIconHook::s_adds;
bool NotifyIconHook::s_addAnyway;

// GetProcAddress of this program, handing out a recorder for
// ChangeWindowMessageFilter.
struct MessageFilterHook {
    MessageFilterHook() : hook(nullptr, "GetProcAddress", reinterpret_cast<void*>(&Find))
    {
        s_pfnOriginal = reinterpret_cast<decltype(&GetProcAddress)>(hook.Original());
        s_allowed.clear();
    }
    static FARPROC WINAPI Find(HMODULE hModule, LPCSTR name)
    {
        if (HIWORD(name) && strcmp(name, "ChangeWindowMessageFilter") == 0)
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&Change));
        return s_pfnOriginal(hModule, name);
    }
    static BOOL WINAPI Change(UINT message, DWORD flag)
    {
        s_allowed.push_back({message, flag});
        return TRUE;
    }
    tst::ImportHook hook;
    static decltype(&GetProcAddress) s_pfnOriginal;
    static std::vector<std::pair<UINT, DWORD>> s_allowed;
};
decltype(&GetProcAddress) MessageFilterHook::s_pfnOriginal;
std::vector<std::pair<UINT, DWORD>> MessageFilterHook::s_allowed;

class ShellRestart : public led::FrameTest {
protected:
    // Dispatches this thread's messages until done() holds; the settings
    // commands the frame posts to itself are counted instead of opening the
    // panel.
    void PumpUntil(const char* what, const std::function<bool()>& done)
    {
        tst::WaitFor(what, [&] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.hwnd == m_hWnd && msg.message == WM_COMMAND && msg.wParam == ID_SETTINGS)
                    ++m_nSettings;
                else
                    DispatchMessageA(&msg);
            }
            return done();
        }, 30000, false);
    }
    // The same for ms milliseconds, to let whatever else would come come.
    void PumpFor(DWORD ms)
    {
        const DWORD start = GetTickCount();
        PumpUntil("time to pass", [&] { return GetTickCount() - start >= ms; });
    }

    int m_nSettings = 0;
};

}  // namespace

TEST_F(ShellRestart, IconIsAddedAgainAndAClickOnItReachesTheFrame)
{
    CreateFrame();
    ASSERT_TRUE(led::TrayHasIcon(m_hWnd));
    NotifyIconHook hook(0);

    // Announced without a restart: still one icon, and the frame still
    // knows it holds it.
    const size_t icons = led::TrayIconWindows().size();
    BroadcastTaskbarCreated();
    PumpUntil("the icon to be added again", [] { return NotifyIconHook::Adds() == 1; });
    EXPECT_TRUE(led::TrayHasIcon(m_hWnd));
    EXPECT_EQ(led::TrayIconWindows().size(), icons);

    // The shell forgets the icon, as a restarted one has, and announces itself.
    ASSERT_TRUE(DeleteIconFromOutside(m_hWnd));
    ASSERT_FALSE(led::TrayHasIcon(m_hWnd));
    const std::set<HWND> without = led::TrayIconWindows();
    BroadcastTaskbarCreated();
    std::set<HWND> added;
    PumpUntil("a new icon window", [&] {
        added.clear();
        for (HWND h : led::TrayIconWindows())
            if (!without.count(h))
                added.insert(h);
        return !added.empty();
    });
    EXPECT_TRUE(led::TrayHasIcon(m_hWnd));
    ASSERT_EQ(added.size(), 1u);

    // A left press on it reaches the frame through the icon's callback.
    HWND hIcon = *added.begin();
    PostMessageA(hIcon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 8));
    PostMessageA(hIcon, WM_LBUTTONUP, 0, MAKELPARAM(8, 8));
    PumpUntil("the settings command", [&] { return m_nSettings > 0; });
    EXPECT_EQ(m_nSettings, 1);

    // The icon goes with the frame.
    m_pFrame->DestroyWindow();
    EXPECT_FALSE(led::TrayHasIcon(m_hWnd));
}

TEST_F(ShellRestart, RefusedIconIsAskedForAgainOnTheFramesTimer)
{
    {
        // A shell still starting (a slow logon) refuses the first request.
        NotifyIconHook hook(1);
        CreateFrame();
        EXPECT_EQ(NotifyIconHook::Adds(), 1);
        EXPECT_FALSE(led::TrayHasIcon(m_hWnd));
        // The apply timer's next tick asks again, and later ticks do not.
        PumpUntil("the icon to be taken", [this] { return led::TrayHasIcon(m_hWnd); });
        PumpFor(1500);
        EXPECT_EQ(NotifyIconHook::Adds(), 2);
    }
    // Refused again after a restart of the shell, once the level went
    // through and the timer had stopped: the timer runs again for it.
    ASSERT_TRUE(DeleteIconFromOutside(m_hWnd));
    m_pFrame->StopApplyTimer();
    NotifyIconHook hook(1);
    BroadcastTaskbarCreated();
    PumpUntil("the icon to be added again", [] { return NotifyIconHook::Adds() == 1; });
    EXPECT_FALSE(led::TrayHasIcon(m_hWnd));
    PumpUntil("the icon to be taken", [this] { return led::TrayHasIcon(m_hWnd); });
    EXPECT_EQ(NotifyIconHook::Adds(), 2);
}

TEST_F(ShellRestart, AnIconTheShellTookAfterRefusingItIsKeptAndRemovedAtTheEnd)
{
    // A shell busy with a slow logon times out on the request, reports it
    // refused and adds the icon all the same.
    MessageFilterHook filter;
    NotifyIconHook hook(1, true);
    CreateFrame();
    EXPECT_TRUE(led::TrayHasIcon(m_hWnd));
    // The frame holds it: no second request on the timer's ticks, and the
    // icon goes with the frame rather than staying as a ghost.
    PumpFor(1500);
    EXPECT_EQ(NotifyIconHook::Adds(), 1);
    m_pFrame->DestroyWindow();
    EXPECT_FALSE(led::TrayHasIcon(m_hWnd));
    // A restarted shell's announcement is let through to an elevated frame.
    EXPECT_EQ(MessageFilterHook::s_allowed,
              (std::vector<std::pair<UINT, DWORD>>{{RegisterWindowMessageA("TaskbarCreated"), 1u}}));
}
