#include "LEDUtilityApp.h"

#include "MainFrame.h"
#include "res/resource.h"

// One section of its own, marked shared, readable, writable and
// initialised: every process that runs this file maps the same page.
volatile LONG g_nInstanceCount __attribute__((section("S_SEG"), shared)) = -1;

namespace {
const char kRegistryKey[] = "KANDELO";
// Overlapped window plus FWS_ADDTOTITLE; no WS_VISIBLE, the frame is never
// shown.
const DWORD kFrameStyle = 0x00CF8000;
static_assert(kFrameStyle == (WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE), "frame style");
}  // namespace

BEGIN_MESSAGE_MAP(CLEDUtilityApp, CWinApp)
END_MESSAGE_MAP()

// The title comes from string 57344.
CLEDUtilityApp::CLEDUtilityApp() : CWinApp(nullptr) {}

BOOL CLEDUtilityApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControls();
    // Before the frame: its constructor reads the stored level.
    SetRegistryKey(kRegistryKey);

    m_bCountHeld = TRUE;
    if (::InterlockedIncrement(&g_nInstanceCount) != 0)
        return FALSE;

    CMainFrame* pFrame = new CMainFrame;
    // A frame whose creation fails deletes itself.
    if (!pFrame->LoadFrame(IDR_FRAME, kFrameStyle, nullptr, nullptr))
        return FALSE;
    m_pMainWnd = pFrame;
    pFrame->UpdateWindow();
    return TRUE;
}

int CLEDUtilityApp::ExitInstance()
{
    // At the end of the session the frame runs this before the process is
    // ended; should the process live on to a normal exit after all, the
    // count must not drop twice.
    if (m_bCountHeld) {
        m_bCountHeld = FALSE;
        ::InterlockedDecrement(&g_nInstanceCount);
    }
    return CWinApp::ExitInstance();
}
