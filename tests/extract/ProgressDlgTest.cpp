// The progress window: the percent figure's rules, painting at display rate (under a frame clock the
// tests move by hand), what pressing keys and the close box does while a
// package is extracted, and the owner it disables.
#include "ExtractCabinet.h"
#include "ExtractTestSupport.h"
#include "UpdateApp.h"
#include "UpdateProgressDlg.h"
#include "UpdateTestSupport.h"
#include "res/resource.h"

#include <algorithm>

namespace {
class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dlg.Create()); }
    std::string Text(int nId) { return tst::WindowText(GetDlgItem(dlg.m_hWnd, nId)); }
    LRESULT Bar(UINT message, WPARAM wParam = 0)
    {
        return SendDlgItemMessageA(dlg.m_hWnd, IDC_PROGRESS_BAR, message, wParam, 0);
    }
    CUpdateProgressDlg dlg;
};
}  // namespace

TEST_F(ProgressWindow, OpensEmptyWithItsTitleAndIcon)
{
    EXPECT_EQ(tst::WindowText(dlg.m_hWnd), tst::Cp932("ｱｯﾌﾟﾃﾞｰﾄﾌｧｲﾙをｲﾝｽﾄｰﾙしています."));
    EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
    EXPECT_EQ(Text(IDC_STATUS_TEXT), "");
    EXPECT_EQ(Text(IDC_PERCENT_TEXT), " 0 %");
    EXPECT_EQ(Bar(PBM_GETPOS), 0);
    EXPECT_EQ(Bar(PBM_GETRANGE, FALSE), 100);
    EXPECT_NE(dlg.SendMessage(WM_GETICON, ICON_SMALL), 0);
    EXPECT_NE(dlg.SendMessage(WM_GETICON, ICON_BIG), 0);
    EXPECT_EQ(dlg.SetBarStep(1), 10);  // the step it started with
    dlg.SetBarPos(0);
    EXPECT_EQ(Text(IDC_PERCENT_TEXT), "0%");
}

TEST_F(ProgressWindow, PercentFollowsTheBarWrapsAndIsSetOnlyWhenItChanges)
{
    ext::DialogRecorder seen(dlg.m_hWnd);
    // Each change painted at once, so each reaches the controls.
    auto pos = [&](int n) { dlg.SetBarPos(n), dlg.PaintNow(); };
    auto step = [&] { int nOld = dlg.StepBar(); dlg.PaintNow(); return nOld; };
    dlg.SetBarRange(0, 3);
    dlg.SetBarStep(1);
    pos(0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(step(), i);
    dlg.SetBarRange(0, 4);
    pos(0);
    for (int i = 0; i < 5; ++i)
        step();
    EXPECT_LT(Bar(PBM_GETPOS), 4);  // the control started again from its lower bound
    dlg.SetBarRange(0, 100);
    pos(100);
    pos(100);
    EXPECT_EQ(seen.TextsOf(IDC_PERCENT_TEXT),
              (std::vector<std::string>{"0%", "33%", "66%", "100%", "0%", "25%", "50%", "75%", "100%", "25%", "100%"}));
}

namespace {
// A control's pixels as they are on the screen or, printed, as its
// window's WM_PRINT draws them: the window first, then the control, as the
// system's default handling does (Wine's prints no children).
std::vector<DWORD> Pixels(HWND hWnd, bool bPrinted = false)
{
    RECT rc;
    GetClientRect(hWnd, &rc);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = rc.right;
    bmi.bmiHeader.biHeight = -rc.bottom;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void* pBits = nullptr;
    HDC hdc = GetDC(hWnd), hMem = CreateCompatibleDC(hdc);
    HBITMAP hBitmap = CreateDIBSection(hdc, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HGDIOBJ hOld = SelectObject(hMem, hBitmap);
    if (bPrinted) {
        WPARAM wDC = reinterpret_cast<WPARAM>(hMem);
        SendMessageA(GetParent(hWnd), WM_PRINT, wDC, PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND);
        SendMessageA(hWnd, WM_PRINT, wDC, PRF_CLIENT | PRF_ERASEBKGND);
    } else {
        BitBlt(hMem, 0, 0, rc.right, rc.bottom, hdc, 0, 0, SRCCOPY);
    }
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<DWORD*>(pBits), static_cast<DWORD*>(pBits) + rc.right * rc.bottom);
    SelectObject(hMem, hOld);
    DeleteObject(hBitmap);
    DeleteDC(hMem);
    ReleaseDC(hWnd, hdc);
    return pixels;
}

// The right end of the bar's filled part, on the screen or printed.
int FilledEnd(HWND hBar, bool bPrinted = false)
{
    RECT rc;
    GetClientRect(hBar, &rc);
    std::vector<DWORD> pixels = Pixels(hBar, bPrinted);
    COLORREF c = GetSysColor(COLOR_HIGHLIGHT);
    const DWORD highlight = DWORD(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
    int end = 0;
    for (int x = 0; x < rc.right; ++x)
        if ((pixels[rc.bottom / 2 * rc.right + x] & 0xFFFFFF) == highlight)
            end = x + 1;
    return end;
}

// The frame clock, moved by hand: it starts just before its 32-bit wrap.
DWORD g_now;
DWORD TestClock() { return g_now; }

// What the window's controls go through on this thread, in order: "text N"
// when control N's text is set, "move" when the bar is, "asked N" when
// control N is sent WM_PAINT, "paint N" when it paints. A static asks its
// dialog for its colours whenever it paints, however the paint came about;
// the bar has painted when a WM_PAINT leaves it nothing more to paint.
class PaintLog : public tst::HookRecorder<PaintLog> {
public:
    PaintLog()
    {
        Hook(WH_CALLWNDPROC, Sent);
        Hook(WH_CALLWNDPROCRET, Done);
    }
    int Count(const std::string& event) const { return int(std::count(events.begin(), events.end(), event)); }
    // Control nId's last paint came after its last change.
    bool PaintedLast(int nId) const
    {
        std::string change = nId == IDC_PROGRESS_BAR ? "move" : "text " + std::to_string(nId);
        std::string paint = "paint " + std::to_string(nId);
        auto last = std::find_if(events.rbegin(), events.rend(),
                                 [&](const std::string& e) { return e == change || e == paint; });
        return last != events.rend() && *last == paint;
    }
    std::vector<std::string> events;
    DWORD paintMs = 0;  // the frame clock moves this much whenever a control paints

private:
    static LRESULT CALLBACK Sent(int code, WPARAM wParam, LPARAM lParam)
    {
        const CWPSTRUCT* p = reinterpret_cast<const CWPSTRUCT*>(lParam);
        int nId = GetDlgCtrlID(p->hwnd);
        PaintLog* s_log = Current();
        if (code == HC_ACTION && s_log) {
            if (p->message == WM_PAINT && nId >= IDC_STATUS_TEXT && nId <= IDC_PERCENT_TEXT) {
                s_log->events.push_back("asked " + std::to_string(nId));
                g_now += s_log->paintMs;
            }
            if (p->message == WM_SETTEXT && (nId == IDC_STATUS_TEXT || nId == IDC_PERCENT_TEXT))
                s_log->events.push_back("text " + std::to_string(nId));
            if (nId == IDC_PROGRESS_BAR && (p->message == PBM_STEPIT || p->message == PBM_SETPOS))
                s_log->events.push_back("move");
            if (p->message == WM_CTLCOLORSTATIC)
                s_log->events.push_back("paint " + std::to_string(GetDlgCtrlID(reinterpret_cast<HWND>(p->lParam))));
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK Done(int code, WPARAM wParam, LPARAM lParam)
    {
        const CWPRETSTRUCT* p = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        PaintLog* s_log = Current();
        if (code == HC_ACTION && s_log && p->message == WM_PAINT && GetDlgCtrlID(p->hwnd) == IDC_PROGRESS_BAR &&
            !GetUpdateRect(p->hwnd, nullptr, FALSE))
            s_log->events.push_back("paint " + std::to_string(IDC_PROGRESS_BAR));
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};

std::string Name(int i)
{
    char name[32];
    wsprintfA(name, "res%04d.bin", i);
    return name;
}

class PaintingWindow : public ProgressWindow {
protected:
    void SetUp() override
    {
        CUpdateProgressDlg::SetFrameClock(TestClock);
        g_now = 0xFFFFFF00;
        ProgressWindow::SetUp();
    }
    void TearDown() override { CUpdateProgressDlg::SetFrameClock(nullptr); }
    // A package of n files begins; what the window showed so far is painted.
    void Begin(int n)
    {
        dlg.SetBarRange(0, n);
        dlg.SetBarStep(1);
        dlg.SetBarPos(0);
        dlg.PaintNow();
    }
    void File(int i)
    {
        dlg.ShowStatusText(Name(i).c_str());
        dlg.StepBar();
    }
};
}  // namespace

TEST_F(PaintingWindow, TheScreenNamesTheFileBeingCopiedAndNeverAnEarlierPackage)
{
    HWND hStatus = GetDlgItem(dlg.m_hWnd, IDC_STATUS_TEXT), hPercent = GetDlgItem(dlg.m_hWnd, IDC_PERCENT_TEXT);
    HWND hBar = GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_BAR);
    RECT rc;
    GetClientRect(hBar, &rc);
    // Files a frame apart: each name is on screen before its file's step.
    Begin(3);
    std::vector<std::vector<DWORD>> shown;
    for (int i = 0; i < 3; ++i) {
        g_now += 16;
        dlg.ShowStatusText(Name(i).c_str());
        shown.push_back(Pixels(hStatus));
        dlg.StepBar();
    }
    dlg.PaintNow();  // the package ends
    EXPECT_NEAR(FilledEnd(hBar), rc.right, 3);
    std::vector<DWORD> full = Pixels(hPercent);
    // The next package begins in the same millisecond, and its first file is
    // large: within the frame nothing changes on screen, a frame into the
    // file's blocks the last package is gone.
    dlg.ShowStatusText("prep");
    dlg.SetBarRange(0, 100);
    dlg.SetBarPos(0);
    dlg.SetBarRange(0, 40);
    dlg.SetBarStep(1);
    dlg.SetBarPos(0);
    dlg.ShowStatusText(Name(3).c_str());
    dlg.KeepShowing();
    EXPECT_EQ(Pixels(hPercent), full);
    g_now += 16;
    dlg.KeepShowing();
    shown.push_back(Pixels(hStatus));
    std::vector<DWORD> zero = Pixels(hPercent);
    EXPECT_NE(zero, full);
    EXPECT_EQ(FilledEnd(hBar), 0);
    // What was on screen is each name and 0% as they paint on their own.
    for (int i = 0; i < 4; ++i) {
        if (i) {
            EXPECT_NE(shown[i], shown[i - 1]);
        }
        dlg.ShowStatusText(Name(i).c_str());
        dlg.PaintNow();
        EXPECT_EQ(Pixels(hStatus), shown[i]) << Name(i);
    }
    dlg.SetBarRange(0, 100);
    dlg.SetBarPos(100);
    dlg.PaintNow();
    dlg.SetBarPos(0);
    dlg.PaintNow();
    EXPECT_EQ(Pixels(hPercent), zero);
}

TEST_F(PaintingWindow, PaintsFollowTheFramesAcrossTheClocksWrap)
{
    // Files come every 5 ms: a frame (16 ms) passes at every fourth.
    const int n = 2000;
    Begin(n);
    PaintLog log;
    HWND hBar = GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_BAR);
    RECT rc;
    GetClientRect(hBar, &rc);
    const int frames = 500;  // every fourth of 2000 files
    for (int i = 0; i < n; ++i) {
        g_now += 5;
        File(i);
        if (i + 1 == n / 2) {  // a frame: what is on screen is half the bar
            EXPECT_NEAR(FilledEnd(hBar), rc.right / 2, 3);
        }
    }
    // A new name and a new position in every frame; the figure at most once
    // for each of its 100 values.
    EXPECT_NEAR(log.Count("paint 1000"), frames, 1);
    EXPECT_NEAR(log.Count("paint 1001"), frames, 1);
    EXPECT_LE(log.Count("paint 1002"), 100);
    // Uncovered, the window is painted by the next drain, frame or not.
    RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    dlg.SetBarPos(n);
    for (HWND hWnd : {dlg.m_hWnd, GetDlgItem(dlg.m_hWnd, IDC_STATUS_TEXT), hBar})
        EXPECT_FALSE(GetUpdateRect(hWnd, nullptr, FALSE));
}

TEST_F(PaintingWindow, EachPaintPutsTheNextFrameOffByItsOwnCost)
{
    // Files come every 5 ms, and every control takes 10 ms to paint: a
    // frame of 30 ms puts the next one 32 times that, 960 ms, away.
    const int n = 2000;
    Begin(n);
    PaintLog log;
    log.paintMs = 10;
    DWORD start = g_now;
    for (int i = 0; i < n; ++i) {
        g_now += 5;
        File(i);
    }
    DWORD elapsed = g_now - start, painting = elapsed - 5 * n;
    EXPECT_NEAR(painting * 32.0, elapsed, 990);
    // A clock that steps back by seconds during a paint costs it nothing:
    // the frames go on a frame apart.
    log.paintMs = DWORD(-2000);
    dlg.ShowStatusText("back");
    dlg.PaintNow();
    log.paintMs = 0;
    log.events.clear();
    for (int i = 1; i <= 400; ++i) {
        g_now += 4;
        File(i);
    }
    EXPECT_NEAR(log.Count("paint 1000"), 100, 1);
}

TEST_F(PaintingWindow, PaintNowAndPrintingShowTheLatestState)
{
    HWND hBar = GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_BAR);
    RECT rc;
    GetClientRect(hBar, &rc);
    Begin(40);
    for (int i = 0; i < 20; ++i)
        File(i);
    EXPECT_EQ(FilledEnd(hBar), 0);  // nothing painted yet
    // Printed between frames, the bar is half full.
    EXPECT_NEAR(FilledEnd(hBar, true), rc.right / 2, 3);
    // PaintNow puts the final state on screen at once, each control once.
    PaintLog log;
    for (int i = 20; i < 40; ++i)
        File(i);
    dlg.PaintNow();
    for (int nId : {IDC_STATUS_TEXT, IDC_PROGRESS_BAR, IDC_PERCENT_TEXT}) {
        EXPECT_EQ(log.Count("paint " + std::to_string(nId)), 1) << nId;
        EXPECT_FALSE(GetUpdateRect(GetDlgItem(dlg.m_hWnd, nId), nullptr, FALSE)) << nId;
    }
    EXPECT_NEAR(FilledEnd(hBar), rc.right, 3);
    EXPECT_EQ(Text(IDC_STATUS_TEXT), Name(39));
    EXPECT_EQ(Text(IDC_PERCENT_TEXT), "100%");
}

namespace {
// The progress window as the run's box finds it: looked at when the box is
// created, before it shows or runs its loop (which would paint whatever is
// pending), and then answered.
struct UnderTheBox : tst::HookRecorder<UnderTheBox> {
    UnderTheBox() { Hook(WH_CBT, OnCreate); }
    bool seen = false;
    std::string status, percent;
    int filledEnd = -1, barWidth = 0;
    bool painted = false;  // each control's last paint after its last change
    static LRESULT CALLBACK OnCreate(int code, WPARAM wParam, LPARAM lParam);
};

LRESULT CALLBACK UnderTheBox::OnCreate(int code, WPARAM wParam, LPARAM lParam)
{
    HWND hWnd = reinterpret_cast<HWND>(wParam);
    char cls[16] = "";
    GetClassNameA(hWnd, cls, sizeof(cls));
    UnderTheBox* at = Current();
    const PaintLog* log = PaintLog::Current();
    if (code == HCBT_CREATEWND && at && !at->seen && g_pProgressDlg && g_pProgressDlg->m_hWnd &&
        hWnd != g_pProgressDlg->m_hWnd && strcmp(cls, "#32770") == 0) {
        HWND hDlg = g_pProgressDlg->m_hWnd, hBar = GetDlgItem(hDlg, IDC_PROGRESS_BAR);
        at->seen = true;
        at->status = tst::WindowText(GetDlgItem(hDlg, IDC_STATUS_TEXT));
        at->percent = tst::WindowText(GetDlgItem(hDlg, IDC_PERCENT_TEXT));
        RECT rc;
        GetClientRect(hBar, &rc);
        at->barWidth = rc.right;
        at->filledEnd = FilledEnd(hBar);
        at->painted = log && log->PaintedLast(IDC_STATUS_TEXT) && log->PaintedLast(IDC_PROGRESS_BAR) &&
                      log->PaintedLast(IDC_PERCENT_TEXT);
        PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

TEST(ProgressWindowInTheRun, TheFinalStateIsPaintedBeforeTheBox)
{
    // The run in this process: one package for the tray utility's folder,
    // found through the Run key; the box that ends it answered from a hook.
    tst::TempDir packages("pkg"), led("led");
    tst::ScopedModuleFolder module(packages.Path());
    ASSERT_TRUE(tst::CopyTo(ext::TestData("many.cab"), packages / "LEDUtility.cab"));
    tst::ScopedValue runEntry(HKEY_LOCAL_MACHINE, upd::kRunKey, "VelraLumoLEDUtility.EXE",
                              led / "VelraLumoLEDUtility.EXE");
    // The clock stands still: once the window is up, only the run's own
    // PaintNow calls paint it.
    CUpdateProgressDlg::SetFrameClock(TestClock);
    PaintLog log;
    UnderTheBox under;
    {
        CUpdateApp app;
        EXPECT_FALSE(app.InitInstance());
    }
    CUpdateProgressDlg::SetFrameClock(nullptr);
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted as the main window went

    ASSERT_TRUE(under.seen);
    EXPECT_EQ(under.status, upd::Copying("module60.dll"));
    EXPECT_EQ(under.percent, "100%");
    EXPECT_NEAR(under.filledEnd, under.barWidth, 3);
    EXPECT_TRUE(under.painted);
    EXPECT_LE(log.Count("paint 1000"), 3) << "painted for the first file and at the end, not for each of 60";
    EXPECT_EQ(tst::FileNames(led.Path()).size(), 60u);
}

TEST_F(ProgressWindow, EnterEscAndTheCloseBoxLeaveItOpenWhileExtracting)
{
    tst::TempDir target("t");
    HWND hDlg = dlg.m_hWnd;
    SetForegroundWindow(hDlg);
    // Real key strokes through the input queue, then the close box's command.
    INPUT keys[4] = {};
    const WORD vks[] = {VK_RETURN, VK_RETURN, VK_ESCAPE, VK_ESCAPE};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = vks[i];
        keys[i].ki.dwFlags = i % 2 ? KEYEVENTF_KEYUP : 0;
    }
    ASSERT_EQ(SendInput(4, keys, sizeof(INPUT)), 4u);
    PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);

    ext::DialogRecorder seen(hDlg);
    g_pProgressDlg = &dlg;
    EXPECT_TRUE(ExtractCabinet(ext::TestData("three-stored.cab").c_str(), target.Path().c_str()));
    g_pProgressDlg = nullptr;
    // Posted messages come before input, so the close box's command may come first.
    std::vector<WORD> commands = seen.Commands();
    std::sort(commands.begin(), commands.end());
    EXPECT_EQ(commands, (std::vector<WORD>{IDOK, IDCANCEL, IDCANCEL}));
    EXPECT_EQ(dlg.m_hWnd, hDlg);
    EXPECT_TRUE(IsWindow(hDlg) && IsWindowVisible(hDlg));
    dlg.PaintNow();
    EXPECT_EQ(Text(IDC_PERCENT_TEXT), "100%");
}

TEST(ProgressWindowOwner, DisabledWhileShownGivenBackWhenCreationFails)
{
    HWND hOwner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                  nullptr, nullptr);
    CWnd owner;
    owner.Attach(hOwner);
    {
        CUpdateProgressDlg dlg;
        ASSERT_TRUE(dlg.Create(&owner));
        EXPECT_EQ(GetWindow(dlg.m_hWnd, GW_OWNER), hOwner);
        EXPECT_FALSE(IsWindowEnabled(hOwner));
        dlg.DestroyWindow();
        EXPECT_TRUE(IsWindowEnabled(hOwner));
    }
    {
        // No dialog template where the resources are looked for.
        CUpdateProgressDlg dlg;
        HINSTANCE hOld = AfxGetModuleState()->m_hCurrentResourceHandle;
        AfxGetModuleState()->m_hCurrentResourceHandle = GetModuleHandleA("kernel32.dll");
        EXPECT_FALSE(dlg.Create(&owner));
        AfxGetModuleState()->m_hCurrentResourceHandle = hOld;
        EXPECT_TRUE(IsWindowEnabled(hOwner));
        // Without a window every operation does nothing, and extraction goes on.
        dlg.ShowStatusText("x");
        dlg.SetBarRange(0, 3);
        EXPECT_EQ(dlg.SetBarPos(1), 0);
        EXPECT_EQ(dlg.StepBar(), 0);
        tst::TempDir target("t");
        g_pProgressDlg = &dlg;
        EXPECT_TRUE(ExtractCabinet(ext::TestData("three-stored.cab").c_str(), target.Path().c_str()));
        g_pProgressDlg = nullptr;
    }
    owner.Detach();
    DestroyWindow(hOwner);
}
