// The progress window: its template as shipped in VelraUpdate.exe, the
// percent figure's rules, what pressing keys and the close box does while
// a package is extracted, and the owner it disables.
#include "ExtractCabinet.h"
#include "ExtractTestSupport.h"
#include "UpdateProgressDlg.h"
#include "res/resource.h"

#include <algorithm>

namespace {
// A name or ordinal of a DLGTEMPLATE, as UTF-8 (ordinals of the predefined
// classes by name).
std::string NameOrOrdinal(const WORD*& p)
{
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        return ordinal == 0x82 ? "Static" : "#" + std::to_string(ordinal);
    }
    std::wstring w;
    while (*p)
        w += wchar_t(*p++);
    ++p;
    char utf8[256] = "";
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, utf8, sizeof(utf8), nullptr, nullptr);
    return utf8;
}

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dlg.Create()); }
    std::string Text(int nId)
    {
        char text[256] = "";
        GetDlgItemTextA(dlg.m_hWnd, nId, text, sizeof(text));
        return text;
    }
    LRESULT Bar(UINT message, WPARAM wParam = 0)
    {
        return SendDlgItemMessageA(dlg.m_hWnd, IDC_PROGRESS_BAR, message, wParam, 0);
    }
    CUpdateProgressDlg dlg;
};
}  // namespace

TEST(ProgressWindowTemplate, AsShippedInTheProgram)
{
    HMODULE exe = LoadLibraryExA(tst::BinFile("VelraUpdate.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    HRSRC res = FindResourceA(exe, MAKEINTRESOURCEA(IDD_PROGRESS), MAKEINTRESOURCEA(5));  // RT_DIALOG
    ASSERT_TRUE(res);
    const auto* t = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(exe, res)));
    EXPECT_EQ(t->style, 0x90C800C0u);
    EXPECT_EQ(t->dwExtendedStyle, 0u);
    EXPECT_EQ((std::vector<short>{t->x, t->y, t->cx, t->cy}), (std::vector<short>{0, 0, 218, 69}));
    const WORD* p = reinterpret_cast<const WORD*>(t + 1);
    EXPECT_EQ(NameOrOrdinal(p), "");  // menu
    EXPECT_EQ(NameOrOrdinal(p), "");  // class
    EXPECT_EQ(NameOrOrdinal(p), "");  // title
    EXPECT_EQ(*p++, 9);
    EXPECT_EQ(NameOrOrdinal(p), "ＭＳ Ｐゴシック");
    std::vector<std::string> items;
    for (int i = 0; i < t->cdit; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
        const auto* it = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        p = reinterpret_cast<const WORD*>(it + 1);
        std::string cls = NameOrOrdinal(p), text = NameOrOrdinal(p);
        CharLowerA(&cls[0]);  // class names are not case-sensitive; windres writes them in capitals
        p += 1 + *p / sizeof(WORD);  // creation data
        char line[200];
        wsprintfA(line, "%08lx %d,%d %dx%d #%u %s '%s'", it->style, it->x, it->y, it->cx, it->cy, it->id, cls.c_str(),
                  text.c_str());
        items.push_back(line);
    }
    EXPECT_EQ(items, (std::vector<std::string>{"50020000 7,7 204x8 #1000 static ''",
                                               "50800000 15,29 187x13 #1001 msctls_progress32 'Progress1'",
                                               "50020000 99,46 18x8 #1002 static ' 0 %'"}));
    char text[128] = "";
    LoadStringA(exe, IDS_PROGRESS_TITLE, text, sizeof(text));
    EXPECT_EQ(std::string(text), tst::Cp932("ｱｯﾌﾟﾃﾞｰﾄﾌｧｲﾙをｲﾝｽﾄｰﾙしています."));
    LoadStringA(exe, IDS_COPYING_FILE, text, sizeof(text));
    EXPECT_EQ(std::string(text), tst::Cp932("ﾌｧｲﾙ: %s をｺﾋﾟｰしています."));
    FreeLibrary(exe);
}

TEST_F(ProgressWindow, OpensEmptyWithItsTitleAndIcon)
{
    char title[128] = "";
    GetWindowTextA(dlg.m_hWnd, title, sizeof(title));
    EXPECT_EQ(std::string(title), tst::Cp932("ｱｯﾌﾟﾃﾞｰﾄﾌｧｲﾙをｲﾝｽﾄｰﾙしています."));
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
    dlg.SetBarRange(0, 3);
    dlg.SetBarStep(1);
    dlg.SetBarPos(0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(dlg.StepBar(), i);
    dlg.SetBarRange(0, 4);
    dlg.SetBarPos(0);
    for (int i = 0; i < 5; ++i)
        dlg.StepBar();
    EXPECT_LT(Bar(PBM_GETPOS), 4);  // the control started again from its lower bound
    dlg.SetBarRange(0, 100);
    dlg.SetBarPos(100);
    dlg.SetBarPos(100);
    EXPECT_EQ(seen.TextsOf(IDC_PERCENT_TEXT),
              (std::vector<std::string>{"0%", "33%", "66%", "100%", "0%", "25%", "50%", "75%", "100%", "25%", "100%"}));
}

namespace {
WNDPROC g_barProc;
int g_barPaints;
LRESULT CALLBACK CountingBarProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
        ++g_barPaints;
    return CallWindowProcA(g_barProc, hWnd, message, wParam, lParam);
}

// The right end of the bar's filled part, read from the screen.
int FilledEnd(HWND hBar)
{
    RECT rc;
    GetClientRect(hBar, &rc);
    HDC hdc = GetDC(hBar);
    int end = 0;
    for (int x = 0; x < rc.right; ++x)
        if (GetPixel(hdc, x, rc.bottom / 2) == GetSysColor(COLOR_HIGHLIGHT))
            end = x + 1;
    ReleaseDC(hBar, hdc);
    return end;
}
}  // namespace

TEST_F(ProgressWindow, ManySmallStepsDrawTheBarOncePerPixelItGrows)
{
    HWND hBar = GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_BAR);
    RECT rc;
    GetClientRect(hBar, &rc);
    dlg.SetBarRange(0, 6000);
    dlg.SetBarStep(1);
    dlg.SetBarPos(0);
    UpdateWindow(hBar);
    g_barProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hBar, GWLP_WNDPROC, LONG_PTR(CountingBarProc)));
    g_barPaints = 0;
    for (int i = 0; i < 3000; ++i)
        dlg.StepBar();
    EXPECT_EQ(Bar(PBM_GETPOS), 3000);
    EXPECT_GE(g_barPaints, rc.right / 2 - 2);
    EXPECT_LE(g_barPaints, rc.right / 2 + 2);
    EXPECT_NEAR(FilledEnd(hBar), rc.right / 2, 3);
    for (int i = 0; i < 3000; ++i)
        dlg.StepBar();
    EXPECT_EQ(Text(IDC_PERCENT_TEXT), "100%");
    EXPECT_NEAR(FilledEnd(hBar), rc.right, 3);
    SetWindowLongPtrA(hBar, GWLP_WNDPROC, LONG_PTR(g_barProc));
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
