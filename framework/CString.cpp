#include "CString.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "WinApp.h"

CString::CString(const CString& s) { Assign(s.m_pch, s.m_nLength); }

CString::CString(CString&& s) noexcept : m_pch(s.m_pch), m_nLength(s.m_nLength), m_nAlloc(s.m_nAlloc)
{
    s.m_pch = nullptr;
    s.m_nLength = s.m_nAlloc = 0;
}

CString::CString(LPCSTR psz) { Assign(psz, psz ? lstrlenA(psz) : 0); }

CString::CString(LPCSTR pch, int nLength) { Assign(pch, nLength); }

CString::CString(char ch, int nRepeat)
{
    if (nRepeat > 0) {
        Reserve(nRepeat);
        memset(m_pch, ch, nRepeat);
        m_pch[m_nLength = nRepeat] = 0;
    }
}

CString::~CString() { free(m_pch); }

CString& CString::operator=(const CString& s)
{
    if (this != &s)
        Assign(s.m_pch, s.m_nLength);
    return *this;
}

CString& CString::operator=(CString&& s) noexcept
{
    if (this != &s) {
        free(m_pch);
        m_pch = s.m_pch;
        m_nLength = s.m_nLength;
        m_nAlloc = s.m_nAlloc;
        s.m_pch = nullptr;
        s.m_nLength = s.m_nAlloc = 0;
    }
    return *this;
}

CString& CString::operator=(LPCSTR psz)
{
    // psz may point into this string's own buffer.
    CString copy(psz);
    return *this = static_cast<CString&&>(copy);
}

void CString::Reserve(int n)
{
    if (n < m_nAlloc)
        return;
    int nAlloc = m_nAlloc ? m_nAlloc : 16;
    while (nAlloc <= n)
        nAlloc *= 2;
    char* p = static_cast<char*>(realloc(m_pch, nAlloc));
    if (!p)
        abort();  // the programs cannot go on without memory for a string
    m_pch = p;
    m_nAlloc = nAlloc;
}

void CString::Assign(LPCSTR pch, int n)
{
    m_nLength = 0;
    if (n > 0)
        Append(pch, n);
    else if (m_pch)
        m_pch[0] = 0;
}

CString& CString::Append(LPCSTR pch, int n)
{
    if (n <= 0)
        return *this;
    // The source may lie in this string's own buffer (s += s), which
    // Reserve can move: it is found again by its offset.
    if (m_pch && pch >= m_pch && pch < m_pch + m_nAlloc) {
        ptrdiff_t nOffset = pch - m_pch;
        Reserve(m_nLength + n);
        pch = m_pch + nOffset;
    } else {
        Reserve(m_nLength + n);
    }
    memmove(m_pch + m_nLength, pch, n);
    m_nLength += n;
    m_pch[m_nLength] = 0;
    return *this;
}

void CString::Empty()
{
    free(m_pch);
    m_pch = nullptr;
    m_nLength = m_nAlloc = 0;
}

// The searches walk the text by character in the ANSI code page (932 on
// the target systems), where a trail byte can look like '\\' or a letter:
// only a character's first byte is compared.
int CString::NextChar(int i) const
{
    if (IsDBCSLeadByte(static_cast<BYTE>(m_pch[i])) && i + 1 < m_nLength)
        return i + 2;
    return i + 1;
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0)
        return -1;
    for (int i = 0; i < m_nLength; i = NextChar(i))
        if (i >= nStart && m_pch[i] == ch)
            return i;
    return -1;
}

int CString::Find(LPCSTR pszSub, int nStart) const
{
    if (nStart < 0 || nStart > m_nLength)
        return -1;
    int nSub = lstrlenA(pszSub);
    if (nSub == 0)
        return nStart;
    for (int i = 0; i + nSub <= m_nLength; i = NextChar(i))
        if (i >= nStart && memcmp(m_pch + i, pszSub, nSub) == 0)
            return i;
    return -1;
}

int CString::ReverseFind(char ch) const
{
    int nFound = -1;
    for (int i = 0; i < m_nLength; i = NextChar(i))
        if (m_pch[i] == ch)
            nFound = i;
    return nFound;
}

CString CString::Left(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    return CString(m_pch, nCount < m_nLength ? nCount : m_nLength);
}

CString CString::Mid(int nFirst) const { return Mid(nFirst, m_nLength - nFirst); }

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (nFirst > m_nLength)
        nFirst = m_nLength;
    if (nCount > m_nLength - nFirst)
        nCount = m_nLength - nFirst;
    return CString(m_pch + nFirst, nCount);
}

void CString::MakeLower()
{
    // Code-page aware: a DBCS trail byte is never taken for a capital letter.
    if (m_nLength)
        CharLowerBuffA(m_pch, m_nLength);
}

BOOL CString::LoadString(UINT nID)
{
    HINSTANCE hInst = AfxGetResourceHandle();
    for (int nSize = 256;; nSize *= 2) {
        int n = ::LoadStringA(hInst, nID, GetBuffer(nSize), nSize + 1);
        if (n < nSize || nSize >= 65536) {
            ReleaseBuffer(n > 0 ? n : 0);
            return n > 0;
        }
    }
}

void CString::FormatV(LPCSTR pszFormat, va_list args)
{
    // Written into a new buffer: the format or an argument may be this
    // string's own text.
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    CString result;
    if (n > 0) {
        result.Reserve(n);
        vsnprintf(result.m_pch, n + 1, pszFormat, args);
        result.m_nLength = n;
    }
    *this = static_cast<CString&&>(result);
}

void CString::Format(LPCSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::Format(UINT nFormatID, ...)
{
    CString format;
    format.LoadString(nFormatID);
    va_list args;
    va_start(args, nFormatID);
    FormatV(format, args);
    va_end(args);
}

LPSTR CString::GetBuffer(int nMinLength)
{
    Reserve(nMinLength > m_nLength ? nMinLength : m_nLength);
    m_pch[m_nLength] = 0;
    return m_pch;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (!m_pch)
        return;
    if (nNewLength < 0)
        nNewLength = lstrlenA(m_pch);
    m_pch[m_nLength = nNewLength] = 0;
}

CString operator+(const CString& a, const CString& b)
{
    CString s(a);
    return s += b;
}

CString operator+(const CString& a, LPCSTR b)
{
    CString s(a);
    return s += b;
}

BOOL AfxExtractSubString(CString& rString, LPCSTR lpszFullString, int iSubString, char chSep)
{
    if (!lpszFullString)
        return FALSE;
    while (iSubString--) {
        lpszFullString = strchr(lpszFullString, chSep);
        if (!lpszFullString) {
            rString.Empty();
            return FALSE;
        }
        lpszFullString++;
    }
    const char* pEnd = strchr(lpszFullString, chSep);
    int n = pEnd ? static_cast<int>(pEnd - lpszFullString) : lstrlenA(lpszFullString);
    rString = CString(lpszFullString, n);
    return TRUE;
}
