// How the updater finds where the maker's programs are installed: the two
// Start Menu folders, the updater's own folder, folder-of-path, registry
// strings, and the shortcut search and resolution. CUpdateItem derives from
// it and adds the probes. Nothing here changes the machine.
#pragma once
#include "afxwin.h"

class CInstallLocator {
public:
    CInstallLocator() = default;
    virtual ~CInstallLocator() = default;

    void LoadStartMenuFolders();
    BOOL FindShortcut(CString& strName);
    BOOL SearchFolderTree(LPCSTR lpszName, LPCSTR lpszFolder, CString& strFound);
    CString ResolveShortcut(LPCSTR lpszLinkPath, HWND hWndOwner);
    static CString GetFolderOfPath(LPCSTR lpszPath);
    static CString GetModuleFolder();
    static CString ReadRegistryString(HKEY hRoot, LPCSTR lpszSubKey, LPCSTR lpszValueName);
    static void AppendBackslash(CString& str);

    CString m_strAllUsersStartMenu;
    CString m_strUserStartMenu;
};
