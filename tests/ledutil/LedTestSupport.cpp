#include "LedTestSupport.h"

#include <shellapi.h>

#include <string.h>

#include <algorithm>

#include "Folders.h"
#include "PeImage.h"
#include "ServiceControl.h"
#include "TestbedLog.h"
#include "Text.h"
#include "Waits.h"

namespace led {

namespace {
std::vector<std::string> ReadDeviceLines()
{
    std::vector<std::string> lines;
    for (const std::string& line : tst::TestbedEvents())
        if (line == "driver open" || line == "driver close" || line.rfind("driver ioctl", 0) == 0)
            lines.push_back(line);
    return lines;
}

std::function<void()>* g_pModalStep = nullptr;

BOOL CALLBACK FindShownDialog(HWND h, LPARAM l)
{
    char cls[16] = "";
    GetClassNameA(h, cls, sizeof(cls));
    if (IsWindowVisible(h) && lstrcmpA(cls, "#32770") == 0) {
        *reinterpret_cast<bool*>(l) = true;
        return FALSE;
    }
    return TRUE;
}

// A modal dialog is shown only when its loop first finds the queue empty, so
// a timer already due when the loop starts comes before the dialog is up (on
// a loaded machine the dialog's creation alone can outlast the timer): the
// step waits for a tick at which a dialog or a menu is on screen.
void CALLBACK ModalStep(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    HWND hMenu = FindWindowA("#32768", nullptr);
    bool bShown = hMenu && IsWindowVisible(hMenu);
    if (!bShown)
        EnumThreadWindows(GetCurrentThreadId(), FindShownDialog, LPARAM(&bShown));
    if (!bShown)
        return;
    KillTimer(nullptr, idEvent);
    std::function<void()>* pStep = g_pModalStep;
    g_pModalStep = nullptr;
    if (pStep) {
        (*pStep)();
        delete pStep;
    }
}
}  // namespace

bool Driver(const char* verb)
{
    // What tbdriver.exe does, without a process of its own for each call.
    const char kService[] = "VelraEIO";
    DWORD error = ERROR_INVALID_PARAMETER;
    if (!strcmp(verb, "install"))
        error = TbInstallService(kService, SERVICE_KERNEL_DRIVER, tst::BinFile("VelraEIO.sys").c_str());
    else if (!strcmp(verb, "start"))
        error = TbStartService(kService);
    else if (!strcmp(verb, "stop"))
        error = TbStopService(kService);
    if (error != ERROR_SUCCESS)
        TbReport(verb, error);
    return error == ERROR_SUCCESS;
}

void ClearDeviceLog() { tst::ClearTestbedEvents(); }

std::vector<std::string> DeviceLog()
{
    std::vector<std::string> lines;
    tst::WaitFor("as many driver closes as opens", [&] {
        lines = ReadDeviceLines();
        return std::count(lines.begin(), lines.end(), "driver close") >=
               std::count(lines.begin(), lines.end(), "driver open");
    }, 30000, false);
    return lines;
}

std::vector<std::string> DeviceCalls(std::initializer_list<const char*> levels)
{
    std::vector<std::string> lines;
    for (const char* level : levels) {
        lines.push_back("driver open");
        lines.push_back(std::string("driver ioctl 0022C400 4 ") + level);
        lines.push_back("driver close");
    }
    return lines;
}

bool TrayHasIcon(HWND hWnd)
{
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V2_SIZE;
    nid.hWnd = hWnd;
    nid.uID = 128;
    return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

namespace {
BOOL CALLBACK CollectIconWindow(HWND hWnd, LPARAM lParam)
{
    // The display driver's icon windows, and those of the desktop's own
    // tray that later Wine versions use.
    char cls[64] = "";
    GetClassNameA(hWnd, cls, sizeof(cls));
    if (!strcmp(cls, "__winex11_tray_icon") || !strcmp(cls, "__wine_tray_icon"))
        reinterpret_cast<std::set<HWND>*>(lParam)->insert(hWnd);
    return TRUE;
}
}  // namespace

std::set<HWND> TrayIconWindows()
{
    std::set<HWND> found;
    EnumChildWindows(GetDesktopWindow(), CollectIconWindow, LPARAM(&found));
    return found;
}

std::string SettingsKey() { return "Software\\KANDELO\\" + tst::Cp932("Velra ﾊﾟﾜｰ ｲﾝｼﾞｹｰﾀｰ輝度設定"); }

int StoredLevel()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, KEY_READ, &key) != 0)
        return -100;
    DWORD type = 0, value = 0, cb = sizeof(value);
    LONG err = RegQueryValueExA(key, "Value", nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb);
    RegCloseKey(key);
    return err == 0 && type == REG_DWORD && cb == sizeof(value) ? int(value) : -100;
}

bool PlaceCursor(int x, int y)
{
    // The position asked for is reported at once even when the move was
    // refused; the pointer's real place shows a moment later.
    return tst::WaitFor("the cursor to stay where it was put", [&] {
        POINT pt{};
        SetCursorPos(x, y);
        Sleep(150);
        return GetCursorPos(&pt) && pt.x == x && pt.y == y;
    }, 30000, false);
}

void RunInsideModalLoop(std::function<void()> fn)
{
    g_pModalStep = new std::function<void()>(std::move(fn));
    SetTimer(nullptr, 0, 100, ModalStep);
}

ExeCounter::ExeCounter(const std::string& exePath)
{
    m_hModule = LoadLibraryExA(exePath.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!m_hModule)
        return;
    if (const IMAGE_SECTION_HEADER* sec = tst::PeImage(m_hModule).Section("S_SEG"))
        m_pCount = reinterpret_cast<volatile LONG*>(reinterpret_cast<BYTE*>(m_hModule) + sec->VirtualAddress);
}

ExeCounter::~ExeCounter()
{
    if (m_hModule)
        FreeLibrary(m_hModule);
}

}  // namespace led
