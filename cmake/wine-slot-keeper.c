/* Keeps a test slot's desktop process alive (cmake/wine-slots).
 *
 * Wine starts its desktop process (explorer.exe /desktop, which also hosts
 * the notification area) for the first program that uses a window, and ends
 * it about a second after the last one has gone. Started by a test, it
 * inherits the test's output pipe, and ctest then waits for it; ended and
 * started again for every test, it costs more than most tests take. This
 * program holds one message-only window (invisible to window enumeration) for
 * as long as the slot is up, and says "ready" on its output once it has it:
 * by then the desktop process runs. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrev, LPSTR cmdLine, int show)
{
    (void)hPrev;
    (void)cmdLine;
    (void)show;
    WNDCLASSA wc = {0};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = hInstance;
    wc.lpszClassName = "VelraSlotKeeper";
    if (!RegisterClassA(&wc) ||
        !CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, hInstance, NULL))
        return 1;
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &written, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
