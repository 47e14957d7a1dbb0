/* The floor of the extraction bench: libmspack's cabinet decompressor with
 * its own default file I/O, from the same library build as the updater,
 * extracting every file of a cabinet into a folder and nothing else (no
 * window, no temporary files, no time stamps, no attributes).
 * usage: bench_floor CABINET TARGET_FOLDER\   (exit 0 when extracted)
 * Prints the microseconds spent extracting. */
#define _FILE_OFFSET_BITS 64 /* the library's structures are laid out with it */
#include <stdio.h>
#include <windows.h>

#include <mspack.h>

#include "FloorExtract.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: bench_floor CABINET TARGET_FOLDER\\\n");
        return 2;
    }
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    int rc = ExtractAll(argv[1], argv[2]);
    QueryPerformanceCounter(&t1);
    printf("%lld\n", (t1.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart);
    return rc;
}
