#include "FrameWndEx.h"

#include <shellapi.h>
#include <string.h>

#include "res/resource.h"

namespace {
const UINT kTrayIconId = IDR_FRAME;
// The record's ANSI layout with the 128-byte tool tip and the balloon
// fields, as the shell of the target systems reads it.
const DWORD kNotifyIconDataSize = NOTIFYICONDATAA_V2_SIZE;
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "notify-icon record layout");
#endif

// Started elevated, the utility would not hear a restarted shell: the
// system drops a registered message that a less privileged process sends
// unless it is let through (Vista on; looked up, since XP lacks it).
void LetThrough(UINT uMessage)
{
    typedef BOOL(WINAPI * ChangeWindowMessageFilterFn)(UINT, DWORD);
    const DWORD kAdd = 1;  // MSGFLT_ADD
    ChangeWindowMessageFilterFn pfn = reinterpret_cast<ChangeWindowMessageFilterFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("USER32.DLL"), "ChangeWindowMessageFilter")));
    if (pfn)
        pfn(uMessage, kAdd);
}
}  // namespace

IMPLEMENT_DYNCREATE(CFrameWndEx, CFrameWnd)

UINT CFrameWndEx::s_uTaskbarCreated = 0;

BEGIN_MESSAGE_MAP(CFrameWndEx, CFrameWnd)
    ON_WM_INITMENUPOPUP()
    ON_WM_MEASUREITEM()
    ON_WM_MENUCHAR()
    ON_WM_CREATE()
    ON_COMMAND(ID_APP_ABOUT, OnAppAbout)
    ON_COMMAND(ID_APP_EXIT, OnAppExit)
    ON_WM_QUERYENDSESSION()
    ON_WM_ENDSESSION()
    ON_WM_DESTROY()
    ON_MESSAGE(WM_TRAYNOTIFY, OnTrayNotify)
    ON_MESSAGE(WM_POWERBROADCAST, OnPowerBroadcast)
    ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

CFrameWndEx::CFrameWndEx()
{
    // The resource holds one 32 x 32 image; the system scales it.
    m_hTrayIcon = static_cast<HICON>(::LoadImageA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_FRAME), IMAGE_ICON,
                                                  16, 16, LR_DEFAULTCOLOR));
    m_bTrayIconAdded = FALSE;
    m_bAboutOpen = FALSE;
    if (!s_uTaskbarCreated)
        s_uTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
}

CFrameWndEx::~CFrameWndEx()
{
    if (m_hTrayIcon)
        ::DestroyIcon(m_hTrayIcon);
}

int CFrameWndEx::OnCreate(LPCREATESTRUCTA lpCreateStruct)
{
    if (CFrameWnd::OnCreate(lpCreateStruct) == -1)
        return -1;
    LetThrough(s_uTaskbarCreated);
    // Without an icon the frame still runs (and applies the level); the
    // main frame's timer asks the shell again.
    AddTrayIcon();
    return 0;
}

BOOL CFrameWndEx::AddTrayIcon()
{
    CString strTip;
    strTip.LoadString(AFX_IDS_APP_TITLE);
    NOTIFYICONDATAA nid{};
    nid.cbSize = kNotifyIconDataSize;
    nid.hWnd = m_hWnd;
    nid.uID = kTrayIconId;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAYNOTIFY;
    nid.hIcon = m_hTrayIcon;
    lstrcpynA(nid.szTip, strTip, sizeof(nid.szTip));
    // A shell busy with a slow logon can report a timed-out request as
    // refused and add the icon all the same; if it takes a change to the
    // icon, the icon is there.
    m_bTrayIconAdded = ::Shell_NotifyIconA(NIM_ADD, &nid) || ::Shell_NotifyIconA(NIM_MODIFY, &nid);
    return m_bTrayIconAdded;
}

BOOL CFrameWndEx::RemoveTrayIcon()
{
    if (!m_bTrayIconAdded)
        return TRUE;
    NOTIFYICONDATAA nid{};
    nid.cbSize = kNotifyIconDataSize;
    nid.hWnd = m_hWnd;
    nid.uID = kTrayIconId;
    if (!::Shell_NotifyIconA(NIM_DELETE, &nid))
        return FALSE;
    m_bTrayIconAdded = FALSE;
    return TRUE;
}

BOOL CFrameWndEx::DestroyWindow()
{
    // The shell identifies the icon by the window: it has to hear about it
    // while the window still exists.
    RemoveTrayIcon();
    return CFrameWnd::DestroyWindow();
}

LRESULT CFrameWndEx::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A registered message has no number the message map could name.
    if (s_uTaskbarCreated && message == s_uTaskbarCreated) {
        OnTaskbarCreated();
        return 0;
    }
    // A restart manager (an installer that needs our file) ends the program,
    // not the session: nothing ends the process after this message, and the
    // base handling would release the instance count with the icon still
    // up. The close is posted so that it runs after the message returns,
    // as the updater's does.
    if (message == WM_ENDSESSION && wParam && (lParam & ENDSESSION_CLOSEAPP)) {
        PostMessage(WM_CLOSE, 0, 0);
        return 0;
    }
    return CFrameWnd::WindowProc(message, wParam, lParam);
}

void CFrameWndEx::OnTaskbarCreated()
{
    // A shell that sent this without having restarted still holds the
    // icon and would refuse a second NIM_ADD: it is removed first (a new
    // shell refuses that removal, which changes nothing).
    RemoveTrayIcon();
    m_bTrayIconAdded = FALSE;
    AddTrayIcon();
}

LRESULT CFrameWndEx::OnTrayNotify(WPARAM, LPARAM lParam)
{
    switch (UINT(lParam)) {
    case WM_LBUTTONDOWN:
        // Posted: the panel opens after the shell's notification returns.
        PostMessage(WM_COMMAND, ID_SETTINGS, 0);
        break;
    case WM_RBUTTONDOWN: {
        // A menu of a window that is not in the foreground would not close
        // when the user clicks elsewhere.
        SetForegroundWindow();
        POINT pt;
        ::GetCursorPos(&pt);
        CMenu* pPopup = CMenu::FromHandle(::GetSubMenu(::GetMenu(m_hWnd), 0));
        if (!pPopup)
            break;
        HWND hWnd = m_hWnd;
        pPopup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, this);
        // A close message from outside can destroy the frame, and delete
        // this object, while the menu is up.
        if (CWnd::FromHandlePermanent(hWnd) != this)
            break;
        // The shell's known workaround: a message posted after the menu has
        // closed lets the next right press open it again instead of only
        // dismissing it.
        PostMessage(WM_USER, 0, 0);
        break;
    }
    default:
        // A double click's second press arrives as WM_LBUTTONDBLCLK: one
        // panel per double click.
        break;
    }
    return 1;
}

void CFrameWndEx::OnAppAbout()
{
    if (m_bAboutOpen) {
        m_dlgAbout.SetForegroundWindow();
        return;
    }
    m_bAboutOpen = TRUE;
    HWND hWnd = m_hWnd;
    // The tray keeps answering while this runs: the dialog's loop
    // dispatches the shell's notifications to this (disabled) frame.
    m_dlgAbout.DoModal();
    // A close message from outside can destroy the frame, and delete this
    // object, while the dialog runs.
    if (CWnd::FromHandlePermanent(hWnd) == this)
        m_bAboutOpen = FALSE;
}

void CFrameWndEx::OnAppExit()
{
    if (m_bAboutOpen) {
        // Destroying the frame now would pull the dialog out from under its
        // own modal loop; the close waits until OnAppAbout has returned.
        m_dlgAbout.EndDialog(IDOK);
        PostMessage(WM_CLOSE, 0, 0);
        return;
    }
    SendMessage(WM_CLOSE, 0, 0);
}

BOOL CFrameWndEx::OnQueryEndSession() { return CFrameWnd::OnQueryEndSession() ? TRUE : FALSE; }

void CFrameWndEx::OnEndSession(BOOL bEnding) { CFrameWnd::OnEndSession(bEnding); }

void CFrameWndEx::OnSysCommand(UINT nID, LPARAM lParam)
{
    // The frame has a system menu, so Alt+F4 reaches it whenever it is the
    // foreground window: after a click on the icon or once the version box
    // or the panel it owns has closed. A keyboard close of a window the
    // user cannot see is never meant; the low four bits are the system's.
    if ((nID & 0xFFF0) == SC_CLOSE)
        return;
    CFrameWnd::OnSysCommand(nID, lParam);
}

LRESULT CFrameWndEx::OnPowerBroadcast(WPARAM, LPARAM)
{
    // Never deny a suspend request.
    return TRUE;
}

void CFrameWndEx::OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu)
{
    // The command-update pass may turn owner-drawn items back into strings;
    // the icon menu re-attaches its records afterwards.
    CFrameWnd::OnInitMenuPopup(pPopupMenu, nIndex, bSysMenu);
    if (!bSysMenu && CIconMenu::IsIconMenu(pPopupMenu))
        CIconMenu::UpdateIconMenu(pPopupMenu);
}

void CFrameWndEx::OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct)
{
    // For a pop-up item the system reports the sub-menu's handle as the id.
    if (lpMeasureItemStruct->CtlType == ODT_MENU &&
        CIconMenu::IsIconMenu(reinterpret_cast<HMENU>(static_cast<UINT_PTR>(lpMeasureItemStruct->itemID))))
        m_menu.MeasureItem(lpMeasureItemStruct);
    else
        CFrameWnd::OnMeasureItem(nIDCtl, lpMeasureItemStruct);
}

LRESULT CFrameWndEx::OnMenuChar(UINT nChar, UINT nFlags, CMenu* pMenu)
{
    if (CIconMenu::IsIconMenu(pMenu))
        return CIconMenu::FindMnemonic(nChar, nFlags, pMenu);
    return Default();
}
