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

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: bench_floor CABINET TARGET_FOLDER\\\n");
        return 2;
    }
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    struct mscab_decompressor *d = mspack_create_cab_decompressor(NULL);
    struct mscabd_cabinet *cab = d ? d->open(d, argv[1]) : NULL;
    int rc = cab ? 0 : 1;
    for (struct mscabd_file *f = cab ? cab->files : NULL; f && !rc; f = f->next) {
        char path[MAX_PATH * 2];
        snprintf(path, sizeof path, "%s%s", argv[2], f->filename);
        rc = d->extract(d, f, path) != MSPACK_ERR_OK;
    }
    if (cab) d->close(d, cab);
    if (d) mspack_destroy_cab_decompressor(d);
    QueryPerformanceCounter(&t1);
    printf("%lld\n", (t1.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart);
    return rc;
}
