// Message maps and the window thunk, observed as message sequences: which
// handler of which class saw a message, and what reached the default
// procedure.
#include "Programs.h"
#include "Recorders.h"
#include "afxwin.h"
#include "gtest/gtest.h"

namespace {
tst::MsgRecorder g_rec;
const UINT WM_BASE_ONLY = WM_APP + 10;
const UINT WM_BOTH = WM_APP + 11;
const UINT WM_UNLISTED = WM_APP + 12;
const UINT ID_CMD_BASE = 300;
const UINT ID_CMD_DERIVED = 301;

class CBaseWnd : public CWnd {
public:
    int m_nPostNcDestroy = 0;

protected:
    int OnCreate(LPCREATESTRUCTA lpcs)
    {
        g_rec.Add(WM_CREATE, "base");
        return CWnd::OnCreate(lpcs);
    }
    LRESULT OnBaseOnly(WPARAM, LPARAM)
    {
        g_rec.Add(WM_BASE_ONLY, "base");
        return 11;
    }
    LRESULT OnBoth(WPARAM, LPARAM)
    {
        g_rec.Add(WM_BOTH, "base");
        return 12;
    }
    void OnCmdBase() { g_rec.Add(WM_COMMAND, "base-cmd"); }
    void OnTimer(UINT_PTR nIDEvent)
    {
        g_rec.Add(WM_TIMER, nIDEvent == 7 ? "base-7" : "base-other");
        CWnd::OnTimer(nIDEvent);
    }
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message >= WM_APP || message == WM_TIMER || message == WM_CREATE)
            g_rec.Add(message, "def");
        return CWnd::DefWindowProc(message, wParam, lParam);
    }
    void PostNcDestroy() override { ++m_nPostNcDestroy; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
    ON_WM_CREATE()
    ON_MESSAGE(WM_BASE_ONLY, OnBaseOnly)
    ON_MESSAGE(WM_BOTH, OnBoth)
    ON_COMMAND(ID_CMD_BASE, OnCmdBase)
    ON_WM_TIMER()
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd {
protected:
    int OnCreate(LPCREATESTRUCTA lpcs)
    {
        g_rec.Add(WM_CREATE, "derived");
        return CBaseWnd::OnCreate(lpcs);
    }
    LRESULT OnBoth(WPARAM wParam, LPARAM lParam)
    {
        g_rec.Add(WM_BOTH, "derived");
        // A handler may pass on to the default procedure instead of the base.
        return wParam ? Default() : CBaseWnd::OnBoth(wParam, lParam);
    }
    void OnCmdDerived() { g_rec.Add(WM_COMMAND, "derived-cmd"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
    ON_WM_CREATE()
    ON_MESSAGE(WM_BOTH, OnBoth)
    ON_COMMAND(ID_CMD_DERIVED, OnCmdDerived)
END_MESSAGE_MAP()

HWND CreatePlain(CWnd& wnd)
{
    static ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "MsgMapTestWnd";
        return RegisterClassA(&wc);
    }();
    (void)atom;
    wnd.CreateEx(0, "MsgMapTestWnd", "t", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr);
    return wnd.m_hWnd;
}

using Steps = std::vector<tst::MsgStep>;
}  // namespace

TEST(MessageMap, CreationRunsDerivedThenBaseThenDefault)
{
    g_rec.Clear();
    CDerivedWnd wnd;
    ASSERT_NE(CreatePlain(wnd), nullptr);
    EXPECT_TRUE(tst::SequenceIs(g_rec.Only({WM_CREATE}),
                                (Steps{{WM_CREATE, "derived"}, {WM_CREATE, "base"}, {WM_CREATE, "def"}})));
    // Bound from the first message on: the object answers for its handle.
    EXPECT_EQ(CWnd::FromHandlePermanent(wnd.m_hWnd), &wnd);
    wnd.DestroyWindow();
}

TEST(MessageMap, LookupWalksFromDerivedToBaseToDefault)
{
    CDerivedWnd wnd;
    ASSERT_NE(CreatePlain(wnd), nullptr);
    g_rec.Clear();
    EXPECT_EQ(wnd.SendMessage(WM_BASE_ONLY), 11);
    EXPECT_EQ(wnd.SendMessage(WM_BOTH, 0), 12);
    EXPECT_EQ(wnd.SendMessage(WM_BOTH, 1), 0);
    EXPECT_EQ(wnd.SendMessage(WM_UNLISTED), 0);
    EXPECT_TRUE(tst::SequenceIs(g_rec.Steps(), (Steps{{WM_BASE_ONLY, "base"},
                                                      {WM_BOTH, "derived"},
                                                      {WM_BOTH, "base"},
                                                      {WM_BOTH, "derived"},
                                                      {WM_BOTH, "def"},
                                                      {WM_UNLISTED, "def"}})));
    wnd.DestroyWindow();
}

TEST(MessageMap, CommandsFindTheirHandlerInAnyMapOfTheChain)
{
    CDerivedWnd wnd;
    ASSERT_NE(CreatePlain(wnd), nullptr);
    g_rec.Clear();
    wnd.SendMessage(WM_COMMAND, ID_CMD_BASE);
    wnd.SendMessage(WM_COMMAND, ID_CMD_DERIVED);
    wnd.SendMessage(WM_COMMAND, 999);
    // A control notification with another code is not a menu command.
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(ID_CMD_BASE, BN_SETFOCUS), 1);
    EXPECT_TRUE(tst::SequenceIs(g_rec.Steps(), (Steps{{WM_COMMAND, "base-cmd"}, {WM_COMMAND, "derived-cmd"}})));

    // An accelerator's command carries code 1 and no control.
    g_rec.Clear();
    EXPECT_EQ(wnd.SendMessage(WM_COMMAND, MAKEWPARAM(ID_CMD_DERIVED, 1), 0), 1);
    ACCEL accel = {FVIRTKEY, VK_F5, WORD(ID_CMD_BASE)};
    HACCEL hAccel = CreateAcceleratorTableA(&accel, 1);
    MSG key = {wnd.m_hWnd, WM_KEYDOWN, VK_F5, 0x003F0001};
    EXPECT_TRUE(TranslateAcceleratorA(wnd.m_hWnd, hAccel, &key));
    DestroyAcceleratorTable(hAccel);
    EXPECT_TRUE(tst::SequenceIs(g_rec.Steps(), (Steps{{WM_COMMAND, "derived-cmd"}, {WM_COMMAND, "base-cmd"}})));
    wnd.DestroyWindow();
}

TEST(MessageMap, PostedTimerMessagesArriveThroughTheLoop)
{
    CDerivedWnd wnd;
    ASSERT_NE(CreatePlain(wnd), nullptr);
    g_rec.Clear();
    wnd.PostMessage(WM_TIMER, 7);
    wnd.PostMessage(WM_TIMER, 8);
    MSG msg;
    while (PeekMessageA(&msg, wnd.m_hWnd, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    EXPECT_TRUE(
        tst::SequenceIs(g_rec.Only({WM_TIMER}),
                        (Steps{{WM_TIMER, "base-7"}, {WM_TIMER, "def"}, {WM_TIMER, "base-other"}, {WM_TIMER, "def"}})));
    wnd.DestroyWindow();
}

TEST(MessageMap, DestructionUnbindsAndCallsPostNcDestroyOnce)
{
    CDerivedWnd wnd;
    HWND hWnd = CreatePlain(wnd);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.m_nPostNcDestroy, 1);
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), nullptr);
    EXPECT_FALSE(IsWindow(hWnd));
}

TEST(MessageMap, SubclassedWindowKeepsItsClassProcedure)
{
    // An edit control bound after creation still behaves as an edit control.
    HWND hEdit = CreateWindowExA(0, "EDIT", "", WS_POPUP, 0, 0, 80, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hEdit, nullptr);
    CWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hEdit));
    wnd.SetWindowText("abc");
    EXPECT_EQ(tst::WindowText(hEdit), "abc");
    EXPECT_EQ(SendMessageA(hEdit, WM_GETTEXTLENGTH, 0, 0), 3);
    wnd.DestroyWindow();
    EXPECT_EQ(CWnd::FromHandlePermanent(hEdit), nullptr);
}

TEST(HandleMap, AnObjectAndAHandleAreBoundOnceAtATime)
{
    CDerivedWnd wnd;
    HWND hWnd = CreatePlain(wnd);
    ASSERT_NE(hWnd, nullptr);
    HWND hOther = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(wnd.Attach(hOther)) << "already bound";
    CWnd second;
    EXPECT_FALSE(second.Attach(hWnd)) << "the handle has its object";
    EXPECT_EQ(CWnd::FromHandlePermanent(hWnd), &wnd);
    EXPECT_EQ(CWnd::FromHandlePermanent(hOther), nullptr);
    EXPECT_TRUE(second.Attach(hOther));
    EXPECT_EQ(second.Detach(), hOther);
    DestroyWindow(hOther);
    wnd.DestroyWindow();

    // A menu. The temporary object met before the binding stays in its map,
    // to be deleted with it, rather than dropped from it.
    HMENU hMenu = CreatePopupMenu(), hMenu2 = CreatePopupMenu();
    CMenu* pTemp = CMenu::FromHandle(hMenu);
    CMenu menu, menu2;
    ASSERT_TRUE(menu.Attach(hMenu));
    EXPECT_EQ(CMenu::FromHandle(hMenu), &menu);
    EXPECT_FALSE(menu.Attach(hMenu2)) << "already bound";
    EXPECT_FALSE(menu2.Attach(hMenu)) << "the handle has its object";
    EXPECT_EQ(CMenu::FromHandlePermanent(hMenu2), nullptr);
    EXPECT_EQ(menu.Detach(), hMenu);
    EXPECT_EQ(CMenu::FromHandle(hMenu), pTemp);
    CMenu::DeleteTempMap();
    EXPECT_TRUE(menu2.Attach(hMenu2));
    EXPECT_TRUE(menu2.DestroyMenu());
    EXPECT_TRUE(DestroyMenu(hMenu));
}

TEST(MessageMap, MainWindowGoingEndsTheLoopAndClearsTheMainWindow)
{
    CWinApp app;
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOW);
    CDerivedWnd wnd;
    ASSERT_NE(CreatePlain(wnd), nullptr);
    app.m_pMainWnd = &wnd;
    wnd.DestroyWindow();
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
}

namespace {
class CDynThing : public CWnd {
    DECLARE_DYNCREATE(CDynThing)
};
IMPLEMENT_DYNCREATE(CDynThing, CWnd)
}  // namespace

TEST(RuntimeClass, CreatesByNameAndKnowsItsBases)
{
    CRuntimeClass* pClass = CRuntimeClass::FromName("CDynThing");
    ASSERT_EQ(pClass, RUNTIME_CLASS(CDynThing));
    EXPECT_EQ(pClass->m_wSchema, 0xFFFFu);
    CObject* pObject = pClass->CreateObject();
    ASSERT_NE(pObject, nullptr);
    EXPECT_TRUE(pObject->IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_TRUE(pObject->IsKindOf(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_FALSE(pObject->IsKindOf(RUNTIME_CLASS(CWinThread)));
    delete pObject;
    EXPECT_EQ(CRuntimeClass::FromName("NoSuchClass"), nullptr);
}
