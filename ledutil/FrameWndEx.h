// The tray frame: the frame-window base that turns a hidden frame into a
// notification-area application.
//
// It registers the tray icon (icon 128, tool tip = the application title)
// when its window is created and removes it in DestroyWindow, before the
// window goes (the shell must be told while the window still exists). A
// left press on the icon posts the settings command (ID_SETTINGS) to the
// frame; a right press shows the first pop-up of the frame's menu at the
// cursor. It runs the version dialog modally and the exit command, also
// while that dialog is open; routes the icon-menu messages to its CIconMenu
// member (which holds no menu here, so the tray menu is system-drawn); and
// never objects to the end of the session or to a power event. When an
// installer's restart manager asks it to quit, it closes as on the
// updater's WM_CLOSE; a keyboard close (Alt+F4) of the hidden frame, which
// comes to the foreground with the icon and its windows, is ignored.
// When the shell restarts it forgets every icon and broadcasts the
// registered message "TaskbarCreated"; the frame then adds its icon again.
// CMainFrame derives from it; the application object creates that frame
// hidden, so the icon is the user's only way in.
#pragma once
#include "AboutDlg.h"
#include "IconMenu.h"
#include "afxwin.h"

// The shell's callback for the tray icon: lParam is the mouse message.
#define WM_TRAYNOTIFY (WM_APP + 1)

class CFrameWndEx : public CFrameWnd {
    DECLARE_DYNCREATE(CFrameWndEx)
public:
    CFrameWndEx();
    ~CFrameWndEx() override;

    BOOL DestroyWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    BOOL AddTrayIcon();
    BOOL RemoveTrayIcon();

protected:
    int OnCreate(LPCREATESTRUCTA lpCreateStruct);
    void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu);
    void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct);
    LRESULT OnMenuChar(UINT nChar, UINT nFlags, CMenu* pMenu);
    void OnAppAbout();
    void OnAppExit();
    BOOL OnQueryEndSession();
    void OnEndSession(BOOL bEnding);
    void OnSysCommand(UINT nID, LPARAM lParam);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    LRESULT OnPowerBroadcast(WPARAM wParam, LPARAM lParam);
    // A (re)started shell holds no icon of ours: add it again.
    virtual void OnTaskbarCreated();

    // The shell's "TaskbarCreated" message, registered by the first frame.
    static UINT s_uTaskbarCreated;

    HICON m_hTrayIcon;
    BOOL m_bTrayIconAdded;
    CAboutDlg m_dlgAbout;
    BOOL m_bAboutOpen;
    CIconMenu m_menu;

    DECLARE_MESSAGE_MAP()
};
