// Puts a loaded icon menu on screen for a while, owned by the tray frame
// class itself (which routes its messages), so that a screenshot can be
// taken of the real thing.
//   IconMenuShow.exe [seconds] [keys] [shell kind 0-3]
// Keys move the selection before the picture is taken: d down, r right
// (into a sub-menu), - none; "dd" selects the checked item.
#include <stdlib.h>

#include "FrameWndEx.h"
#include "TestMenuIds.h"

namespace {
const char* g_pszKeys = "dd";

// The tray frame with a menu in its icon-menu member. The command-update
// pass enables the items this frame handles and greys the others, so the
// shown pop-up keeps the template's states (only its last item is grey).
class CShowFrame : public CFrameWndEx {
public:
    CIconMenu& IconMenu() { return m_menu; }

protected:
    void OnNothing() {}
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
BEGIN_MESSAGE_MAP(CShowFrame, CFrameWndEx)
    ON_WM_TIMER()
    ON_COMMAND(ID_OPEN, OnNothing)
    ON_COMMAND(ID_SAVE, OnNothing)
    ON_COMMAND(ID_RECENT_A, OnNothing)
    ON_COMMAND(ID_RECENT_B, OnNothing)
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

    auto* pFrame = new CShowFrame;  // deletes itself with its window
    if (!pFrame->CreateEx(0, nullptr, "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr))
        return 1;
    if (!pFrame->IconMenu().LoadMenu(IDM_NESTED))
        return 2;
    ::SetForegroundWindow(*pFrame);
    pFrame->SetTimer(1, 300, nullptr);
    pFrame->SetTimer(2, UINT(nSeconds * 1000), nullptr);
    ::TrackPopupMenu(::GetSubMenu(pFrame->IconMenu(), 0), TPM_LEFTALIGN, 20, 20, 0, *pFrame, nullptr);
    pFrame->DestroyWindow();
    return 0;
}
