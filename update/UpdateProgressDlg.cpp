#include "UpdateProgressDlg.h"

#include <string.h>

#include "ExtractCabinet.h"
#include "res/resource.h"

namespace {
// Milliseconds of the performance counter, cut to 32 bits. Split so that
// the product cannot overflow, however long the machine has been up.
DWORD DefaultFrameClock()
{
    LARGE_INTEGER freq, now;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&now);
    return DWORD(now.QuadPart / freq.QuadPart * 1000 + now.QuadPart % freq.QuadPart * 1000 / freq.QuadPart);
}
// A paint that took longer than this is charged as this long: the next
// frame is never further away.
const DWORD kLongestPaintMs = 1000;
CUpdateProgressDlg::FrameClock g_pfnFrameClock = DefaultFrameClock;

// dwGap has passed on the frame clock since dwSince; a clock that went back
// makes it passed at once.
bool Passed(DWORD dwSince, DWORD dwGap)
{
    DWORD dwPassed = g_pfnFrameClock() - dwSince;
    return LONG(dwPassed) < 0 || dwPassed >= dwGap;
}
}  // namespace

void CUpdateProgressDlg::SetFrameClock(FrameClock pfnClock)
{
    g_pfnFrameClock = pfnClock ? pfnClock : DefaultFrameClock;
}

BEGIN_MESSAGE_MAP(CUpdateProgressDlg, CDialog)
    ON_MESSAGE(WM_PRINT, OnPrint)
    ON_MESSAGE(WM_PRINTCLIENT, OnPrint)
    ON_WM_QUERYENDSESSION()
END_MESSAGE_MAP()

CUpdateProgressDlg::CUpdateProgressDlg(UINT nTitleId)
    : CDialog(IDD_PROGRESS), m_nTitleId(nTitleId ? nTitleId : IDS_PROGRESS_TITLE)
{
    // A shared icon from the resources: never destroyed.
    m_hWindowIcon = LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON),
                              MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CUpdateProgressDlg::~CUpdateProgressDlg()
{
    if (m_hWnd)
        DestroyWindow();
}

BOOL CUpdateProgressDlg::Create(CWnd* pParentWnd)
{
    m_pParentWnd = GetSafeOwner(pParentWnd);
    if (m_pParentWnd && m_pParentWnd->IsWindowEnabled()) {
        m_pParentWnd->EnableWindow(FALSE);
        m_bOwnerDisabled = TRUE;
    }
    if (!CDialog::Create(IDD_PROGRESS, pParentWnd)) {
        RestoreOwner();
        return FALSE;
    }
    return TRUE;
}

void CUpdateProgressDlg::RestoreOwner()
{
    if (m_bOwnerDisabled && m_pParentWnd)
        m_pParentWnd->EnableWindow(TRUE);
    m_bOwnerDisabled = FALSE;
}

BOOL CUpdateProgressDlg::DestroyWindow()
{
    RestoreOwner();
    return CDialog::DestroyWindow();
}

void CUpdateProgressDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS_BAR, m_barCtrl);
}

BOOL CUpdateProgressDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_barCtrl.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(m_nRangeLow, m_nRangeHigh));
    m_barCtrl.SendMessage(PBM_SETSTEP, m_nStepSize);
    m_barCtrl.SendMessage(PBM_SETPOS, m_nRangeLow);
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hWindowIcon));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hWindowIcon));
    CString title;
    title.LoadString(m_nTitleId);
    SetWindowText(title);

    m_hStatusText = ::GetDlgItem(m_hWnd, IDC_STATUS_TEXT);
    m_hPercentText = ::GetDlgItem(m_hWnd, IDC_PERCENT_TEXT);
    if (m_hPercentText)
        ::GetWindowTextA(m_hPercentText, m_szPercent, sizeof(m_szPercent));
    return TRUE;
}

void CUpdateProgressDlg::OnOK() {}

void CUpdateProgressDlg::OnCancel() {}

LRESULT CUpdateProgressDlg::OnPrint(WPARAM, LPARAM)
{
    HandOver();
    return Default();
}

void CUpdateProgressDlg::ShowStatusText(LPCSTR lpszText)
{
    if (!m_hWnd)
        return;
    m_strStatus = lpszText;
    m_bStatusDue = true;
    if (FrameDue())
        Paint();
}

void CUpdateProgressDlg::SetBarRange(int nLower, int nUpper)
{
    if (!m_hWnd)
        return;
    m_nRangeLow = nLower;
    m_nRangeHigh = nUpper;
    m_bRangeDue = true;
    // As the control does, the position is brought into the new range.
    m_nPos = m_nPos < nLower ? nLower : m_nPos > nUpper ? nUpper : m_nPos;
}

int CUpdateProgressDlg::SetBarPos(int nPos)
{
    if (!m_hWnd)
        return 0;
    ProcessPendingMessages();
    int nOld = m_nPos;
    m_nPos = nPos < m_nRangeLow ? m_nRangeLow : nPos > m_nRangeHigh ? m_nRangeHigh : nPos;
    RefreshPercentText(nPos);
    if (FrameDue())
        Paint();
    return nOld;
}

int CUpdateProgressDlg::SetBarStep(int nStep)
{
    if (!m_hWnd)
        return 0;
    m_nStepSize = nStep;
    return int(m_barCtrl.SendMessage(PBM_SETSTEP, nStep));
}

int CUpdateProgressDlg::StepBar()
{
    if (!m_hWnd)
        return 0;
    ProcessPendingMessages();
    int nOld = m_nPos;
    if (nOld + m_nStepSize >= m_nRangeLow && nOld + m_nStepSize <= m_nRangeHigh) {
        m_nPos = nOld + m_nStepSize;
    } else {
        // Past an end the control starts again from its lower bound by its
        // own rule: the step is its to make.
        HandOver();
        m_barCtrl.SendMessage(PBM_STEPIT);
        m_nPos = int(m_barCtrl.SendMessage(PBM_GETPOS));
    }
    RefreshPercentText(nOld + m_nStepSize);
    if (FrameDue())
        Paint();
    return nOld;
}

// The work goes on inside a file: neither a large file nor a slow paint
// keeps the queue unread for long, so the system never takes the window
// for hung, and a due frame paints.
void CUpdateProgressDlg::KeepShowing()
{
    if (!m_hWnd)
        return;
    if (Passed(m_dwAnswered, kAnswerMs))
        ProcessPendingMessages();
    if (FrameDue())
        Paint();
}

void CUpdateProgressDlg::ProcessPendingMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    m_dwAnswered = g_pfnFrameClock();
}

DWORD CUpdateProgressDlg::WaitAnswering(HANDLE hObject, DWORD dwMilliseconds)
{
    CUpdateProgressDlg* pDlg = g_pProgressDlg && g_pProgressDlg->m_hWnd ? g_pProgressDlg : nullptr;
    if (!pDlg && hObject)
        return WaitForSingleObject(hObject, dwMilliseconds);
    if (!pDlg) {
        Sleep(dwMilliseconds);
        return WAIT_TIMEOUT;
    }
    // Woken by every message (a question sent from another process waits
    // for the answer) and at least every kAnswerMs, for the frames.
    DWORD nCount = hObject ? 1 : 0;
    for (DWORD dwStart = GetTickCount();;) {
        pDlg->ProcessPendingMessages();
        if (pDlg->FrameDue())
            pDlg->Paint();
        DWORD dwSpent = GetTickCount() - dwStart;
        DWORD dwLeft = dwMilliseconds == INFINITE ? INFINITE : dwSpent < dwMilliseconds ? dwMilliseconds - dwSpent : 0;
        DWORD dwSlice = dwLeft < kAnswerMs ? dwLeft : kAnswerMs;
        DWORD dwResult = MsgWaitForMultipleObjects(nCount, &hObject, FALSE, dwSlice, QS_ALLINPUT);
        if (dwResult == WAIT_OBJECT_0 + nCount)
            continue;
        if (dwResult != WAIT_TIMEOUT || dwSlice == dwLeft)
            return dwResult;
    }
}

// Due when the gap after the last paint has passed.
bool CUpdateProgressDlg::FrameDue() const { return Passed(m_dwFrameEnd, m_dwFrameGap); }

void CUpdateProgressDlg::PaintNow()
{
    if (m_hWnd)
        Paint();
}

void CUpdateProgressDlg::Paint()
{
    DWORD dwStart = g_pfnFrameClock();
    HandOver();
    UpdateWindow();
    DWORD dwEnd = g_pfnFrameClock();
    // A clock that went back meanwhile (the performance counter read on
    // another processor of some multi-processor machines) charges the
    // paint nothing.
    DWORD dwCost = LONG(dwEnd - dwStart) < 0 ? 0 : dwEnd - dwStart;
    if (dwCost > kLongestPaintMs)
        dwCost = kLongestPaintMs;
    DWORD dwGap = dwCost * kPaintShare;
    dwGap = dwGap < kFrameMs ? kFrameMs : dwGap > kLongestGapMs ? kLongestGapMs : dwGap;
    m_dwFrameEnd = dwEnd;
    m_dwFrameGap = dwGap > dwCost ? dwGap : dwCost;
}

// The user is told why the session cannot end (Vista on; XP lacks the
// call, and it takes UTF-16 only).
void CUpdateProgressDlg::HoldSession(BOOL bHold)
{
    if (!m_hWnd || !bHold == !m_bSessionHeld)
        return;
    m_bSessionHeld = bHold;
    HMODULE hUser = ::GetModuleHandleA("USER32.DLL");
    if (bHold) {
        typedef BOOL(WINAPI * CreateFn)(HWND, LPCWSTR);
        CreateFn pfnCreate =
            reinterpret_cast<CreateFn>(reinterpret_cast<void*>(::GetProcAddress(hUser, "ShutdownBlockReasonCreate")));
        char szTitle[256] = "";
        WCHAR wszTitle[256];
        ::GetWindowTextA(m_hWnd, szTitle, sizeof(szTitle));
        if (pfnCreate && MultiByteToWideChar(932, 0, szTitle, -1, wszTitle, 256))
            pfnCreate(m_hWnd, wszTitle);
    } else {
        typedef BOOL(WINAPI * DestroyFn)(HWND);
        DestroyFn pfnDestroy =
            reinterpret_cast<DestroyFn>(reinterpret_cast<void*>(::GetProcAddress(hUser, "ShutdownBlockReasonDestroy")));
        if (pfnDestroy)
            pfnDestroy(m_hWnd);
    }
}

BOOL CUpdateProgressDlg::OnQueryEndSession() { return m_bSessionHeld ? FALSE : CDialog::OnQueryEndSession(); }

// The controls get what they do not show yet; each then repaints itself.
void CUpdateProgressDlg::HandOver()
{
    HWND hBar = m_barCtrl.m_hWnd;
    if (m_bRangeDue && hBar)
        ::SendMessageA(hBar, PBM_SETRANGE, 0, MAKELPARAM(m_nRangeLow, m_nRangeHigh));
    m_bRangeDue = false;
    if (hBar && ::SendMessageA(hBar, PBM_GETPOS, 0, 0) != m_nPos)
        ::SendMessageA(hBar, PBM_SETPOS, m_nPos, 0);
    if (m_bStatusDue && m_hStatusText)
        ::SetWindowTextA(m_hStatusText, m_strStatus);
    m_bStatusDue = false;
    // Compared byte for byte: an unchanged figure is not set again, so the
    // control does not repaint for nothing.
    char szShown[sizeof(m_szPercent)] = "";
    if (m_hPercentText && (::GetWindowTextA(m_hPercentText, szShown, sizeof(szShown)), strcmp(szShown, m_szPercent)))
        ::SetWindowTextA(m_hPercentText, m_szPercent);
}

void CUpdateProgressDlg::RefreshPercentText(int nNewPos)
{
    if (m_nRangeHigh <= m_nRangeLow)
        return;
    int nPercent = (nNewPos - m_nRangeLow) * 100 / (m_nRangeHigh - m_nRangeLow);
    // The bar wraps past its upper bound, and so does the figure; a full
    // bar still reads 100.
    if (nPercent != 100)
        nPercent %= 100;
    CString strText;
    strText.Format("%d%c", nPercent, '%');
    lstrcpynA(m_szPercent, strText, sizeof(m_szPercent));
}
