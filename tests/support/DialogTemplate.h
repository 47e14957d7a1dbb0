// A dialog template as text.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace tst {

// A dialog template (DLGTEMPLATE or DLGTEMPLATEEX) as text: names as UTF-8,
// "#n" for ordinals, the predefined control classes by lower-case name.
struct DialogItem {
    DWORD style, exStyle;
    short x, y, cx, cy;
    int id;
    std::string cls, text;
};
struct Dialog {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, cls, title;
    int points = 0;  // with its font only
    std::string font;
    std::vector<DialogItem> items;
};
Dialog ParseDialog(const void* resource);

}  // namespace tst
