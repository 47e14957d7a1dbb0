#include "InstallLocator.h"

#include <shlobj.h>
#include <stdlib.h>

#include "Handle.h"

namespace {
// The probes only read: no search for a moved target, no dialog, no
// rewriting of the shortcut; a target that is not there fails the probe.
// With SLR_NO_UI the high word is the time allowed for the resolution.
const DWORD kResolveTimeoutMs = 1000;
const DWORD kResolveFlags = SLR_NO_UI | SLR_NOUPDATE | (kResolveTimeoutMs << 16);

void SplitDriveDir(LPCSTR lpszPath, CString& strOut)
{
    char drive[_MAX_DRIVE], dir[_MAX_DIR];
    _splitpath(lpszPath, drive, dir, nullptr, nullptr);
    strOut = drive;
    strOut += dir;
}
}  // namespace

CString CInstallLocator::GetModuleFolder()
{
    char path[261] = "";
    GetModuleFileNameA(AfxGetModuleState()->m_hCurrentInstanceHandle, path, sizeof(path));
    path[sizeof(path) - 1] = 0;
    CString folder;
    SplitDriveDir(path, folder);
    return folder;
}

CString CInstallLocator::GetFolderOfPath(LPCSTR lpszPath)
{
    CString folder;
    SplitDriveDir(lpszPath, folder);
    return folder;
}

void CInstallLocator::AppendBackslash(CString& str)
{
    if (str.IsEmpty())
        return;
    char fname[_MAX_FNAME], ext[_MAX_EXT];
    _splitpath(str, nullptr, nullptr, fname, ext);
    if (fname[0] || ext[0])
        str += "\\";
}

CString CInstallLocator::ReadRegistryString(HKEY hRoot, LPCSTR lpszSubKey, LPCSTR lpszValueName)
{
    CString result;
    CRegKey key;
    if (RegOpenKeyExA(hRoot, lpszSubKey, 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
        return result;
    // One byte more than the value may fill: a value that takes the whole
    // 260 bytes without its own terminator is too long, never read past.
    // Only text is a path: the bytes of a number or of binary data could
    // spell one by accident.
    // An expandable value ("%ProgramFiles%\...") is expanded as the system
    // does when it starts the program; an expansion that does not fit the
    // same 260 bytes gives nothing.
    BYTE buffer[261];
    DWORD cb = 260;
    DWORD dwType = REG_NONE;
    if (RegQueryValueExA(key.Get(), lpszValueName, nullptr, &dwType, buffer, &cb) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
        return result;
    buffer[cb] = 0;
    if (cb == 260 && buffer[259] != 0)
        return result;
    LPCSTR pszText = reinterpret_cast<LPCSTR>(buffer);
    if (dwType == REG_SZ) {
        result = pszText;
        return result;
    }
    char szExpanded[260];
    DWORD cch = ExpandEnvironmentStringsA(pszText, szExpanded, sizeof(szExpanded));
    if (cch != 0 && cch <= sizeof(szExpanded))
        result = szExpanded;
    return result;
}

// The shell and COM are loaded by the first shortcut probe, not with the
// program: most runs find their packages' targets otherwise.
template <class F> F ShellProc(const char* pszName) { return AfxGetSystemProc<F>("shell32.dll", pszName); }

void CInstallLocator::LoadStartMenuFolders()
{
    m_strAllUsersStartMenu.Empty();
    m_strUserStartMenu.Empty();

    static const auto pfnGetMalloc = ShellProc<decltype(&::SHGetMalloc)>("SHGetMalloc");
    static const auto pfnGetLocation = ShellProc<decltype(&::SHGetSpecialFolderLocation)>("SHGetSpecialFolderLocation");
    static const auto pfnGetPath = ShellProc<decltype(&::SHGetPathFromIDListA)>("SHGetPathFromIDListA");
    CComPtr<IMalloc> malloc;
    if (!pfnGetMalloc || !pfnGetLocation || !pfnGetPath || FAILED(pfnGetMalloc(malloc.Out())))
        return;
    char szAllUsers[260] = "";
    char szUser[260] = "";
    LPITEMIDLIST pidl = nullptr;
    if (SUCCEEDED(pfnGetLocation(nullptr, CSIDL_COMMON_STARTMENU, &pidl))) {
        pfnGetPath(pidl, szAllUsers);
        malloc->Free(pidl);
        pidl = nullptr;
    }
    if (FAILED(pfnGetLocation(nullptr, CSIDL_STARTMENU, &pidl)))
        return;
    pfnGetPath(pidl, szUser);
    malloc->Free(pidl);

    m_strAllUsersStartMenu = szAllUsers;
    m_strUserStartMenu = szUser;
    AppendBackslash(m_strAllUsersStartMenu);
    AppendBackslash(m_strUserStartMenu);
}

BOOL CInstallLocator::SearchFolderTree(LPCSTR lpszName, LPCSTR lpszFolder, CString& strFound)
{
    CString strFolder(lpszFolder);
    CFileFind finder;
    if (finder.FindFile(strFolder + lpszName)) {
        finder.FindNextFile();
        strFound = finder.GetFilePath();
        return TRUE;
    }
    BOOL bMore = finder.FindFile(strFolder + "*.*");
    while (bMore) {
        bMore = finder.FindNextFile();
        // Junctions and links are not entered: a link back up the tree
        // would make the search recurse without end.
        if (finder.IsDots() || !finder.IsDirectory() || finder.IsReparsePoint())
            continue;
        if (SearchFolderTree(lpszName, strFolder + finder.GetFileName() + "\\", strFound))
            return TRUE;
    }
    return FALSE;
}

BOOL CInstallLocator::FindShortcut(CString& strName)
{
    CString strFound;
    if (!m_strAllUsersStartMenu.IsEmpty() && SearchFolderTree(strName, m_strAllUsersStartMenu, strFound)) {
        strName = strFound;
        return TRUE;
    }
    // Without the user's folder the search would run relative to the
    // current directory; there is nothing to find there.
    if (!m_strUserStartMenu.IsEmpty() && SearchFolderTree(strName, m_strUserStartMenu, strFound)) {
        strName = strFound;
        return TRUE;
    }
    return FALSE;
}

CString CInstallLocator::ResolveShortcut(LPCSTR lpszLinkPath, HWND hWndOwner)
{
    CString result;
    static const auto pfnCreate = AfxGetSystemProc<decltype(&::CoCreateInstance)>("ole32.dll", "CoCreateInstance");
    CComPtr<IShellLinkA> link;
    if (!pfnCreate || FAILED(pfnCreate(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                       reinterpret_cast<void**>(link.Out()))))
        return result;
    CComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()))))
        return result;
    WCHAR wszPath[260];
    if (!MultiByteToWideChar(CP_ACP, 0, lpszLinkPath, -1, wszPath, 260))
        return result;
    if (FAILED(file->Load(wszPath, 0)) || FAILED(link->Resolve(hWndOwner, kResolveFlags)))
        return result;
    char szTarget[260] = "";
    WIN32_FIND_DATAA wfd;
    // Without its search a resolution can still report success for a
    // target that is no longer there; such a shortcut does not resolve.
    if (SUCCEEDED(link->GetPath(szTarget, sizeof(szTarget), &wfd, SLGP_SHORTPATH)) &&
        ::GetFileAttributesA(szTarget) != INVALID_FILE_ATTRIBUTES)
        result = szTarget;
    return result;
}
