// Frame windows: the top-level window class that a program's main window
// derives from.
//
// LoadFrame builds a frame from one resource id: the first field of the
// document string with that id becomes the title, the menu with that id
// the window menu, and the accelerator table with that id is translated
// for the frame. WM_CLOSE ends in the virtual DestroyWindow, so a derived
// frame can put its own steps in front of the destruction; the frame
// object deletes itself once its window is gone, also when its creation
// fails. Before a pop-up of the frame's menu opens, the command-update
// pass enables each of its command items exactly when some map handles
// the command, so that the menu never offers what nothing would do. The
// utility's tray frame and main frame derive from it.
#pragma once
#include "Wnd.h"

class CMenu;

// The frame's style flag that names the document in the title; a frame
// without documents keeps its own title.
#define FWS_ADDTOTITLE 0x00008000L

// The framework's command ids for the application menu.
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141

// Creation context: frames here show no views or documents; the argument
// keeps LoadFrame's usual shape.
struct CCreateContext;

class CFrameWnd : public CWnd {
    DECLARE_DYNCREATE(CFrameWnd)
public:
    CFrameWnd() = default;

    virtual BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* pParentWnd = nullptr, CCreateContext* pContext = nullptr);
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

    CString m_strTitle;
    HACCEL m_hAccelTable = nullptr;  // a resource: freed with the module

protected:
    void PostNcDestroy() override;

    void OnClose();
    void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu);
    BOOL OnQueryEndSession();
    void OnEndSession(BOOL bEnding);

    BOOL HasCommandHandler(UINT nID) const;

    DECLARE_MESSAGE_MAP()
};
