// The tray utility's application object: start-up, single instance and end.
//
// InitInstance selects the settings key ("KANDELO"), lets only one copy run
// on the machine and creates the hidden main frame, which carries
// everything else; a second copy ends at once without a window, an icon, a
// settings access or a device call. The machine-wide instance count lives
// in a shared section of the executable (S_SEG), -1 while no copy runs, and
// is released in ExitInstance on every way out. LEDUtilityMain.cpp holds
// the one global object; the framework's WinMain drives it.
#pragma once
#include "afxwin.h"

// Shared by every process of this executable file; -1 in the file.
extern volatile LONG g_nInstanceCount;

class CLEDUtilityApp : public CWinApp {
public:
    CLEDUtilityApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

protected:
    BOOL m_bCountHeld = FALSE;  // this process's increment is not yet undone

    DECLARE_MESSAGE_MAP()
};
