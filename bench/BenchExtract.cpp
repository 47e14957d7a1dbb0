// Our extraction, as the updater runs it: the progress window up and
// reached through g_pProgressDlg, then ExtractCabinet on one package.
// usage: bench_extract [--no-window] CABINET TARGET_FOLDER\   (exit 0 when extracted)
// Prints the microseconds spent inside ExtractCabinet and the final paint of
// the window, as the updater paints it when a package ends (its first paint
// is done before), then those of them spent painting. --no-window leaves
// g_pProgressDlg null, to tell the window's share of the time from the rest.
#include <stdio.h>
#include <string.h>

#include "ExtractCabinet.h"
#include "UpdateProgressDlg.h"
#include "WinApp.h"
#include "res/resource.h"

namespace {
// Painting is what the window's controls do inside these messages: a static
// draws as its text is set, the bar as it moves, and anything left invalid
// in WM_PAINT. Nested ones are counted once.
bool Paints(UINT message)
{
    return message == WM_PAINT || message == WM_NCPAINT || message == WM_ERASEBKGND || message == WM_SETTEXT ||
           message == PBM_SETPOS || message == PBM_STEPIT || message == PBM_SETRANGE;
}
LONGLONG g_paintTicks, g_paintSince;
int g_paintDepth;
LRESULT CALLBACK PaintBegins(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && Paints(reinterpret_cast<const CWPSTRUCT*>(lParam)->message) && g_paintDepth++ == 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        g_paintSince = now.QuadPart;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
LRESULT CALLBACK PaintEnds(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && Paints(reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message) && --g_paintDepth == 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        g_paintTicks += now.QuadPart - g_paintSince;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

int main(int argc, char** argv)
{
    bool window = !(argc > 1 && strcmp(argv[1], "--no-window") == 0);
    if (!window) {
        --argc;
        ++argv;
    }
    if (argc != 3) {
        fprintf(stderr, "usage: bench_extract [--no-window] CABINET TARGET_FOLDER\\\n");
        return 2;
    }
    char empty[] = "";
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, empty, SW_SHOWNORMAL);

    CUpdateProgressDlg dlg(0);
    if (window) {
        g_pProgressDlg = &dlg;
        if (!dlg.Create(nullptr))
            return 3;
        CString status;
        status.LoadString(IDS_PREPARING);
        dlg.ShowStatusText(status);
        // The updater paints its window once for all its packages: the
        // first paint is not part of any one extraction.
        dlg.UpdateWindow();
    }

    SetWindowsHookExA(WH_CALLWNDPROC, PaintBegins, nullptr, GetCurrentThreadId());
    SetWindowsHookExA(WH_CALLWNDPROCRET, PaintEnds, nullptr, GetCurrentThreadId());
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    BOOL ok = ExtractCabinet(argv[1], argv[2]);
    // The updater paints the package's final state when it ends.
    if (window)
        dlg.PaintNow();
    QueryPerformanceCounter(&t1);
    LONGLONG paintTicks = g_paintTicks;

    if (window)
        dlg.DestroyWindow();
    g_pProgressDlg = nullptr;
    printf("%lld %lld\n", (t1.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart,
           paintTicks * 1000000 / freq.QuadPart);
    return ok ? 0 : 1;
}
