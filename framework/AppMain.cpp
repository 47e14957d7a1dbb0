// The program entry point; linked only into programs that define a
// CWinApp object (test programs bring their own main).
#include "WinApp.h"

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR, int nCmdShow)
{
    // Computed here rather than taken from the C runtime so that the rule is
    // the framework's own.
    return AfxWinMain(hInstance, hPrevInstance, AfxSkipProgramName(::GetCommandLineA()), nCmdShow);
}
