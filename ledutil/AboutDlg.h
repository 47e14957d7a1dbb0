// The version-information dialog (IDD_ABOUT) of the tray utility.
//
// The tray frame holds one as a member and runs it modally from its
// "version information" command; the frame's exit command ends it with
// EndDialog when the user exits while it is open. It comes to the
// foreground when it opens, since the frame that owns it is never shown.
#pragma once
#include "afxwin.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    DECLARE_MESSAGE_MAP()
};
