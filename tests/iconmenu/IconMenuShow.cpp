// Puts a loaded icon menu on screen for a while, routed the way the tray
// frame routes it, so that a screenshot can be taken of the real thing.
//   IconMenuShow.exe [seconds] [keys] [shell kind 0-3]
// Keys move the selection before the picture is taken: d down, r right
// (into a sub-menu), - none; "dd" selects the checked item.
#include <stdlib.h>

#include "IconMenu.h"
#include "RoutingWnd.h"
#include "TestMenuIds.h"

namespace {
const char* g_pszKeys = "dd";

class CShowWnd : public CRoutingWnd {
protected:
    void OnTimer(UINT_PTR nIDEvent)
    {
        if (nIDEvent == 1 && *g_pszKeys && *g_pszKeys != ' ') {
            char key = *g_pszKeys++;
            if (key != '-')
                PostMessage(WM_KEYDOWN, key == 'r' ? VK_RIGHT : VK_DOWN);
            return;
        }
        if (nIDEvent == 2)
            ::EndMenu();
        KillTimer(nIDEvent);
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CShowWnd, CRoutingWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()
}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow)
{
    AfxWinInit(hInstance, nullptr, lpCmdLine, nCmdShow);
    int nSeconds = 5;
    char* p = lpCmdLine;
    if (*p)
        nSeconds = int(strtol(p, &p, 10));
    while (*p == ' ')
        ++p;
    if (*p) {
        g_pszKeys = p;
        while (*p && *p != ' ')
            ++p;
    }
    if (*p)
        CIconMenu::s_nOsKind = int(strtol(p, &p, 10));

    CShowWnd wnd;
    if (!wnd.Create())
        return 1;
    CIconMenu menu;
    if (!menu.LoadMenu(IDM_NESTED))
        return 2;
    ::SetForegroundWindow(wnd);
    wnd.SetTimer(1, 300, nullptr);
    wnd.SetTimer(2, UINT(nSeconds * 1000), nullptr);
    ::TrackPopupMenu(::GetSubMenu(menu, 0), TPM_LEFTALIGN, 20, 20, 0, wnd, nullptr);
    wnd.DestroyWindow();
    return 0;
}
