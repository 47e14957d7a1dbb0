#include "MenuTemplateReader.h"

#include <string.h>

CMenuTemplateReader::CMenuTemplateReader(const void* pTemplate, DWORD cbTemplate)
    : m_pData(static_cast<const BYTE*>(pTemplate)), m_cbData(pTemplate ? cbTemplate : 0), m_nPos(0)
{
    WORD wVersion = 0, wOffset = 0;
    if (!ReadWord(wVersion) || !ReadWord(wOffset)) {
        m_nPos = m_cbData;
        return;
    }
    // The offset comes from the data: clamp it rather than trust it.
    m_nPos = (DWORD(wOffset) > m_cbData - m_nPos) ? m_cbData : m_nPos + wOffset;
}

BOOL CMenuTemplateReader::ReadWord(WORD& w)
{
    if (m_cbData - m_nPos < sizeof(WORD))
        return FALSE;
    // Resource data is word-aligned in practice, but the offset field can
    // make it otherwise.
    memcpy(&w, m_pData + m_nPos, sizeof(WORD));
    m_nPos += sizeof(WORD);
    return TRUE;
}

BOOL CMenuTemplateReader::ReadItem(WORD& wFlags, WORD& wID, std::wstring& strText)
{
    wID = 0;
    strText.clear();
    if (!ReadWord(wFlags) || (!(wFlags & MF_POPUP) && !ReadWord(wID))) {
        m_nPos = m_cbData;
        return FALSE;
    }
    for (;;) {
        WORD ch;
        if (!ReadWord(ch)) {
            // No terminator before the end: the item is incomplete.
            m_nPos = m_cbData;
            strText.clear();
            return FALSE;
        }
        if (!ch)
            return TRUE;
        strText += static_cast<wchar_t>(ch);
    }
}
