// The demo's hands on the simulated machine.
//
//   demo_runner shortcut <link.lnk> <target>
//       writes a shell shortcut (the Start Menu entries of the demo machine)
//   demo_runner findwindow <class>
//       exit code 0 when a top-level window of that class exists
//   demo_runner post <class> <x> <y> <message> <wParam> <lParam>
//       puts the cursor at x,y and posts a message to the window of that
//       class
//   demo_runner trayclick left|right <dx> <dy>
//       presses a mouse button over the newest icon of Wine's own tray
//       window ("Wine System Tray", shown on a display without a window
//       manager), dx,dy pixels into the icon, and prints the tray window's
//       rectangle; exit code 1 when there is no such window. The tray
//       window is first put where a taskbar keeps the notification area:
//       in the bottom right corner, above the other windows.
//   demo_runner run <unix-shot-dir> <command line...>
//       starts the program, saves a screenshot of the screen whenever one of
//       its message boxes is up (the progress window, when shown, is still
//       on screen then), answers each box with OK, and prints the boxes'
//       captions and texts (UTF-8) and the exit code
#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "MessageBoxes.h"
#include "Programs.h"
#include "UpdateTestSupport.h"

namespace {
std::string Utf8(const std::string& ansi)
{
    int nw = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring w(nw, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &w[0], nw);
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(n > 0 ? n - 1 : 0);
    return s;
}

struct ShotState {
    std::string dir;
    int count;
};

// The screenshot is taken by the host's ImageMagick; the host program's
// end cannot be waited on from here, so wait for its file instead.
void Screenshot(const std::string& unixPath)
{
    tst::Process import("/usr/bin/import -window root \"" + unixPath + "\"");
    if (!import.Started())
        return;
    std::string dosPath = "Z:" + unixPath;
    for (char& c : dosPath)
        if (c == '/')
            c = '\\';
    LONGLONG last = -1;
    for (int i = 0; i < 100; ++i) {
        Sleep(100);
        WIN32_FILE_ATTRIBUTE_DATA fad;
        if (!GetFileAttributesExA(dosPath.c_str(), GetFileExInfoStandard, &fad))
            continue;
        LONGLONG size = (LONGLONG(fad.nFileSizeHigh) << 32) | fad.nFileSizeLow;
        if (size > 0 && size == last)
            return;
        last = size;
    }
}

void OnBox(const tst::SeenBox& box, HWND, DWORD, void* ctx)
{
    ShotState* st = static_cast<ShotState*>(ctx);
    char name[64];
    snprintf(name, sizeof(name), "/box-%d.png", ++st->count);
    Sleep(300);  // let the box finish painting
    Screenshot(st->dir + name);
    printf("message box %d: [%s] %s -> %s%s\n", st->count, Utf8(box.caption).c_str(), Utf8(box.text).c_str(),
           st->dir.c_str(), name);
    fflush(stdout);
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "shortcut") {
        CoInitialize(nullptr);
        return upd::MakeShortcut(argv[2], argv[3]) ? 0 : 1;
    }
    if (argc == 3 && std::string(argv[1]) == "findwindow")
        return FindWindowA(argv[2], nullptr) ? 0 : 1;
    if (argc == 8 && std::string(argv[1]) == "post") {
        HWND hWnd = FindWindowA(argv[2], nullptr);
        if (!hWnd)
            return 1;
        SetCursorPos(atoi(argv[3]), atoi(argv[4]));
        return PostMessageA(hWnd, strtoul(argv[5], nullptr, 0), strtoul(argv[6], nullptr, 0),
                            strtol(argv[7], nullptr, 0))
                   ? 0
                   : 1;
    }
    if (argc == 5 && std::string(argv[1]) == "trayclick") {
        HWND hTray = FindWindowA("__winex11_standalone_tray", nullptr);
        HWND hIcon = nullptr;
        for (HWND h = FindWindowExA(hTray, nullptr, "__winex11_tray_icon", nullptr); hTray && h;
             h = FindWindowExA(hTray, h, "__winex11_tray_icon", nullptr))
            hIcon = h;
        if (!hIcon)
            return 1;
        RECT rcIcon, rcTray;
        GetWindowRect(hTray, &rcTray);
        SetWindowPos(hTray, HWND_TOPMOST, GetSystemMetrics(SM_CXSCREEN) - (rcTray.right - rcTray.left),
                     GetSystemMetrics(SM_CYSCREEN) - (rcTray.bottom - rcTray.top), 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        GetWindowRect(hTray, &rcTray);
        GetWindowRect(hIcon, &rcIcon);
        bool right = std::string(argv[2]) == "right";
        SetCursorPos(rcIcon.left + atoi(argv[3]), rcIcon.top + atoi(argv[4]));
        Sleep(GetDoubleClickTime() + 100);  // a single press, not the second of a double click
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_MOUSE;
        in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
        in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
        SendInput(2, in, sizeof(INPUT));
        printf("%ld %ld %ld %ld\n", rcTray.left, rcTray.top, rcTray.right, rcTray.bottom);
        return 0;
    }
    if (argc >= 4 && std::string(argv[1]) == "run") {
        ShotState st{argv[2], 0};
        std::string cmd;
        for (int i = 3; i < argc; ++i) {
            if (i > 3)
                cmd += ' ';
            cmd += std::string("\"") + argv[i] + "\"";
        }
        tst::RunResult r = tst::RunAndAnswer(cmd, 600000, OnBox, &st);
        printf("exit code: %lu%s\n", r.exitCode, r.finished ? "" : " (did not finish)");
        return r.finished ? 0 : 1;
    }
    fprintf(stderr, "usage: demo_runner shortcut <link> <target> | findwindow <class> | post <class> <x> <y> <msg> "
                    "<wParam> <lParam> | trayclick left|right <dx> <dy> | run <shotdir> <program> [args]\n");
    return 2;
}
