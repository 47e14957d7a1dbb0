// Directory search by pattern (FindFirstFileA / FindNextFileA).
//
// FindFile starts a search and reads ahead one entry; FindNextFile makes
// that entry current and returns FALSE once the current entry is the last.
// The current entry's full path is the pattern's folder plus its name.
#pragma once
#include "CString.h"

class CFileFind {
public:
    CFileFind() = default;
    ~CFileFind() { Close(); }
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    BOOL FindFile(LPCSTR pstrName = nullptr);
    BOOL FindNextFile();
    void Close();

    CString GetFileName() const { return CString(m_found.cFileName); }
    CString GetFilePath() const { return m_strRoot + m_found.cFileName; }
    ULONGLONG GetLength() const { return (ULONGLONG(m_found.nFileSizeHigh) << 32) | m_found.nFileSizeLow; }
    BOOL MatchesMask(DWORD dwMask) const { return (m_found.dwFileAttributes & dwMask) != 0; }
    BOOL IsDirectory() const { return MatchesMask(FILE_ATTRIBUTE_DIRECTORY); }
    BOOL IsReparsePoint() const { return MatchesMask(FILE_ATTRIBUTE_REPARSE_POINT); }
    BOOL IsDots() const;

private:
    HANDLE m_hFind = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA m_found{};
    WIN32_FIND_DATAA m_next{};
    BOOL m_bHaveNext = FALSE;
    CString m_strRoot;
};
