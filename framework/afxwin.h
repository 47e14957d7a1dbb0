// The framework in one include.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "CString.h"
#include "CmdTarget.h"
#include "Collections.h"
#include "FileFind.h"
#include "FrameWnd.h"
#include "Menu.h"
#include "Object.h"
#include "WinApp.h"
#include "WinThread.h"
#include "Wnd.h"
#include "DC.h"
#include "Dialog.h"
