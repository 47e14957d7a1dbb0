// The progress window: the percent figure's rules, painting at display rate (under a frame clock the
// tests move by hand), answering while the run works or waits, what pressing keys and the close box
// does while a package is extracted, the session it holds, and the owner it disables.
#include "ExtractCabinet.h"
#include "ExtractTestSupport.h"
#include "Files.h"
#include "Folders.h"
#include "ImportHook.h"
#include "Programs.h"
#include "Recorders.h"
#include "Registry.h"
#include "Text.h"
#include "UpdateApp.h"
#include "UpdateProgressDlg.h"
#include "UpdateTestSupport.h"
#include "Waits.h"
#include "res/resource.h"

#include <gtest/gtest.h>
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
    tst::MsgRecorder seen(ext::DialogTraffic(dlg.m_hWnd));
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
    EXPECT_EQ(seen.What(WM_SETTEXT, std::to_string(IDC_PERCENT_TEXT)),
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

// What the window's controls go through on this thread, in order: control
// N's text set ({WM_SETTEXT, N}), the bar moved ({PBM_SETPOS, bar}), and
// control N painted ({WM_PAINT, N}). A static asks its dialog for its
// colours whenever it paints, however the paint came about; the bar has
// painted when a WM_PAINT leaves it nothing more to paint.
class PaintLog : public tst::MsgRecorder, public tst::HookRecorder<PaintLog> {
public:
    PaintLog() : tst::MsgRecorder(Pick, tst::kSent | tst::kReturned) {}
    int Count(int nId) const { return int(What(WM_PAINT, std::to_string(nId)).size()); }
    // Control nId's last paint came after its last change.
    bool PaintedLast(int nId) const
    {
        auto last = std::find_if(Steps().rbegin(), Steps().rend(),
                                 [&](const tst::MsgStep& s) { return s.where == std::to_string(nId); });
        return last != Steps().rend() && last->message == WM_PAINT;
    }
    DWORD frameMs = 0;  // the frame clock moves this much at every frame's UpdateWindow
    // Each frame as its UpdateWindow begins: the clock, the status line and the figure.
    struct Frame {
        DWORD at;
        std::string status, percent;
    };
    std::vector<Frame> frames;

private:
    static BOOL WINAPI Update(HWND hWnd)
    {
        PaintLog* s_log = Current();
        s_log->frames.push_back({g_now, tst::WindowText(GetDlgItem(hWnd, IDC_STATUS_TEXT)),
                                 tst::WindowText(GetDlgItem(hWnd, IDC_PERCENT_TEXT))});
        g_now += s_log->frameMs;
        return reinterpret_cast<decltype(&UpdateWindow)>(s_log->m_update.Original())(hWnd);
    }
    tst::ImportHook m_update{"user32.dll", "UpdateWindow", reinterpret_cast<void*>(Update)};

    static bool Pick(HWND hWnd, UINT message, WPARAM, LPARAM lParam, tst::MsgStep& step)
    {
        int nId = GetDlgCtrlID(hWnd);
        bool sent = step.how == tst::kSent;
        if (sent && message == WM_SETTEXT && (nId == IDC_STATUS_TEXT || nId == IDC_PERCENT_TEXT))
            step.where = std::to_string(nId);
        else if (sent && nId == IDC_PROGRESS_BAR && (message == PBM_STEPIT || message == PBM_SETPOS))
            step = {PBM_SETPOS, std::to_string(nId)};
        else if (sent && message == WM_CTLCOLORSTATIC)
            step = {WM_PAINT, std::to_string(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)))};
        else if (!sent && message == WM_PAINT && nId == IDC_PROGRESS_BAR && !GetUpdateRect(hWnd, nullptr, FALSE))
            step = {WM_PAINT, std::to_string(nId)};
        return !step.where.empty();
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
    // n blocks of a large file, a millisecond each.
    void Blocks(int n)
    {
        for (; n > 0; --n)
            ++g_now, dlg.KeepShowing();
    }
    // The next package's first state, as the extraction sets it.
    void NextPackage(int n)
    {
        dlg.ShowStatusText("prep");
        dlg.SetBarRange(0, 100);
        dlg.SetBarPos(0);
        dlg.SetBarRange(0, n);
        dlg.SetBarStep(1);
        dlg.SetBarPos(0);
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
    NextPackage(40);
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
    EXPECT_NEAR(log.Count(IDC_STATUS_TEXT), frames, 1);
    EXPECT_NEAR(log.Count(IDC_PROGRESS_BAR), frames, 1);
    EXPECT_LE(log.Count(IDC_PERCENT_TEXT), 100);
    // Uncovered, the window is painted by the next drain, frame or not.
    RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    dlg.SetBarPos(n);
    for (HWND hWnd : {dlg.m_hWnd, GetDlgItem(dlg.m_hWnd, IDC_STATUS_TEXT), hBar})
        EXPECT_FALSE(GetUpdateRect(hWnd, nullptr, FALSE));
}

TEST_F(PaintingWindow, EachPaintPutsTheNextFrameOffByItsOwnCost)
{
    // Files come every 5 ms, and every frame takes 3 ms to paint: it puts
    // the next one 32 times that, 96 ms, away.
    const int n = 2000;
    Begin(n);
    PaintLog log;
    log.frameMs = 3;
    DWORD start = g_now;
    for (int i = 0; i < n; ++i) {
        g_now += 5;
        File(i);
    }
    DWORD elapsed = g_now - start, painting = elapsed - 5 * n;
    EXPECT_NEAR(painting * 33.0, elapsed, 500);
    // A clock that steps back by seconds during a paint costs it nothing:
    // the frames go on a frame apart.
    log.frameMs = DWORD(-2000);
    dlg.ShowStatusText("back");
    dlg.PaintNow();
    log.frameMs = 0;
    log.Clear();
    for (int i = 1; i <= 400; ++i) {
        g_now += 4;
        File(i);
    }
    EXPECT_NEAR(log.Count(IDC_STATUS_TEXT), 100, 1);
}

TEST_F(PaintingWindow, SlowPaintsAreSpacedButHoldBackNoNameNoPackageAndNoMessage)
{
    // Paints of 40 ms, files of 100 to 289 ms starting at every phase of
    // the frames: a frame showing each new name comes within 100 ms.
    Begin(20);
    PaintLog log;
    log.frameMs = 40;
    for (int i = 0; i < 20; ++i) {
        DWORD start = g_now;
        size_t seen = log.frames.size();
        dlg.ShowStatusText(Name(i).c_str());
        Blocks(100 + i * 37 % 190);
        ASSERT_GT(log.frames.size(), seen) << i;
        EXPECT_LE(log.frames[seen].at - start, 100u) << i;
        EXPECT_EQ(log.frames[seen].status, Name(i)) << i;
        dlg.StepBar();
    }
    // Paints of half a second, a file of 10 s: a message posted half-way
    // is read within 100 ms or one paint more, and frames come every
    // second, so that paints take half of the time, not all of it.
    log.frameMs = 500;
    tst::MsgRecorder seen(ext::DialogTraffic(dlg.m_hWnd));
    NextPackage(1);
    DWORD start = g_now;
    size_t frames = log.frames.size();
    Blocks(5000);
    PostMessageA(dlg.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    DWORD posted = g_now;
    while (seen.What(WM_COMMAND, "command").empty() && g_now - posted < 5000)
        Blocks(1);
    EXPECT_LE(g_now - posted, 600u);
    Blocks(5000);
    EXPECT_NEAR((log.frames.size() - frames) * 1000.0, g_now - start, 1000);
    // That package ends painted at 100%; a frame showing the next one's
    // first state comes within 100 ms and one paint, and none shows 100%.
    dlg.StepBar();
    dlg.PaintNow();
    NextPackage(40);
    DWORD first = g_now;
    frames = log.frames.size();
    Blocks(2000);
    ASSERT_GT(log.frames.size(), frames);
    EXPECT_LE(log.frames[frames].at - first, 600u);
    for (size_t f = frames; f < log.frames.size(); ++f)
        EXPECT_EQ(log.frames[f].percent, "0%");
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
        EXPECT_EQ(log.Count(nId), 1) << nId;
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
    bool sessionMayEnd = false;
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
        at->sessionMayEnd = SendMessageA(hDlg, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) != 0;
        PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The run in this process: one package for the tray utility's folder,
// found through the Run key; the box that ends it answered from a hook.
class ProgressWindowInTheRun : public ::testing::Test {
protected:
    void Run()
    {
        tst::ScopedModuleFolder module(packages.Path());
        tst::ScopedValue runEntry(HKEY_LOCAL_MACHINE, upd::kRunKey, "VelraLumoLEDUtility.EXE",
                                  led / "VelraLumoLEDUtility.EXE");
        CUpdateProgressDlg::SetFrameClock(TestClock);
        {
            CUpdateApp app;
            EXPECT_FALSE(app.InitInstance());
        }
        CUpdateProgressDlg::SetFrameClock(nullptr);
        MSG msg;
        PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted as the main window went
    }
    tst::TempDir packages{"pkg"}, led{"led"};
};
}  // namespace

TEST_F(ProgressWindowInTheRun, TheFinalStateIsPaintedBeforeTheBox)
{
    ASSERT_TRUE(tst::CopyTo(ext::TestData("many.cab"), packages / "LEDUtility.cab"));
    // The clock stands still: once the window is up, only the run's own
    // PaintNow calls paint it.
    PaintLog log;
    UnderTheBox under;
    Run();

    ASSERT_TRUE(under.seen);
    EXPECT_EQ(under.status, upd::Copying("module60.dll"));
    EXPECT_EQ(under.percent, "100%");
    EXPECT_NEAR(under.filledEnd, under.barWidth, 3);
    EXPECT_TRUE(under.painted);
    EXPECT_TRUE(under.sessionMayEnd);
    EXPECT_LE(log.Count(IDC_STATUS_TEXT), 3) << "painted for the first file and at the end, not for each of 60";
    EXPECT_EQ(tst::FileNames(led.Path()).size(), 60u);
}

namespace {
// The answer to the end of the session, asked for from another thread.
DWORD WINAPI AskToEndSession(void* hWnd)
{
    DWORD_PTR answer = 1;
    SendMessageTimeoutA(static_cast<HWND>(hWnd), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 30000, &answer);
    return DWORD(answer);
}
bool QuestionWaiting() { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; }

// Half-way through the package's one large file (whose writes move the
// clock) the end of the session is asked for; the question is seen to be
// answered before the file ends. The reason goes to the system through the
// call the run looks up.
const size_t kLargeFile = 4 << 20;
struct SessionAsked : tst::HookRecorder<SessionAsked> {
    std::vector<std::string> reasons;
    size_t written = 0;
    HANDLE hAsker = nullptr;
    bool answeredInTheFile = false;

    static int __cdecl Write(int fd, const void* pv, unsigned cb)
    {
        SessionAsked* s = Current();
        g_now += 10;
        s->written += cb;
        if (s->hAsker && !QuestionWaiting())
            s->answeredInTheFile = true;
        if (!s->hAsker && s->written >= kLargeFile / 2) {
            s->hAsker = CreateThread(nullptr, 0, AskToEndSession, g_pProgressDlg->m_hWnd, 0, nullptr);
            tst::WaitFor("the question to wait in the queue", QuestionWaiting, 30000, false);
        }
        return reinterpret_cast<decltype(&_write)>(s->write.Original())(fd, pv, cb);
    }
    static BOOL WINAPI Block(HWND hWnd, LPCWSTR pszReason) { return Note(hWnd, "blocked: " + tst::Utf8(pszReason)); }
    static BOOL WINAPI Unblock(HWND hWnd) { return Note(hWnd, "unblocked"); }
    static BOOL Note(HWND hWnd, const std::string& what)
    {
        Current()->reasons.push_back(hWnd == g_pProgressDlg->m_hWnd ? what : "elsewhere");
        return TRUE;
    }
    static FARPROC WINAPI LookUp(HMODULE hModule, LPCSTR pszName)
    {
        std::string name = IS_INTRESOURCE(pszName) ? "" : pszName;
        if (name == "ShutdownBlockReasonCreate")
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(Block));
        if (name == "ShutdownBlockReasonDestroy")
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(Unblock));
        return reinterpret_cast<decltype(&GetProcAddress)>(Current()->lookUp.Original())(hModule, pszName);
    }
    tst::ImportHook write{"msvcrt.dll", "_write", reinterpret_cast<void*>(Write)};
    tst::ImportHook lookUp{"kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(LookUp)};
};
}  // namespace

TEST_F(ProgressWindowInTheRun, TheSessionCannotEndFromTheFirstPackageUntilTheServiceRunsAgain)
{
    ASSERT_TRUE(tst::WriteBytes(packages / "LEDUtility.cab",
                                ext::StoredCabinet({{{"big.bin", std::string(kLargeFile, 'v')}}})));
    SessionAsked asked;
    UnderTheBox under;
    Run();
    ASSERT_TRUE(asked.hAsker);
    DWORD dwAnswer = 1;
    EXPECT_EQ(WaitForSingleObject(asked.hAsker, 30000), WAIT_OBJECT_0);
    GetExitCodeThread(asked.hAsker, &dwAnswer);
    CloseHandle(asked.hAsker);
    EXPECT_TRUE(asked.answeredInTheFile);
    EXPECT_EQ(dwAnswer, 0u);
    EXPECT_TRUE(under.sessionMayEnd);
    EXPECT_EQ(asked.reasons, (std::vector<std::string>{"blocked: ｱｯﾌﾟﾃﾞｰﾄﾌｧｲﾙをｲﾝｽﾄｰﾙしています.", "unblocked"}));
}

TEST_F(ProgressWindow, WaitsGoOnAnswering)
{
    // Held, the session is refused to the very thread that is waited for.
    g_pProgressDlg = &dlg;
    dlg.HoldSession(TRUE);
    HANDLE hAsker = CreateThread(nullptr, 0, AskToEndSession, dlg.m_hWnd, 0, nullptr);
    EXPECT_EQ(CUpdateProgressDlg::WaitAnswering(hAsker, 30000), DWORD(WAIT_OBJECT_0));
    g_pProgressDlg = nullptr;
    DWORD dwAnswer = 1;
    GetExitCodeThread(hAsker, &dwAnswer);
    EXPECT_EQ(dwAnswer, 0u);
    EXPECT_EQ(CUpdateProgressDlg::WaitAnswering(hAsker, 0), DWORD(WAIT_OBJECT_0));  // a plain wait now
    CloseHandle(hAsker);
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

    tst::MsgRecorder seen(ext::DialogTraffic(hDlg));
    g_pProgressDlg = &dlg;
    EXPECT_TRUE(ExtractCabinet(ext::TestData("three-stored.cab").c_str(), target.Path().c_str()));
    g_pProgressDlg = nullptr;
    // Posted messages come before input, so the close box's command may come first.
    std::vector<std::string> commands = seen.What(WM_COMMAND, "command");
    std::sort(commands.begin(), commands.end());
    EXPECT_EQ(commands, (std::vector<std::string>{"1", "2", "2"}));  // IDOK, IDCANCEL twice
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
