#include "UpdateItem.h"

namespace {
const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// A command line as the registry keeps it, quoted when its path holds a
// blank: the text between the first two quotes (or to the end).
void Unquote(CString& strValue)
{
    if (strValue.IsEmpty() || strValue[0] != '"')
        return;
    CString strQuoted;
    AfxExtractSubString(strQuoted, strValue, 1, '"');
    if (!strQuoted.IsEmpty())
        strValue = strQuoted;
}

// The elevated run would take a relative folder against its own current
// directory: only a folder on a drive (C:\...) or on a share
// (\\server\share\...) is a target, not one of the device namespaces
// (\\.\ and \\?\). Walked by character: a double-byte character's second
// byte may equal the separator.
bool IsAbsoluteFolder(LPCSTR p)
{
    if (((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) && p[1] == ':' && p[2] == '\\')
        return true;
    if (p[0] != '\\' || p[1] != '\\' || !p[2] || p[2] == '\\' || ((p[2] == '.' || p[2] == '?') && p[3] == '\\'))
        return false;
    LPCSTR pShare = p + 2;
    while (*pShare && *pShare != '\\')
        pShare = CharNextA(pShare);
    return *pShare && pShare[1] && pShare[1] != '\\';
}
}  // namespace

BOOL CUpdateItem::TakeFolderOf(LPCSTR lpszPath)
{
    m_strTargetFolder = GetFolderOfPath(lpszPath);
    return IsAbsoluteFolder(m_strTargetFolder);
}

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
    return !strTarget.IsEmpty() && TakeFolderOf(strTarget);
}

BOOL CUpdateItem::ProbeAppPath(LPCSTR lpszExeName)
{
    CString strKey;
    strKey.Format(kAppPathsKey, lpszExeName);
    CString strPath = ReadRegistryString(HKEY_LOCAL_MACHINE, strKey, "");
    Unquote(strPath);
    return !strPath.IsEmpty() && TakeFolderOf(strPath);
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
    return GetFileAttributesA(lpszPath) != INVALID_FILE_ATTRIBUTES && TakeFolderOf(lpszPath);
}

BOOL CUpdateItem::ProbeRunEntry(LPCSTR lpszValueName)
{
    CString strValue = ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, lpszValueName);
    Unquote(strValue);
    return !strValue.IsEmpty() && TakeFolderOf(strValue);
}
