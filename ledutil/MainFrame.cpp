#include "MainFrame.h"

#include "BrightnessDlg.h"
#include "IndicatorDevice.h"
#include "res/resource.h"

namespace {
// The updater finds a running utility by this class alone.
const char kWindowClass[] = "VelraLEDUtility";
const UINT kApplyPeriod = 1000;
const DWORD kApplyAttempts = 200;
const int kScreenMargin = 30;
const int kDefaultLevel = 2;
const char kSection[] = "";
const char kEntry[] = "Value";
}  // namespace

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWndEx)

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWndEx)
    ON_WM_CREATE()
    ON_COMMAND(ID_SETTINGS, OnSettings)
    ON_WM_TIMER()
    ON_MESSAGE(WM_LEVELCHANGED, OnLevelChanged)
END_MESSAGE_MAP()

CMainFrame::CMainFrame()
{
    // Used as stored: a value outside 0..2 reaches the driver unchanged.
    m_nLevel = int(AfxGetApp()->GetProfileInt(kSection, kEntry, kDefaultLevel));
    m_nTimer = 0;
    m_nRetries = 0;
    m_bLevelApplied = FALSE;
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTA& cs)
{
    if (!CFrameWndEx::PreCreateWindow(cs))
        return FALSE;
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = AfxGetAfxWndProc();
    wc.hInstance = AfxGetInstanceHandle();
    wc.hIcon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_FRAME));
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
    wc.lpszClassName = kWindowClass;
    if (!AfxRegisterClass(&wc))
        return FALSE;
    cs.lpszClass = kWindowClass;
    return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCTA lpCreateStruct)
{
    if (CFrameWndEx::OnCreate(lpCreateStruct) == -1)
        return -1;
    // The first attempt waits for the first tick: at logon the driver is
    // often not loaded yet.
    m_nTimer = SetTimer(IDT_APPLYLEVEL, kApplyPeriod, nullptr);
    m_nRetries = 0;
    return 0;
}

void CMainFrame::OnTimer(UINT_PTR nIDEvent)
{
    // After the last failed attempt the timer keeps ticking (idle, or for
    // the icon) until the frame goes; the level reaches the device with the
    // next panel move.
    if (nIDEvent == IDT_APPLYLEVEL) {
        if (!m_bLevelApplied && m_nRetries < kApplyAttempts) {
            if (SetIndicatorLevel(m_nLevel))
                m_bLevelApplied = TRUE;
            else
                ++m_nRetries;
        }
        if (!m_bTrayIconAdded)
            AddTrayIcon();
        if (m_bLevelApplied && m_bTrayIconAdded)
            StopApplyTimer();
    }
    Default();
}

void CMainFrame::OnTaskbarCreated()
{
    CFrameWndEx::OnTaskbarCreated();
    // Refused again: the stopped timer is started for the retries.
    if (!m_bTrayIconAdded && !m_nTimer)
        m_nTimer = SetTimer(IDT_APPLYLEVEL, kApplyPeriod, nullptr);
}

void CMainFrame::StopApplyTimer()
{
    if (m_nTimer) {
        KillTimer(m_nTimer);
        m_nTimer = 0;
    }
}

void CMainFrame::OnSettings()
{
    CBrightnessDlg* pDlg = new CBrightnessDlg(this, m_nLevel);
    // A failed Create has disposed of the object already.
    if (!pDlg->Create(IDD_BRIGHTNESS, this))
        return;
    HWND hPanel = pDlg->m_hWnd;

    POINT pt;
    ::GetCursorPos(&pt);
    RECT rcClient;
    pDlg->GetClientRect(&rcClient);
    RECT rcWork;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcWork, 0);
    int x = pt.x;
    if (pt.x + rcClient.right > rcWork.right - kScreenMargin)
        x = rcWork.right - kScreenMargin - rcClient.right;
    int y = pt.y;
    if (pt.y + rcClient.bottom > rcWork.bottom - kScreenMargin)
        y = rcWork.bottom - kScreenMargin - rcClient.bottom;

    pDlg->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    // Showing can cost the panel its activation, and a deactivated panel
    // destroys and deletes itself.
    if (CWnd::FromHandlePermanent(hPanel) == pDlg)
        pDlg->ShowWindow(SW_SHOW);
}

LRESULT CMainFrame::OnLevelChanged(WPARAM, LPARAM lParam)
{
    // A still running apply timer sends this level from now on.
    m_nLevel = int(lParam);
    return AfxGetApp()->WriteProfileInt(kSection, kEntry, m_nLevel);
}

BOOL CMainFrame::DestroyWindow()
{
    StopApplyTimer();
    return CFrameWndEx::DestroyWindow();
}
