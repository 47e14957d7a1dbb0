// Resource ids of VelraLumoLEDUtility, shared by its resource script and
// its code.
#pragma once

#define IDR_FRAME 128  // menu, icon, accelerators and document string
#define IDD_ABOUT 100
#define IDD_BRIGHTNESS 130
#define IDC_LEVEL_SLIDER 1000
#define ID_SETTINGS 129

// The framework's command ids, spelled out for the resource compiler.
#ifndef ID_APP_ABOUT
#define ID_APP_ABOUT 0xE140
#endif
#ifndef ID_APP_EXIT
#define ID_APP_EXIT 0xE141
#endif
#define ID_EDIT_COPY 0xE122
#define ID_EDIT_CUT 0xE123
#define ID_EDIT_PASTE 0xE125
#define ID_EDIT_UNDO 0xE12B
#define ID_NEXT_PANE 0xE150
#define ID_PREV_PANE 0xE151

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
