#include "AboutDlg.h"

#include "res/resource.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUT, nullptr) {}

void CAboutDlg::DoDataExchange(CDataExchange*) {}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Opened from the tray, the program is not in the foreground.
    SetForegroundWindow();
    return TRUE;
}
