#include "MenuGdi.h"

#include "afxwin.h"

// The 340-byte layout is what the menu code hands to the system; a larger
// one (with the Vista padding field) is refused by older systems.
static_assert(sizeof(NONCLIENTMETRICSA) == 340, "NONCLIENTMETRICSA must be the 340-byte layout");

HFONT CreateMenuFont()
{
    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof(ncm);
    ::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
    return ::CreateFontIndirectA(&ncm.lfMenuFont);
}

CMeasureDC::CMeasureDC() : m_hWnd(nullptr)
{
    CWinApp* pApp = AfxGetApp();
    if (pApp && pApp->m_pMainWnd)
        m_hWnd = pApp->m_pMainWnd->m_hWnd;
    m_hDC = ::GetDC(m_hWnd);
}

CMeasureDC::~CMeasureDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
}
