// Helpers shared by the tray utility's tests: the stand-in indicator driver
// and what reached it, the shell's tray, the settings key, the instance
// counter of an executable file, and running code inside a modal loop.
#pragma once
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace led {

// The stand-in driver installed, started or stopped as tbdriver.exe does it
// (install|start|stop); true on success.
bool Driver(const char* verb);
void ClearDeviceLog();
// The driver's open/ioctl/close lines. Closes reach the driver after the
// caller's CloseHandle has returned, so this waits (up to a few seconds)
// for as many closes as opens.
std::vector<std::string> DeviceLog();
// The lines of one SetIndicatorLevel call per level ("02000000" etc.).
std::vector<std::string> DeviceCalls(std::initializer_list<const char*> levels);

// The shell holds an icon for this window (NIM_MODIFY succeeds only then).
// Wine drops a window's icons when the window is destroyed, so this does
// not tell whether a destroyed window removed its icon itself.
bool TrayHasIcon(HWND hWnd);
// Every icon window of Wine's own notification area (shown on a display
// without a tray of its own), shown or not.
std::set<HWND> TrayIconWindows();

// HKEY_CURRENT_USER path of the utility's settings.
std::string SettingsKey();
// The "Value" DWORD there; -100 when absent or of another type.
int StoredLevel();

// Puts the cursor at x, y and waits until the system reports it there. A
// move can be refused while the display's pointer is held elsewhere (after
// a click on the shell's tray icon), so it is tried again.
bool PlaceCursor(int x, int y);

// Runs fn once from within whatever modal loop this thread enters next
// (a dialog, a menu), through a thread timer.
void RunInsideModalLoop(std::function<void()> fn);

// The instance counter in the shared section of an executable file, seen
// through a mapping of the file: while it is mapped, the section stays the
// one running copies of that file share.
class ExeCounter {
public:
    explicit ExeCounter(const std::string& exePath);
    ~ExeCounter();
    volatile LONG* Get() const { return m_pCount; }

private:
    HMODULE m_hModule = nullptr;
    volatile LONG* m_pCount = nullptr;
};

}  // namespace led
