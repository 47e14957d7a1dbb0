#include "GetMachineType.h"

IMPLEMENT_DYNCREATE(CGetMachineType, CWinThread)

BEGIN_MESSAGE_MAP(CGetMachineType, CWinThread)
END_MESSAGE_MAP()

namespace {
const char kBiosLibrary[] = "VLBIOSIF.DLL";

// The updater runs with administrator rights from the folder its packages
// came in, often a download folder where a file of the library's name can
// be planted: the library is only ever taken from the system folder. Not
// there: no library, as on a machine without it.
HMODULE LoadBiosLibrary() { return AfxLoadSystemLibrary(kBiosLibrary); }
}  // namespace

CGetMachineType::CGetMachineType()
{
    // Loaded on the creator's thread and released there by the destructor;
    // only the call itself runs on the probe's thread.
    m_hBiosLib = LoadBiosLibrary();
    if (m_hBiosLib)
        m_pfnGetBiosString = reinterpret_cast<int (*)()>(
            reinterpret_cast<void*>(GetProcAddress(m_hBiosLib, "VLBIOSIF_GetBiosString")));
    m_bAutoDelete = FALSE;
}

CGetMachineType::~CGetMachineType()
{
    if (m_hBiosLib)
        FreeLibrary(m_hBiosLib);
}

BOOL CGetMachineType::InitInstance()
{
    if (m_pfnGetBiosString)
        m_nMachineType = m_pfnGetBiosString();
    return FALSE;
}

int CGetMachineType::ExitInstance() { return CWinThread::ExitInstance(); }
