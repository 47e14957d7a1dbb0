/* mkdata: writes a file of program-like bytes for the extraction bench.
 * usage: mkdata SEED SIZE OUT
 * Same seed, same bytes. The content is built from 4 KiB pieces in the
 * proportions of a typical program file (code with call opcodes and
 * repeated instruction patterns, tables of small integers, text, zero
 * padding, some packed data), so that MSZIP and LZX find about as much to
 * compress as in a real package, rather than nothing (noise) or everything
 * (zeros). */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static uint64_t state;
static uint32_t next(void)
{
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (uint32_t)(state >> 33);
}

static const char *const words[] = {"Update", "Velra", "window", "file", "error", "Program Files", "driver",
                                    "LoadLibraryA", "GetProcAddress", "version", "%s\\%s", "settings", "ini"};

static void piece(unsigned char *p, size_t n)
{
    static unsigned char ops[32][6];
    static int ready;
    size_t i = 0;
    unsigned kind = next() % 100;
    if (!ready) {
        for (int k = 0; k < 32; ++k)
            for (int j = 0; j < 6; ++j) ops[k][j] = (unsigned char)next();
        ready = 1;
    }
    if (kind < 45) { /* code: a small instruction vocabulary, calls with near targets */
        while (i < n) {
            unsigned r = next();
            if ((r & 7) == 0 && i + 5 <= n) {
                int32_t rel = (int32_t)(next() % 65536) - 32768;
                p[i++] = 0xE8;
                memcpy(p + i, &rel, 4);
                i += 4;
            } else {
                const unsigned char *op = ops[(r >> 3) % 32];
                size_t len = 2 + (r >> 8) % 5;
                for (size_t j = 0; j < len && i < n; ++j) p[i++] = op[j];
                if ((r >> 12) % 3 == 0 && i < n) p[i++] = (unsigned char)next();
            }
        }
    } else if (kind < 60) { /* tables of small little-endian integers */
        uint32_t v = next() % 4096;
        for (; i + 4 <= n; i += 4) {
            v += next() % 64;
            memcpy(p + i, &v, 4);
        }
    } else if (kind < 72) { /* text and resources */
        while (i < n) {
            const char *w = words[next() % (sizeof words / sizeof *words)];
            for (size_t j = 0; w[j] && i < n; ++j) p[i++] = (unsigned char)w[j];
            if (i < n) p[i++] = (next() & 3) ? ' ' : 0;
        }
    } else if (kind < 85) { /* padding */
        memset(p, 0, n);
        return;
    } else { /* packed data */
        for (; i < n; ++i) p[i] = (unsigned char)next();
    }
    for (; i < n; ++i) p[i] = 0;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: mkdata SEED SIZE OUT\n");
        return 2;
    }
    state = strtoull(argv[1], NULL, 0) * 0x9E3779B97F4A7C15ULL + 1;
    long long size = strtoll(argv[2], NULL, 0);
    FILE *f = fopen(argv[3], "wb");
    if (!f) {
        perror(argv[3]);
        return 1;
    }
    unsigned char buf[4096];
    for (long long done = 0; done < size; done += sizeof buf) {
        size_t n = size - done < (long long)sizeof buf ? (size_t)(size - done) : sizeof buf;
        piece(buf, n);
        if (fwrite(buf, 1, n, f) != n) {
            perror(argv[3]);
            return 1;
        }
    }
    return fclose(f) ? 1 : 0;
}
