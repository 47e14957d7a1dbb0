// Resource ids of the tray utility's in-process tests beyond the utility's own.
#pragma once

#define IDM_ICON_TRAY 900
