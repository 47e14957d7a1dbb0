/* The GUI floor of the whole-run bench: a bare Windows GUI program built
 * from the same libmspack as the updater. It extracts every file of a
 * cabinet with the library's own file I/O (as bench_floor does) and then
 * shows one message box, the updater's completion box (same strings, same
 * type), which bench_watch answers as it answers the updater's. No window
 * during the extraction, no time stamps, no attributes, no target table.
 * usage: bench_guifloor CABINET TARGET_FOLDER\   (exit 0 when extracted) */
#define _FILE_OFFSET_BITS 64 /* the library's structures are laid out with it */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <mspack.h>

#include "FloorExtract.h"

#include "res/resource.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrev, LPSTR lpCmdLine, int nCmdShow)
{
    (void)hPrev, (void)lpCmdLine, (void)nCmdShow;
    if (__argc != 3)
        return 2;
    int rc = ExtractAll(__argv[1], __argv[2]);
    char text[256] = "", caption[256] = "";
    LoadStringA(hInstance, rc ? IDS_EXTRACT_FAILED : IDS_UPDATE_DONE, text, sizeof text);
    LoadStringA(hInstance, 0xE000 /* the framework's application title */, caption, sizeof caption);
    /* The type the updater's framework gives a box that asks for no icon. */
    MessageBoxA(NULL, text, caption, MB_OK | MB_ICONEXCLAMATION);
    return rc;
}
