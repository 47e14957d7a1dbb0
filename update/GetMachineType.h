// Asks the maker's BIOS-query library for the machine-type code, on a worker
// thread of its own. The registration starts it, waits for its end, reads
// m_nMachineType and deletes it (auto-delete is off for that reason).
// The library is taken from the system folder by its full path when it is
// there, else by its plain name with the current directory left out of the
// search.
#pragma once
#include "afxwin.h"

class CGetMachineType : public CWinThread {
    DECLARE_DYNCREATE(CGetMachineType)
public:
    CGetMachineType();
    ~CGetMachineType() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    HMODULE m_hBiosLib = nullptr;
    int (*m_pfnGetBiosString)() = nullptr;
    int m_nMachineType = 0;

protected:
    DECLARE_MESSAGE_MAP()
};
