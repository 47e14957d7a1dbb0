/* The floors' extraction, shared by bench_floor and bench_guifloor so that
 * both measure exactly the same work: libmspack's cabinet decompressor with
 * its own default file I/O, every file of the cabinet into a folder (a
 * path ending in a backslash), nothing else. 0 when every file was
 * extracted. Include after <mspack.h> with _FILE_OFFSET_BITS 64. */
static int ExtractAll(const char *cabinet, const char *folder)
{
    struct mscab_decompressor *d = mspack_create_cab_decompressor(NULL);
    struct mscabd_cabinet *cab = d ? d->open(d, cabinet) : NULL;
    int rc = cab ? 0 : 1;
    for (struct mscabd_file *f = cab ? cab->files : NULL; f && !rc; f = f->next) {
        char path[MAX_PATH * 2];
        snprintf(path, sizeof path, "%s%s", folder, f->filename);
        rc = d->extract(d, f, path) != MSPACK_ERR_OK;
    }
    if (cab) d->close(d, cab);
    if (d) mspack_destroy_cab_decompressor(d);
    return rc;
}
