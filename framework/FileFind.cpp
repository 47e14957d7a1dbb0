#include "FileFind.h"

BOOL CFileFind::FindFile(LPCSTR pstrName)
{
    Close();
    if (!pstrName || !*pstrName)
        pstrName = "*.*";
    m_hFind = ::FindFirstFileA(pstrName, &m_next);
    if (m_hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    m_bHaveNext = TRUE;

    char full[MAX_PATH];
    char* pFilePart = nullptr;
    DWORD n = ::GetFullPathNameA(pstrName, MAX_PATH, full, &pFilePart);
    if (n == 0 || n >= MAX_PATH) {
        m_strRoot = pstrName;
        pFilePart = nullptr;
    } else {
        m_strRoot = full;
    }
    // Keep the folder with its separator, drop the pattern itself.
    int nCut = pFilePart ? static_cast<int>(pFilePart - full) : m_strRoot.ReverseFind('\\') + 1;
    m_strRoot = m_strRoot.Left(nCut);
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (m_hFind == INVALID_HANDLE_VALUE || !m_bHaveNext)
        return FALSE;
    m_found = m_next;
    m_bHaveNext = ::FindNextFileA(m_hFind, &m_next);
    return m_bHaveNext;
}

void CFileFind::Close()
{
    if (m_hFind != INVALID_HANDLE_VALUE) {
        ::FindClose(m_hFind);
        m_hFind = INVALID_HANDLE_VALUE;
    }
    m_bHaveNext = FALSE;
}

BOOL CFileFind::IsDots() const
{
    const char* p = m_found.cFileName;
    return IsDirectory() && p[0] == '.' && (p[1] == 0 || (p[1] == '.' && p[2] == 0));
}
