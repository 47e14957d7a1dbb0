// Our extraction, as the updater runs it: the progress window up and
// reached through g_pProgressDlg, then ExtractCabinet on one package.
// usage: bench_extract [--no-window] CABINET TARGET_FOLDER\   (exit 0 when extracted)
// Prints the microseconds spent inside ExtractCabinet and the final paint of
// the window, as the updater paints it when a package ends (its first paint
// is done before). --no-window leaves g_pProgressDlg null, to tell the
// window's share of the time from the rest.
#include <stdio.h>
#include <string.h>

#include "ExtractCabinet.h"
#include "UpdateProgressDlg.h"
#include "WinApp.h"
#include "res/resource.h"

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

    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    BOOL ok = ExtractCabinet(argv[1], argv[2]);
    // The updater paints the package's final state when it ends.
    if (window)
        dlg.PaintNow();
    QueryPerformanceCounter(&t1);

    if (window)
        dlg.DestroyWindow();
    g_pProgressDlg = nullptr;
    printf("%lld\n", (t1.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart);
    return ok ? 0 : 1;
}
