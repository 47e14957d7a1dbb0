#include "UpdateItem.h"

namespace {
const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
}  // namespace

CUpdateItem::CUpdateItem(LPCSTR lpszPackageName)
{
    m_strPackagePath = GetModuleFolder() + lpszPackageName;
}

BOOL CUpdateItem::IsPackagePresent() const
{
    return GetFileAttributesA(m_strPackagePath) != INVALID_FILE_ATTRIBUTES;
}

BOOL CUpdateItem::ProbeShortcut(LPCSTR lpszShortcutName)
{
    LoadStartMenuFolders();
    CString strLink(lpszShortcutName);
    if (!FindShortcut(strLink))
        return FALSE;
    CString strTarget = ResolveShortcut(strLink, nullptr);
    if (strTarget.IsEmpty())
        return FALSE;
    m_strTargetFolder = GetFolderOfPath(strTarget);
    return !m_strTargetFolder.IsEmpty();
}

BOOL CUpdateItem::ProbeAppPath(LPCSTR lpszExeName)
{
    CString strKey;
    strKey.Format(kAppPathsKey, lpszExeName);
    CString strPath = ReadRegistryString(HKEY_LOCAL_MACHINE, strKey, "");
    if (strPath.IsEmpty())
        return FALSE;
    m_strTargetFolder = GetFolderOfPath(strPath);
    return !m_strTargetFolder.IsEmpty();
}

BOOL CUpdateItem::ProbeSystemFolder(LPCSTR lpszSubFolder)
{
    char szSystem[260];
    if (GetSystemDirectoryA(szSystem, sizeof(szSystem)) == 0)
        return FALSE;
    m_strTargetFolder = szSystem;
    AppendBackslash(m_strTargetFolder);
    if (lpszSubFolder) {
        m_strTargetFolder += lpszSubFolder;
        AppendBackslash(m_strTargetFolder);
    }
    return TRUE;
}

BOOL CUpdateItem::ProbeFilePath(LPCSTR lpszPath)
{
    if (GetFileAttributesA(lpszPath) == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    m_strTargetFolder = GetFolderOfPath(lpszPath);
    return !m_strTargetFolder.IsEmpty();
}

BOOL CUpdateItem::ProbeRunEntry(LPCSTR lpszValueName)
{
    CString strValue = ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, lpszValueName);
    if (strValue.IsEmpty())
        return FALSE;
    if (strValue[0] == '"') {
        CString strQuoted;
        AfxExtractSubString(strQuoted, strValue, 1, '"');
        if (!strQuoted.IsEmpty())
            strValue = strQuoted;
    }
    m_strTargetFolder = GetFolderOfPath(strValue);
    return !m_strTargetFolder.IsEmpty();
}
