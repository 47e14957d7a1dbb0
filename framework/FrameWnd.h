// Frame windows: the top-level window class that a program's main window
// derives from.
#pragma once
#include "Wnd.h"

class CFrameWnd : public CWnd {
    DECLARE_DYNCREATE(CFrameWnd)
public:
    CFrameWnd() = default;

protected:
    DECLARE_MESSAGE_MAP()
};
