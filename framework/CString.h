// Narrow (ANSI code page) string with value semantics.
//
// The programs keep paths and UI texts in CString; LoadString reads the
// module's string table, Format is printf-style. An empty string never
// allocates, and the LPCSTR conversion never yields null.
#pragma once
#include <string.h>
#include <windows.h>

class CString {
public:
    CString() = default;
    CString(const CString& s);
    CString(CString&& s) noexcept;
    CString(LPCSTR psz);
    CString(LPCSTR pch, int nLength);
    CString(char ch, int nRepeat = 1);
    ~CString();

    CString& operator=(const CString& s);
    CString& operator=(CString&& s) noexcept;
    CString& operator=(LPCSTR psz);
    CString& operator+=(const CString& s) { return Append(s.m_pch, s.m_nLength); }
    CString& operator+=(LPCSTR psz) { return Append(psz, psz ? lstrlenA(psz) : 0); }
    CString& operator+=(char ch) { return Append(&ch, 1); }

    int GetLength() const { return m_nLength; }
    BOOL IsEmpty() const { return m_nLength == 0; }
    void Empty();
    char operator[](int nIndex) const { return m_pch[nIndex]; }
    operator LPCSTR() const { return m_pch ? m_pch : ""; }

    // By character in the ANSI code page: a trail byte never matches.
    int Find(char ch, int nStart = 0) const;
    int Find(LPCSTR pszSub, int nStart = 0) const;
    int ReverseFind(char ch) const;
    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    void MakeLower();

    BOOL LoadString(UINT nID);
    void Format(LPCSTR pszFormat, ...);
    void Format(UINT nFormatID, ...);

    // Direct access for APIs that fill a buffer; ReleaseBuffer(-1) takes
    // the length from the terminator.
    LPSTR GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    CString& Append(LPCSTR pch, int n);
    void Assign(LPCSTR pch, int n);
    void FormatV(LPCSTR pszFormat, va_list args);
    void Reserve(int n);
    int NextChar(int i) const;

    char* m_pch = nullptr;
    int m_nLength = 0;
    int m_nAlloc = 0;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCSTR b);

// Copies the iSubString-th field of a chSep-separated text into rString;
// FALSE when the text has fewer fields.
BOOL AfxExtractSubString(CString& rString, LPCSTR lpszFullString, int iSubString, char chSep = '\n');
