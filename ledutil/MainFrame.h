// The utility's main window: a never-shown tray frame that carries the
// brightness level.
//
// It registers its own window class "VelraLEDUtility", by which the updater
// finds a running utility and closes it (WM_CLOSE). At start-up it sends the
// saved level to the indicator once a second, from the first tick on, until
// the driver answers, at most 200 times. The settings command opens a
// brightness panel at the cursor, kept 30 pixels inside the right and
// bottom edges of the work area; each level the panel reports
// (WM_LEVELCHANGED) becomes the current one and is stored in the settings
// (profile section "", value "Value", default 2). The same timer adds the
// tray icon again while the shell refuses it (a slow logon, or a restarted
// shell that was not ready); it stops once the level went through and the
// icon is there. Created hidden by the application object with LoadFrame;
// deletes itself when its window goes.
#pragma once
#include "FrameWndEx.h"

#define IDT_APPLYLEVEL 20302

class CMainFrame : public CFrameWndEx {
    DECLARE_DYNCREATE(CMainFrame)
public:
    CMainFrame();

    BOOL DestroyWindow() override;
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;

    void StopApplyTimer();

protected:
    int OnCreate(LPCREATESTRUCTA lpCreateStruct);
    void OnSettings();
    void OnTimer(UINT_PTR nIDEvent);
    LRESULT OnLevelChanged(WPARAM wParam, LPARAM lParam);
    void OnTaskbarCreated() override;

    UINT_PTR m_nTimer;  // 0 while no apply timer runs
    DWORD m_nRetries;   // failed apply attempts since the timer started
    BOOL m_bLevelApplied;  // the driver took the saved level
    int m_nLevel;

    DECLARE_MESSAGE_MAP()
};
