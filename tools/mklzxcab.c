/* mklzxcab: writes a cabinet of LZX-compressed folders, for the cabinet
 * reader's tests, the fuzzer's seeds and the extraction bench.
 *
 * usage: mklzxcab [-w BITS] [-x] [-e SIZE] [-b KINDS] [-s BYTES] [-n FILES]
 *                 OUT.cab BASEDIR FILE...         (FILEs relative to BASEDIR)
 *   -w BITS   a window of 2^BITS bytes, 15..21 (default 21)
 *   -x        no E8 (x86 call) translation; by default it is on, with the
 *             file size cabinet tools commonly write, 12000000
 *   -e SIZE   E8 translation with this file size (0: the header announces
 *             translation but nothing is translated)
 *   -b KINDS  the blocks' types, taken in turn: v verbatim, a aligned
 *             offset, u uncompressed, * the smallest of the three
 *             (default *)
 *   -s BYTES  uncompressed bytes per block, 1..16777215 (default 32768;
 *             other sizes put block boundaries inside frames, and longer
 *             blocks span several frames)
 *   -n FILES  files per folder (default: all in one folder)
 * Every file is stored dated 2025-01-01 12:00:00 with the archive attribute
 * (the bench relies on the fixed date), names with '/' turned into '\'.
 * One line on stderr counts what was written: blocks of each type, literals,
 * matches with a new offset and with each repeated offset.
 *
 * The stream is LZX as the format's documentation describes it, laid out
 * as libmspack's lzxd.c reads it: 16-bit little-endian words, each read from
 * its most significant bit; at a folder's start one bit (and, when set, the
 * 32-bit E8 file size); then blocks (3 bits of type, 24 bits of length).
 * The output comes in frames of 32 KiB: each frame is one CFDATA, its bits
 * padded to a whole word at its end, and no match crosses a frame or a block
 * boundary. Huffman code lengths are sent as changes from the previous
 * block's, through a pretree; they start at zero in each folder. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum {
    FRAME = 32768,
    MAIN_MAX = 256 + 50 * 8, /* literals, then 8 length headers per position slot */
    LENGTH_SYMS = 249,
    MIN_MATCH = 2,
    MAX_MATCH = 257,
    CAB_DATA_MAX = 32768 + 6144, /* the most a CFDATA may hold (libmspack's limit) */
    HASH_BITS = 16,
    CHAIN_DEPTH = 16,  /* candidates looked at per position (more gains little here) */
    NICE_LENGTH = 64,  /* a match this long is taken without looking further */
    DOS_DATE = (2025 - 1980) << 9 | 1 << 5 | 1,
    DOS_TIME = 12 << 11,
};
enum { VERBATIM = 1, ALIGNED = 2, UNCOMPRESSED = 3 };

static void fail(const char *what, const char *detail)
{
    fprintf(stderr, "mklzxcab: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
    exit(1);
}

static void *grow(void *p, size_t n)
{
    p = realloc(p, n ? n : 1);
    if (!p) fail("out of memory", NULL);
    return p;
}

/* ---- position slots: a match offset is sent as a slot and its footer ---- */
static uint32_t slot_base[51];
static int slot_bits[51];

static void init_slots(void)
{
    for (int s = 0; s <= 50; ++s) {
        slot_bits[s] = s < 4 ? 0 : s < 36 ? s / 2 - 1 : 17;
        slot_base[s] = s ? slot_base[s - 1] + (1u << slot_bits[s - 1]) : 0;
    }
}

/* The slot of a formatted offset (offset + 2, at least 3). */
static int slot_of(uint32_t f)
{
    if (f < 4) return (int)f;
    if (f >= slot_base[36]) return 36 + (int)((f - slot_base[36]) >> 17);
    int k = 31 - __builtin_clz(f); /* two slots per power of two */
    return 2 * k + (int)((f >> (k - 1)) & 1);
}

/* ---- output ---- */
typedef struct {
    unsigned char *p;
    size_t len, cap;
} Bytes;

static void put_byte(Bytes *b, unsigned c)
{
    if (b->len == b->cap) b->p = grow(b->p, b->cap = b->cap ? 2 * b->cap : 65536);
    b->p[b->len++] = (unsigned char)c;
}

static void put_le(Bytes *b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) put_byte(b, (v >> 8 * i) & 0xFF);
}

typedef struct {
    Bytes *out;    /* NULL: only count */
    uint64_t acc;  /* bits not yet making a whole word */
    int nacc;
    uint64_t bits; /* bits put so far */
} Bits;

static void put_bits(Bits *w, uint32_t v, int n)
{
    w->bits += (unsigned)n;
    if (!w->out || !n) return;
    w->acc = w->acc << n | (v & ((1u << n) - 1));
    for (w->nacc += n; w->nacc >= 16;) {
        w->nacc -= 16;
        unsigned word = (unsigned)(w->acc >> w->nacc) & 0xFFFF;
        put_byte(w->out, word & 0xFF);
        put_byte(w->out, word >> 8);
    }
    w->acc &= (1u << w->nacc) - 1;
}

/* ---- Huffman codes ---- */
typedef struct {
    uint8_t len[MAIN_MAX];
    uint16_t code[MAIN_MAX];
} Tree;

typedef struct {
    uint32_t weight;
    int sym;
} Leaf;

static int lighter(const void *a, const void *b)
{
    const Leaf *x = a, *y = b;
    if (x->weight != y->weight) return x->weight < y->weight ? -1 : 1;
    return x->sym - y->sym;
}

/* Code lengths for n symbols of the given counts, none longer than limit;
 * symbols that never occur get none. The decoder takes only complete codes:
 * a lone symbol is paired with another one of the same length. */
static void code_lengths(const uint32_t *count, int n, int limit, uint8_t *len)
{
    Leaf leaf[MAIN_MAX];
    uint32_t weight[2 * MAIN_MAX], w[MAIN_MAX];
    int parent[2 * MAIN_MAX], depth[2 * MAIN_MAX];
    memcpy(w, count, n * sizeof *w);
    for (;;) {
        int m = 0;
        memset(len, 0, n);
        for (int i = 0; i < n; ++i)
            if (w[i]) leaf[m++] = (Leaf){w[i], i};
        if (m == 0) return;
        if (m == 1) {
            len[leaf[0].sym] = len[leaf[0].sym ? 0 : 1] = 1;
            return;
        }
        qsort(leaf, m, sizeof *leaf, lighter);
        for (int i = 0; i < m; ++i) weight[i] = leaf[i].weight;
        /* Leaves in order of weight, inner nodes made in order of weight:
         * the two lightest are always at the heads of the two queues. */
        int nextLeaf = 0, nextInner = m;
        for (int node = m; node < 2 * m - 1; ++node) {
            int pick[2];
            for (int k = 0; k < 2; ++k)
                pick[k] = nextLeaf < m && (nextInner == node || weight[nextLeaf] <= weight[nextInner]) ? nextLeaf++
                                                                                                      : nextInner++;
            weight[node] = weight[pick[0]] + weight[pick[1]];
            parent[pick[0]] = parent[pick[1]] = node;
        }
        int deepest = 0;
        depth[2 * m - 2] = 0;
        for (int i = 2 * m - 3; i >= 0; --i) depth[i] = depth[parent[i]] + 1;
        for (int i = 0; i < m; ++i)
            if (depth[i] > deepest) deepest = depth[i];
        if (deepest <= limit) {
            for (int i = 0; i < m; ++i) len[leaf[i].sym] = (uint8_t)depth[i];
            return;
        }
        for (int i = 0; i < n; ++i) /* too deep: flatten the counts and build again */
            if (w[i]) w[i] = w[i] >> 1 | 1;
    }
}

/* Canonical codes: shorter codes first, equal lengths in symbol order. */
static void code_words(Tree *t, int n)
{
    int count[17] = {0};
    uint32_t next[17], c = 0;
    for (int i = 0; i < n; ++i) count[t->len[i]]++;
    count[0] = 0;
    for (int b = 1; b <= 16; ++b) next[b] = c = (c + (uint32_t)count[b - 1]) << 1;
    for (int i = 0; i < n; ++i)
        if (t->len[i]) t->code[i] = (uint16_t)next[t->len[i]]++;
}

static void make_tree(Tree *t, const uint32_t *count, int n, int limit)
{
    code_lengths(count, n, limit, t->len);
    code_words(t, n);
}

static void put_sym(Bits *w, const Tree *t, int sym)
{
    if (!t->len[sym]) fail("internal error", "a symbol without a code");
    put_bits(w, t->code[sym], t->len[sym]);
}

/* Sends the code lengths cur[first..last) as changes from prev: a pretree of
 * 20 four-bit lengths, then per length its change (prev - cur, modulo 17),
 * with 17 and 18 for runs of zeros and 19 for a run of one value. */
static void put_lengths(Bits *w, const uint8_t *prev, const uint8_t *cur, int first, int last)
{
    struct {
        uint8_t sym, nbits, extra, change;
    } tok[MAIN_MAX];
    uint32_t count[20] = {0};
    int nt = 0;
    for (int i = first; i < last; ++nt) {
        int v = cur[i], run = 1, change = (prev[i] - v + 17) % 17;
        while (i + run < last && cur[i + run] == v) ++run;
        if (v == 0 && run >= 20) {
            run = run > 51 ? 51 : run;
            tok[nt].sym = 18, tok[nt].nbits = 5, tok[nt].extra = (uint8_t)(run - 20);
        } else if (v == 0 && run >= 4) {
            run = run > 19 ? 19 : run;
            tok[nt].sym = 17, tok[nt].nbits = 4, tok[nt].extra = (uint8_t)(run - 4);
        } else if (run >= 4) { /* the change is taken from the run's first length */
            run = run > 5 ? 5 : run;
            tok[nt].sym = 19, tok[nt].nbits = 1, tok[nt].extra = (uint8_t)(run - 4);
            tok[nt].change = (uint8_t)change;
            count[change]++;
        } else {
            run = 1;
            tok[nt].sym = (uint8_t)change, tok[nt].nbits = 0;
        }
        count[tok[nt].sym]++;
        i += run;
    }
    Tree pre;
    make_tree(&pre, count, 20, 15);
    for (int s = 0; s < 20; ++s) put_bits(w, pre.len[s], 4);
    for (int k = 0; k < nt; ++k) {
        put_sym(w, &pre, tok[k].sym);
        put_bits(w, tok[k].extra, tok[k].nbits);
        if (tok[k].sym == 19) put_sym(w, &pre, tok[k].change);
    }
}

/* ---- the encoder ---- */
typedef struct { /* one literal or match of a block, as it will be sent */
    uint16_t main;  /* main tree symbol */
    int16_t length; /* length tree symbol, -1 for none */
    uint32_t footer;
    uint16_t size; /* bytes it stands for */
} Elem;

typedef struct {
    unsigned len;
    int rep; /* 0..2: the repeated offset used; -1: a new offset */
    uint32_t off;
    int gain;
} Match;

typedef struct {
    size_t zend;    /* where its compressed bytes end in z */
    unsigned usize; /* uncompressed bytes */
} Frame;

typedef struct {
    /* settings */
    uint32_t window;
    int mainSyms, e8;
    int32_t e8size;
    const char *kinds;
    size_t blockSize;
    /* the folder being written */
    unsigned char *d;
    size_t n, inserted, pos, frameStart;
    uint32_t *head, *prev; /* hash chains: position + 1, 0 for none */
    uint32_t R[3];
    uint8_t mainPrev[MAIN_MAX], lengthPrev[LENGTH_SYMS];
    Elem *el;
    Bits bits;
    Bytes z;
    Frame *frames;
    size_t nframes, blockIndex;
    int padPending; /* an odd uncompressed block owes a byte before the next header */
    /* counts over the whole run */
    unsigned long blocks[4], literals, newOffsets, reps[3];
} Enc;

static size_t frame_end(size_t p) { return (p / FRAME + 1) * FRAME; }

/* E8 translation, as lzxd.c undoes it: in each of the first 32768 frames, an
 * E8 byte before the frame's last 10 is followed by a 32-bit displacement
 * from the E8's position; those within the file size become absolute.
 * lzxd.c undoes it only once a block has had a code for the literal E8 (or
 * was uncompressed); the folder's first E8 can only be sent as a literal,
 * so that always comes before the first frame that needs it. */
static void translate_calls(unsigned char *d, size_t n, int32_t size)
{
    for (size_t f = 0; f < n && f / FRAME < 32768; f += FRAME) {
        size_t end = n - f < FRAME ? n - f : FRAME;
        for (size_t i = 0; end > 10 && i < end - 10;) {
            unsigned char *p = d + f + i;
            if (*p != 0xE8) {
                ++i;
                continue;
            }
            int64_t cur = (int64_t)(f + i);
            int64_t rel = (int32_t)((uint32_t)p[1] | (uint32_t)p[2] << 8 | (uint32_t)p[3] << 16 | (uint32_t)p[4] << 24);
            int64_t abs = rel;
            if (rel >= -cur && rel < size - cur) abs = rel + cur;
            else if (rel >= size - cur && rel < size) abs = rel - size; /* the decoder adds the size back */
            for (int k = 0; k < 4; ++k) p[1 + k] = (unsigned char)((uint64_t)abs >> 8 * k);
            i += 5;
        }
    }
}

static uint32_t hash3(const unsigned char *p)
{
    return ((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16) * 2654435761u >> (32 - HASH_BITS);
}

static void insert_until(Enc *e, size_t q)
{
    for (; e->inserted < q; ++e->inserted) {
        size_t p = e->inserted;
        if (p + 3 > e->n) continue;
        uint32_t h = hash3(e->d + p);
        e->prev[p & (e->window - 1)] = e->head[h];
        e->head[h] = (uint32_t)p + 1;
    }
}

static unsigned same_bytes(const unsigned char *a, const unsigned char *b, unsigned max)
{
    unsigned k = 0;
    for (uint64_t x, y; k + 8 <= max; k += 8) {
        memcpy(&x, a + k, 8);
        memcpy(&y, b + k, 8);
        if (x != y) break;
    }
    while (k < max && a[k] == b[k]) ++k;
    return k;
}

/* Roughly the bits a match saves over sending its bytes as literals. */
static int gain_of(unsigned len, int rep, uint32_t off)
{
    return (int)len * 6 - (rep >= 0 ? 8 : 9 + slot_bits[slot_of(off + 2)]);
}

/* The best match at p of at most max bytes, from the repeated offsets or
 * the hash chain; gain 0 when a literal is better. */
static Match find_match(Enc *e, size_t p, unsigned max)
{
    Match best = {0, -1, 0, 0};
    const unsigned char *cur = e->d + p;
    if (max < MIN_MATCH) return best;
    for (int r = 0; r < 3; ++r) {
        if (e->R[r] > p) continue; /* before the folder's start */
        unsigned len = same_bytes(cur, cur - e->R[r], max);
        int gain = len >= MIN_MATCH ? gain_of(len, r, e->R[r]) : 0;
        if (gain > best.gain) best = (Match){len, r, e->R[r], gain};
    }
    if (max >= 3 && best.len < max && best.len < NICE_LENGTH) {
        unsigned longest = 2;
        insert_until(e, p);
        uint32_t c = e->head[hash3(cur)];
        for (int depth = CHAIN_DEPTH; c && depth; --depth) {
            size_t cand = c - 1;
            uint32_t off = (uint32_t)(p - cand);
            if (off > e->window - 3) break; /* the farthest an offset reaches */
            if (e->d[cand + longest] == cur[longest]) {
                unsigned len = same_bytes(cur, e->d + cand, max);
                if (len > longest) {
                    int gain = gain_of(len, -1, off);
                    longest = len;
                    if (gain > best.gain) best = (Match){len, -1, off, gain};
                    if (len >= NICE_LENGTH || len == max) break;
                }
            }
            c = e->prev[cand & (e->window - 1)];
        }
    }
    for (int r = 0; best.rep < 0 && r < 3; ++r)
        if (best.off == e->R[r]) best.rep = r;
    return best;
}

/* Chooses the literals and matches of the block [b0, b1), one step lazy:
 * a match is put off by a byte when the next position has a better one. */
static size_t parse(Enc *e, size_t b0, size_t b1)
{
    size_t ne = 0;
    Match ahead = {0, -1, 0, 0};
    int haveAhead = 0;
    for (size_t p = b0; p < b1;) {
        size_t limit = frame_end(p) < b1 ? frame_end(p) : b1;
        unsigned max = limit - p > MAX_MATCH ? MAX_MATCH : (unsigned)(limit - p);
        Match m = haveAhead ? ahead : find_match(e, p, max);
        haveAhead = 0;
        if (m.gain > 0 && m.len < NICE_LENGTH && m.len < max) {
            ahead = find_match(e, p + 1, max - 1);
            haveAhead = ahead.gain > m.gain;
            if (haveAhead) m.gain = 0;
        }
        Elem *x = &e->el[ne++];
        if (m.gain <= 0) {
            *x = (Elem){e->d[p], -1, 0, 1};
            ++p;
            continue;
        }
        unsigned header = m.len - MIN_MATCH;
        int slot = m.rep;
        x->footer = 0;
        if (m.rep < 0) {
            slot = slot_of(m.off + 2);
            x->footer = m.off + 2 - slot_base[slot];
        }
        x->main = (uint16_t)(256 + slot * 8 + (header < 7 ? header : 7));
        x->length = (int16_t)(header < 7 ? -1 : (int)header - 7);
        x->size = (uint16_t)m.len;
        if (m.rep < 0) {
            e->R[2] = e->R[1];
            e->R[1] = e->R[0];
            e->R[0] = m.off;
        } else if (m.rep) { /* a repeated offset trades places with R0 */
            e->R[m.rep] = e->R[0];
            e->R[0] = m.off;
        }
        p += m.len;
    }
    return ne;
}

static void close_frame(Enc *e)
{
    Bits *w = &e->bits;
    if (w->nacc) put_bits(w, 0, 16 - w->nacc);
    size_t start = e->nframes ? e->frames[e->nframes - 1].zend : 0;
    if (e->z.len - start > CAB_DATA_MAX) fail("a frame does not fit in a CFDATA", "use longer blocks (-s)");
    if (e->nframes % 1024 == 0) e->frames = grow(e->frames, (e->nframes + 1024) * sizeof *e->frames);
    e->frames[e->nframes++] = (Frame){e->z.len, (unsigned)(e->pos - e->frameStart)};
    e->frameStart = e->pos;
}

static int slot_of_elem(const Elem *x) { return x->main < 256 ? -1 : (x->main - 256) >> 3; }

static void write_block(Enc *e, size_t b0, size_t b1)
{
    uint32_t saved[3] = {e->R[0], e->R[1], e->R[2]};
    size_t ne = parse(e, b0, b1), size = b1 - b0;
    uint32_t mainCount[MAIN_MAX] = {0}, lengthCount[LENGTH_SYMS] = {0}, alignedCount[8] = {0};
    for (size_t i = 0; i < ne; ++i) {
        const Elem *x = &e->el[i];
        int slot = slot_of_elem(x);
        mainCount[x->main]++;
        if (x->length >= 0) lengthCount[x->length]++;
        if (slot >= 3 && slot_bits[slot] >= 3) alignedCount[x->footer & 7]++;
    }
    Tree mainTree, lengthTree, alignedTree;
    make_tree(&mainTree, mainCount, e->mainSyms, 16);
    make_tree(&lengthTree, lengthCount, LENGTH_SYMS, 16); /* may stay empty: no long matches */
    make_tree(&alignedTree, alignedCount, 8, 7);
    if (!memcmp(alignedTree.len, "\0\0\0\0\0\0\0\0", 8)) { /* no aligned footers: any complete code */
        memset(alignedTree.len, 3, 8);
        code_words(&alignedTree, 8);
    }

    /* What each type would cost, in bits. */
    Bits count = {0};
    put_lengths(&count, e->mainPrev, mainTree.len, 0, 256);
    put_lengths(&count, e->mainPrev, mainTree.len, 256, e->mainSyms);
    put_lengths(&count, e->lengthPrev, lengthTree.len, 0, LENGTH_SYMS);
    uint64_t verbatim = 27 + count.bits, aligned = verbatim + 8 * 3;
    uint64_t uncompressed = 27 + 16 + 12 * 8 + 8 * (size + (size & 1));
    for (size_t i = 0; i < ne; ++i) {
        const Elem *x = &e->el[i];
        int slot = slot_of_elem(x), bits = slot >= 3 ? slot_bits[slot] : 0;
        unsigned sym = mainTree.len[x->main] + (x->length >= 0 ? lengthTree.len[x->length] : 0);
        verbatim += sym + (unsigned)bits;
        aligned += sym + (unsigned)(bits >= 3 ? bits - 3 + alignedTree.len[x->footer & 7] : bits);
    }
    char kind = e->kinds[e->blockIndex++ % strlen(e->kinds)];
    if (kind == '*') kind = verbatim <= aligned && verbatim <= uncompressed ? 'v' : aligned <= uncompressed ? 'a' : 'u';
    int type = kind == 'v' ? VERBATIM : kind == 'a' ? ALIGNED : UNCOMPRESSED;
    e->blocks[type]++;

    Bits *w = &e->bits;
    if (e->padPending) put_byte(&e->z, 0);
    e->padPending = 0;
    put_bits(w, (uint32_t)type, 3);
    put_bits(w, (uint32_t)(size >> 8), 16);
    put_bits(w, (uint32_t)(size & 0xFF), 8);

    if (type == UNCOMPRESSED) {
        /* The repeated offsets are sent as they were before the block, the
         * parse's matches being thrown away. lzxd.c goes on to the next
         * word, skipping a whole one when already at a word's start. */
        memcpy(e->R, saved, sizeof saved);
        put_bits(w, 0, 16 - w->nacc);
        for (int r = 0; r < 3; ++r) put_le(&e->z, e->R[r], 4);
        for (size_t p = b0; p < b1;) {
            size_t end = frame_end(p) < b1 ? frame_end(p) : b1;
            for (; p < end; ++p) put_byte(&e->z, e->d[p]);
            e->pos = p;
            if (p % FRAME == 0 || p == e->n) close_frame(e);
        }
        e->padPending = size & 1;
        return;
    }
    if (type == ALIGNED)
        for (int s = 0; s < 8; ++s) put_bits(w, alignedTree.len[s], 3);
    put_lengths(w, e->mainPrev, mainTree.len, 0, 256);
    put_lengths(w, e->mainPrev, mainTree.len, 256, e->mainSyms);
    put_lengths(w, e->lengthPrev, lengthTree.len, 0, LENGTH_SYMS);
    memcpy(e->mainPrev, mainTree.len, (size_t)e->mainSyms);
    memcpy(e->lengthPrev, lengthTree.len, LENGTH_SYMS);
    for (size_t i = 0; i < ne; ++i) {
        const Elem *x = &e->el[i];
        int slot = slot_of_elem(x), bits = slot >= 3 ? slot_bits[slot] : 0;
        put_sym(w, &mainTree, x->main);
        if (x->length >= 0) put_sym(w, &lengthTree, x->length);
        if (type == ALIGNED && bits >= 3) {
            put_bits(w, x->footer >> 3, bits - 3);
            put_sym(w, &alignedTree, x->footer & 7);
        } else {
            put_bits(w, x->footer, bits);
        }
        if (slot < 0) e->literals++;
        else if (slot < 3) e->reps[slot]++;
        else e->newOffsets++;
        e->pos += x->size;
        if (e->pos % FRAME == 0 || e->pos == e->n) close_frame(e);
    }
}

static void encode_folder(Enc *e)
{
    memset(e->head, 0, sizeof(uint32_t) << HASH_BITS);
    memset(e->mainPrev, 0, sizeof e->mainPrev);
    memset(e->lengthPrev, 0, sizeof e->lengthPrev);
    e->R[0] = e->R[1] = e->R[2] = 1;
    e->inserted = e->pos = e->frameStart = e->nframes = e->blockIndex = 0;
    e->padPending = 0;
    e->z.len = 0;
    e->bits = (Bits){&e->z, 0, 0, 0};
    if (e->e8 && e->e8size > 0) translate_calls(e->d, e->n, e->e8size);
    put_bits(&e->bits, (uint32_t)e->e8, 1);
    if (e->e8) {
        put_bits(&e->bits, (uint32_t)e->e8size >> 16, 16);
        put_bits(&e->bits, (uint32_t)e->e8size & 0xFFFF, 16);
    }
    for (size_t b0 = 0; b0 < e->n; b0 += e->blockSize)
        write_block(e, b0, e->n - b0 < e->blockSize ? e->n : b0 + e->blockSize);
    if (e->nframes > 65535) fail("a folder over 65535 frames", NULL);
}

/* ---- the cabinet ---- */
static uint32_t cab_checksum(const unsigned char *p, size_t n, uint32_t sum)
{
    size_t i = 0;
    uint32_t tail = 0;
    for (; i + 4 <= n; i += 4)
        sum ^= (uint32_t)p[i] | (uint32_t)p[i + 1] << 8 | (uint32_t)p[i + 2] << 16 | (uint32_t)p[i + 3] << 24;
    for (; i < n; ++i) tail = tail << 8 | p[i];
    return sum ^ tail;
}

typedef struct {
    unsigned char *data; /* CFDATA records, checksummed */
    size_t size;
    unsigned blocks;
} Folder;

static void usage(void)
{
    fprintf(stderr, "usage: mklzxcab [-w 15..21] [-x] [-e SIZE] [-b KINDS] [-s BYTES] [-n FILES]"
                    " OUT.cab BASEDIR FILE...\n");
    exit(2);
}

static unsigned long parse_number(const char *s, unsigned long lo, unsigned long hi)
{
    char *end;
    unsigned long v = strtoul(s ? s : "", &end, 0);
    if (!s || !*s || *end || v < lo || v > hi) usage();
    return v;
}

int main(int argc, char **argv)
{
    Enc e = {0};
    int wbits = 21, a = 1;
    unsigned long perFolder = 0;
    e.e8 = 1;
    e.e8size = 12000000;
    e.kinds = "*";
    e.blockSize = FRAME;
    for (; a < argc && argv[a][0] == '-' && argv[a][1]; ++a) {
        const char *opt = argv[a], *val = a + 1 < argc ? argv[a + 1] : NULL;
        if (!strcmp(opt, "-x")) {
            e.e8 = 0;
            continue;
        }
        if (!strcmp(opt, "-w")) wbits = (int)parse_number(val, 15, 21);
        else if (!strcmp(opt, "-e")) e.e8 = 1, e.e8size = (int32_t)parse_number(val, 0, 0x7FFFFFFF);
        else if (!strcmp(opt, "-s")) e.blockSize = parse_number(val, 1, 0xFFFFFF);
        else if (!strcmp(opt, "-n")) perFolder = parse_number(val, 1, 65535);
        else if (!strcmp(opt, "-b") && val && *val && strspn(val, "vau*") == strlen(val)) e.kinds = val;
        else usage();
        ++a;
    }
    if (argc - a < 3) usage();
    const char *outName = argv[a], *base = argv[a + 1];
    char **names = argv + a + 2;
    int nfiles = argc - a - 2;
    if (nfiles > 65535) fail("more than 65535 files", NULL);
    if (!perFolder) perFolder = (unsigned long)nfiles;
    int nfolders = (int)((nfiles + perFolder - 1) / perFolder);

    init_slots();
    e.window = 1u << wbits;
    for (e.mainSyms = 256; slot_base[(e.mainSyms - 256) / 8] < e.window;) e.mainSyms += 8;
    e.head = grow(NULL, sizeof(uint32_t) << HASH_BITS);
    e.prev = grow(NULL, e.window * sizeof *e.prev);

    Folder *folders = grow(NULL, nfolders * sizeof *folders);
    uint32_t *sizes = grow(NULL, nfiles * sizeof *sizes), *offsets = grow(NULL, nfiles * sizeof *offsets);
    size_t total = 0, compressed = 0, frames = 0;
    for (int f = 0; f < nfolders; ++f) {
        int first = f * (int)perFolder, last = first + (int)perFolder < nfiles ? first + (int)perFolder : nfiles;
        e.n = 0;
        for (int i = first; i < last; ++i) { /* the folder's files, one after another */
            char path[4096];
            snprintf(path, sizeof path, "%s/%s", base, names[i]);
            FILE *in = fopen(path, "rb");
            if (!in) fail("cannot open", path);
            fseek(in, 0, SEEK_END);
            long len = ftell(in);
            fseek(in, 0, SEEK_SET);
            if (len < 0 || (size_t)len > 0x7FFF8000 - e.n) fail("a folder over 2 GiB", path);
            e.d = grow(e.d, e.n + (size_t)len);
            if (fread(e.d + e.n, 1, (size_t)len, in) != (size_t)len) fail("cannot read", path);
            fclose(in);
            sizes[i] = (uint32_t)len;
            offsets[i] = (uint32_t)e.n;
            e.n += (size_t)len;
        }
        size_t elems = e.n < e.blockSize ? e.n : e.blockSize;
        e.el = grow(e.el, (elems ? elems : 1) * sizeof *e.el);
        encode_folder(&e);
        Bytes rec = {0};
        for (size_t k = 0, start = 0; k < e.nframes; start = e.frames[k++].zend) {
            size_t len = e.frames[k].zend - start;
            unsigned char sizesLe[4] = {len & 0xFF, len >> 8, e.frames[k].usize & 0xFF, e.frames[k].usize >> 8};
            put_le(&rec, cab_checksum(sizesLe, 4, cab_checksum(e.z.p + start, len, 0)), 4);
            for (int i = 0; i < 4; ++i) put_byte(&rec, sizesLe[i]);
            for (size_t i = 0; i < len; ++i) put_byte(&rec, e.z.p[start + i]);
        }
        folders[f] = (Folder){rec.p, rec.len, (unsigned)e.nframes};
        total += e.n;
        compressed += e.nframes ? e.frames[e.nframes - 1].zend : 0;
        frames += e.nframes;
    }

    /* CFHEADER, the CFFOLDERs, the CFFILEs, then each folder's CFDATAs. */
    size_t tables = 36 + 8 * (size_t)nfolders, cabSize;
    for (int i = 0; i < nfiles; ++i) tables += 16 + strlen(names[i]) + 1;
    cabSize = tables;
    for (int f = 0; f < nfolders; ++f) cabSize += folders[f].size;
    if (cabSize > 0xFFFFFFFF) fail("a cabinet over 4 GiB", NULL);
    Bytes h = {0};
    put_le(&h, 0x4643534D, 4); /* "MSCF" */
    put_le(&h, 0, 4);
    put_le(&h, (uint32_t)cabSize, 4);
    put_le(&h, 0, 4);
    put_le(&h, 36 + 8 * (uint32_t)nfolders, 4); /* the first CFFILE */
    put_le(&h, 0, 4);
    put_le(&h, 0x0103, 2); /* version 1.3 */
    put_le(&h, (uint32_t)nfolders, 2);
    put_le(&h, (uint32_t)nfiles, 2);
    put_le(&h, 0, 2);      /* no flags: no reserve, no previous or next cabinet */
    put_le(&h, 0x4C5A, 2); /* set ID */
    put_le(&h, 0, 2);      /* first in its set */
    for (int f = 0, at = (int)tables; f < nfolders; at += (int)folders[f++].size) {
        put_le(&h, (uint32_t)at, 4);
        put_le(&h, folders[f].blocks, 2);
        put_le(&h, 3 | (uint32_t)wbits << 8, 2); /* LZX and its window */
    }
    for (int i = 0; i < nfiles; ++i) {
        unsigned attribs = 0x20; /* archive */
        put_le(&h, sizes[i], 4);
        put_le(&h, offsets[i], 4);
        put_le(&h, (uint32_t)(i / (int)perFolder), 2);
        put_le(&h, DOS_DATE, 2);
        put_le(&h, DOS_TIME, 2);
        for (const char *c = names[i]; *c; ++c)
            if ((unsigned char)*c >= 0x80) attribs |= 0x80; /* the name is UTF-8 */
        put_le(&h, attribs, 2);
        for (const char *c = names[i]; *c; ++c) put_byte(&h, *c == '/' ? '\\' : (unsigned char)*c);
        put_byte(&h, 0);
    }
    FILE *out = fopen(outName, "wb");
    if (!out) fail("cannot create", outName);
    int ok = fwrite(h.p, 1, h.len, out) == h.len;
    for (int f = 0; f < nfolders; ++f) ok &= fwrite(folders[f].data, 1, folders[f].size, out) == folders[f].size;
    if (fclose(out) || !ok) fail("cannot write", outName);
    for (int f = 0; f < nfolders; ++f) free(folders[f].data);
    free(folders), free(sizes), free(offsets), free(h.p);
    free(e.d), free(e.el), free(e.head), free(e.prev), free(e.z.p), free(e.frames);
    fprintf(stderr,
            "mklzxcab: %d files in %d folders, %zu bytes in %zu frames to %zu; "
            "blocks verbatim=%lu aligned=%lu uncompressed=%lu; literals=%lu new=%lu r0=%lu r1=%lu r2=%lu\n",
            nfiles, nfolders, total, frames, compressed, e.blocks[VERBATIM], e.blocks[ALIGNED], e.blocks[UNCOMPRESSED],
            e.literals, e.newOffsets, e.reps[0], e.reps[1], e.reps[2]);
    return 0;
}
