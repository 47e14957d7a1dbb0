// Resource and command identifiers of the icon-menu test program's menus.
#pragma once

#define IDM_NESTED 100     // pop-ups in pop-ups, separators, shortcuts, ends at several levels
#define IDM_DEEP_END 101   // the last item of three levels ends on the same item
#define IDM_TRAY 102       // the utility's own tray menu
#define IDM_MNEMONIC 103   // texts for the mnemonic search
#define IDM_TRUNCATED 104  // a template whose last item runs past the resource's end
#define IDM_ALIGN 105      // one label with a shortcut, one long label without

#define ID_OPEN 201
#define ID_SAVE 202
#define ID_EXIT 203
#define ID_HEADING 204
#define ID_RECENT_A 211
#define ID_RECENT_B 221
#define ID_TOOLBAR 301
#define ID_STATUSBAR 302
#define ID_HELP 400
