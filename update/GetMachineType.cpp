#include "GetMachineType.h"

IMPLEMENT_DYNCREATE(CGetMachineType, CWinThread)

BEGIN_MESSAGE_MAP(CGetMachineType, CWinThread)
END_MESSAGE_MAP()

namespace {
const char kBiosLibrary[] = "VLBIOSIF.DLL";

// The updater runs with administrator rights from the folder its packages
// came in, often a download folder where a file of the library's name can
// be planted; the plain name would find that one first. The copy in the
// system folder is taken by its full path whenever it is there.
HMODULE LoadBiosLibrary()
{
    char szPath[MAX_PATH];
    UINT n = ::GetSystemDirectoryA(szPath, MAX_PATH);
    if (n && n + 1 + sizeof(kBiosLibrary) <= MAX_PATH) {
        if (szPath[n - 1] != '\\')
            szPath[n++] = '\\';
        lstrcpyA(szPath + n, kBiosLibrary);
        DWORD dwAttributes = ::GetFileAttributesA(szPath);
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return ::LoadLibraryA(szPath);
    }
    // Not in the system folder: the plain name as before, but without the
    // current directory in the search. SetDllDirectoryA first came with
    // XP SP1, so it is looked up; without it the search stays as it was.
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    if (HMODULE hKernel = ::GetModuleHandleA("kernel32.dll")) {
        SetDllDirectoryFn pfnSetDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
            reinterpret_cast<void*>(::GetProcAddress(hKernel, "SetDllDirectoryA")));
        if (pfnSetDllDirectory)
            pfnSetDllDirectory("");
    }
    return ::LoadLibraryA(kBiosLibrary);
}
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
