// tbwindow.exe <windowclass> [<title>|-] [--ring-on-close] [--hidden] [--hang]
//
// Plays any top-level window of a program outside our system (media hub
// "VelraHomedeck", companion "PADWIN", viewer "VelraLumoView", the old LED
// utility "VelraLEDUtility", the ring window "VelraLumoRingWnd") so the
// updater's closers and the tests have something real to find and close.
// The window is titled as given (default: the class name, "-" = empty).
// Logged events, source = the class name:
//   ready     once the window exists (tests wait for this line)
//   SC_CLOSE  WM_SYSCOMMAND/SC_CLOSE received; the window is then destroyed
//             directly, so no WM_CLOSE line follows it
//   WM_CLOSE  WM_CLOSE received; the window is then destroyed
// The process exits 0 once its window is gone. --ring-on-close makes an
// SC_CLOSE first start "tbwindow.exe VelraLumoRingWnd" and wait (up to ~3 s)
// until that window exists before the message returns. --hidden leaves the
// window invisible. --hang plays a hung program: once its window is ready
// its thread never takes a message again (the system calls it hung five
// seconds later); it runs until it is ended from outside.
#include "EventLog.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

const char kRingClass[] = "VelraLumoRingWnd";

std::string g_class;
bool g_ringOnClose = false;

void StartRingWindow()
{
    if (FindWindowA(kRingClass, nullptr))
        return;
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string cmd = "\"" + std::string(exe) + "\" " + kRingClass;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int waited = 0; waited < 3000 && !FindWindowA(kRingClass, nullptr); waited += 20)
        Sleep(20);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_SYSCOMMAND:
        // The low four bits of wParam are used by the system; only the
        // remaining bits name the command.
        if ((wp & 0xFFF0) == SC_CLOSE) {
            TbLogEvent(g_class.c_str(), "SC_CLOSE");
            if (g_ringOnClose)
                StartRingWindow();
            DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_CLOSE:
        TbLogEvent(g_class.c_str(), "WM_CLOSE");
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* title = nullptr;
    bool hidden = false;
    bool hang = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--ring-on-close"))
            g_ringOnClose = true;
        else if (!std::strcmp(argv[i], "--hidden"))
            hidden = true;
        else if (!std::strcmp(argv[i], "--hang"))
            hang = true;
        else if (g_class.empty())
            g_class = argv[i];
        else if (!title)
            title = argv[i];
    }
    // No usage box: an unattended test must never be left facing a dialog.
    if (g_class.empty())
        return 2;
    if (!title)
        title = g_class.c_str();
    else if (!std::strcmp(title, "-"))
        title = "";

    HINSTANCE inst = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = g_class.c_str();
    if (!RegisterClassA(&wc))
        return 1;
    HWND hwnd =
        CreateWindowExA(0, g_class.c_str(), title, WS_OVERLAPPEDWINDOW | (hidden ? 0 : WS_VISIBLE),
                        CW_USEDEFAULT, CW_USEDEFAULT, 240, 120, nullptr, nullptr, inst, nullptr);
    if (!hwnd)
        return 1;
    TbLogEvent(g_class.c_str(), "ready");
    if (hang)
        for (;;)
            Sleep(INFINITE);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
