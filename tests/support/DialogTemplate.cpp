#include "DialogTemplate.h"

#include "Text.h"

namespace tst {

namespace {
// A name-or-ordinal field of a dialog template; p moves past it.
std::string TemplateField(const WORD*& p, bool isClass = false)
{
    if (*p == 0xFFFF) {
        WORD n = p[1];
        p += 2;
        static const char* const kClasses[] = {"button", "edit", "static", "listbox", "scrollbar", "combobox"};
        return isClass && n >= 0x80 && n <= 0x85 ? kClasses[n - 0x80] : "#" + std::to_string(n);
    }
    std::string s = TakeString(p);
    if (isClass)
        CharLowerBuffA(&s[0], DWORD(s.size()));  // class names are not case-sensitive
    return s;
}

template <class T> T Take(const BYTE*& p)
{
    T v;
    memcpy(&v, p, sizeof(T));
    p += sizeof(T);
    return v;
}
}  // namespace

Dialog ParseDialog(const void* resource)
{
    Dialog d;
    const BYTE* p = static_cast<const BYTE*>(resource);
    const WORD* w = static_cast<const WORD*>(resource);
    d.extended = w[0] == 1 && w[1] == 0xFFFF;
    WORD count;
    if (d.extended) {
        p += 8;  // version, signature, help id
        d.exStyle = Take<DWORD>(p);
        d.style = Take<DWORD>(p);
    } else {
        d.style = Take<DWORD>(p);
        d.exStyle = Take<DWORD>(p);
    }
    count = Take<WORD>(p);
    d.x = Take<short>(p), d.y = Take<short>(p), d.cx = Take<short>(p), d.cy = Take<short>(p);
    w = reinterpret_cast<const WORD*>(p);
    d.menu = TemplateField(w);
    d.cls = TemplateField(w);
    d.title = TemplateField(w);
    if (d.style & DS_SETFONT) {
        d.points = *w++;
        if (d.extended)
            w += 2;  // weight, italic and character set
        d.font = TemplateField(w);
    }
    for (int i = 0; i < count; ++i) {
        p = reinterpret_cast<const BYTE*>((reinterpret_cast<UINT_PTR>(w) + 3) & ~UINT_PTR(3));
        DialogItem item;
        if (d.extended) {
            p += 4;  // help id
            item.exStyle = Take<DWORD>(p);
            item.style = Take<DWORD>(p);
        } else {
            item.style = Take<DWORD>(p);
            item.exStyle = Take<DWORD>(p);
        }
        item.x = Take<short>(p), item.y = Take<short>(p), item.cx = Take<short>(p), item.cy = Take<short>(p);
        item.id = d.extended ? int(Take<DWORD>(p)) : short(Take<WORD>(p));
        w = reinterpret_cast<const WORD*>(p);
        item.cls = TemplateField(w, true);
        item.text = TemplateField(w);
        WORD cbData = *w++;  // creation data: its size in bytes, then the bytes
        w = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(w) + cbData);
        d.items.push_back(item);
    }
    return d;
}

}  // namespace tst
