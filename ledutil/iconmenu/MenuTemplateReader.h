// Item-by-item reader of a standard menu template (the RT_MENU resource
// format), used by CIconMenu::LoadMenu to build its owner-drawn menus.
//
// The template is a header of two 16-bit words (version, offset to the first
// item after the header), then items: a flags word, a command word unless
// the item is a pop-up (MF_POPUP), and a zero-terminated UTF-16 text. The
// reader never looks past the size it was given: an item that does not fit
// completely ends the reading, so a truncated or malformed resource yields
// the items before the damage and nothing else.
#pragma once
#include <windows.h>

#include <string>

class CMenuTemplateReader {
public:
    CMenuTemplateReader(const void* pTemplate, DWORD cbTemplate);

    // The next complete item; FALSE at the end of the data or at an item
    // that runs past it. wFlags keeps MF_END; wID is 0 for a pop-up.
    BOOL ReadItem(WORD& wFlags, WORD& wID, std::wstring& strText);

private:
    BOOL ReadWord(WORD& w);

    const BYTE* m_pData;
    DWORD m_cbData;
    DWORD m_nPos;
};
