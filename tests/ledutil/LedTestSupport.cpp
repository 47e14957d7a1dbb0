#include "LedTestSupport.h"

#include <shellapi.h>

#include <algorithm>
#include <sstream>

#include "TestSupport.h"

namespace led {

namespace {
const char kDeviceLog[] = "C:\\testbed\\events.log";

std::vector<std::string> ReadDeviceLines()
{
    std::vector<std::string> lines;
    std::istringstream text(tst::ReadBytes(kDeviceLog));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "driver open" || line == "driver close" || line.rfind("driver ioctl", 0) == 0)
            lines.push_back(line);
    }
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
    Process ctl("\"" + tst::BinFile("tbdriver.exe") + "\" " + verb);
    return ctl.Wait(30000) == 0;
}

void ClearDeviceLog() { DeleteFileA(kDeviceLog); }

std::vector<std::string> DeviceLog()
{
    std::vector<std::string> lines;
    for (DWORD waited = 0;; waited += 20) {
        lines = ReadDeviceLines();
        auto opens = std::count(lines.begin(), lines.end(), "driver open");
        auto closes = std::count(lines.begin(), lines.end(), "driver close");
        if (closes >= opens || waited > 3000)
            return lines;
        Sleep(20);
    }
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

std::vector<HWND> TrayIconWindows()
{
    std::vector<HWND> icons;
    HWND hTray = FindWindowA("__winex11_standalone_tray", nullptr);
    for (HWND h = FindWindowExA(hTray, nullptr, "__winex11_tray_icon", nullptr); hTray && h;
         h = FindWindowExA(hTray, h, "__winex11_tray_icon", nullptr))
        icons.push_back(h);
    return icons;
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

bool Pump(DWORD ms)
{
    bool quit = false;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            quit = quit || msg.message == WM_QUIT;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return quit;
}

bool PlaceCursor(int x, int y)
{
    // The position asked for is reported at once even when the move was
    // refused; the pointer's real place shows a moment later.
    for (int i = 0; i < 50; ++i) {
        POINT pt{};
        SetCursorPos(x, y);
        Sleep(150);
        if (GetCursorPos(&pt) && pt.x == x && pt.y == y)
            return true;
    }
    return false;
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
    BYTE* base = reinterpret_cast<BYTE*>(m_hModule);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    IMAGE_SECTION_HEADER* sec = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i)
        if (memcmp(sec[i].Name, "S_SEG\0\0", 8) == 0)
            m_pCount = reinterpret_cast<volatile LONG*>(base + sec[i].VirtualAddress);
}

ExeCounter::~ExeCounter()
{
    if (m_hModule)
        FreeLibrary(m_hModule);
}

Process::Process(const std::string& commandLine)
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        m_pi = PROCESS_INFORMATION{};
}

Process::~Process()
{
    if (!m_pi.hProcess)
        return;
    if (WaitForSingleObject(m_pi.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(m_pi.hProcess, 255);
        WaitForSingleObject(m_pi.hProcess, 5000);
    }
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

long Process::Wait(DWORD timeoutMs)
{
    DWORD code = 0;
    if (!m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(m_pi.hProcess, &code))
        return -1;
    return long(code);
}

HWND Process::FindWindowOfClass(const char* cls, DWORD timeoutMs) const
{
    for (DWORD waited = 0;; waited += 50) {
        for (HWND h = FindWindowExA(nullptr, nullptr, cls, nullptr); h; h = FindWindowExA(nullptr, h, cls, nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == m_pi.dwProcessId)
                return h;
        }
        if (waited >= timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

}  // namespace led
