// Scoped GDI resources for the icon menu's per-call drawing and measuring:
// the menu font, solid brushes and pens, the main window's screen DC and a
// selection that is undone on leaving scope. Used by IconMenu.cpp and
// IconMenuDraw.cpp only; nothing is cached between calls, so a change of
// the menu font or colours shows at the next message.
#pragma once
#include <windows.h>

// An owned GDI object, deleted when the holder goes.
template <class T>
class CGdiHandle {
public:
    explicit CGdiHandle(T h = nullptr) : m_h(h) {}
    ~CGdiHandle()
    {
        if (m_h)
            ::DeleteObject(m_h);
    }
    CGdiHandle(const CGdiHandle&) = delete;
    CGdiHandle& operator=(const CGdiHandle&) = delete;
    T Get() const { return m_h; }

private:
    T m_h;
};

// The font of the system's menus, from the non-client metrics.
HFONT CreateMenuFont();

// A DC for measuring outside WM_DRAWITEM: the application's main window's,
// or the screen's while there is no main window yet.
class CMeasureDC {
public:
    CMeasureDC();
    ~CMeasureDC();
    CMeasureDC(const CMeasureDC&) = delete;
    CMeasureDC& operator=(const CMeasureDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// Selects an object into a DC and puts the previous one back on leaving.
class CSelectScope {
public:
    CSelectScope(HDC hDC, HGDIOBJ hObject) : m_hDC(hDC), m_hOld(hObject ? ::SelectObject(hDC, hObject) : nullptr) {}
    ~CSelectScope()
    {
        if (m_hOld)
            ::SelectObject(m_hDC, m_hOld);
    }
    CSelectScope(const CSelectScope&) = delete;
    CSelectScope& operator=(const CSelectScope&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
