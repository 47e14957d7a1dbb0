#!/bin/sh
# Seeds for the cabinet fuzzer: libmspack's corpus and small cabinets of our
# own in every method we ship (gcab stored and MSZIP, mklzxcab LZX), each
# behind the two control bytes the target reads first (extract everything,
# no fault), and some once more behind other policies. Two cabinets are
# bigger than the reader's 64 KiB read-ahead, with reads cut short, so that
# refilling and seeking past it are checked on every replay (scripts/fuzz
# replays all seeds whole; fuzzing itself keeps inputs under 64 KiB).
# Usage: tests/fuzz/make-seeds.sh OUT_DIR MKLZXCAB
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${MSPACK_SRC:-$root/.cache/libmspack-src}/test/test_files/cabd
mkdir -p "$1"
out=$(cd "$1" && pwd)
lzxcab=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/f/sub"

cd "$work/f"
printf 'hello\r\n' > a.txt
: > empty.bin
awk 'BEGIN { for (i = 0; i < 400; i++) printf "line %d of a text that repeats itself\n", i % 37 }' > sub/text.txt
LC_ALL=C awk 'BEGIN { srand(3); for (i = 0; i < 3000; i++) printf "%c", int(rand()*256) }' > noise.bin
# Code-like bytes: E8 call opcodes with nearby targets exercise the LZX
# decoder's call translation.
awk 'BEGIN { srand(7); for (i = 0; i < 900; i++) printf "%c%c%c%c%c", 232, int(rand()*256), int(rand()*16), 0, 0 }' > calls.bin
awk 'BEGIN { for (i = 0; i < 9000; i++) printf "record %d: %d\n", i, (i * 7919) % 1000 }' > big.txt
# The same fields at varying distances: matches on earlier offsets (R1, R2).
awk 'BEGIN { srand(11); split("alpha bravo charlie delta", w, " ")
    for (i = 0; i < 900; i++) printf "%s=%d;%s|", w[1 + int(rand() * 4)], int(rand() * 10), w[1 + int(rand() * 4)] }' > records.txt
LC_ALL=C awk 'BEGIN { srand(5); for (i = 0; i < 60000; i++) printf "%c", int(rand()*256) }' > bignoise.bin
touch -d '2022-05-06 07:08:10' a.txt empty.bin sub/text.txt noise.bin calls.bin big.txt bignoise.bin records.txt

gcab -c "$work/stored.cab" a.txt sub/text.txt noise.bin >/dev/null
gcab -z -c "$work/mszip.cab" a.txt empty.bin sub/text.txt calls.bin >/dev/null
gcab -z -c "$work/mszip1.cab" sub/text.txt >/dev/null
gcab -z -c "$work/big-mszip.cab" a.txt big.txt bignoise.bin calls.bin >/dev/null
# LZX: each block type, repeated offsets (the text and the records), windows
# of 2^15 (wrapped) to 2^21, blocks that end inside frames and span them,
# several folders, E8 translation off, on, and with a small file size.
"$lzxcab" -w 15 -b a "$work/lzx15.cab" . a.txt sub/text.txt calls.bin records.txt 2>/dev/null
"$lzxcab" -w 21 "$work/lzx21.cab" . empty.bin calls.bin noise.bin 2>/dev/null
"$lzxcab" -x -w 16 -b v "$work/lzx16x.cab" . sub/text.txt 2>/dev/null
"$lzxcab" -w 18 -b vau -s 3001 -n 2 -e 3000 "$work/lzx18mix.cab" . records.txt calls.bin a.txt noise.bin 2>/dev/null
"$lzxcab" -w 19 -b av -s 40000 "$work/lzx19.cab" . records.txt sub/text.txt calls.bin 2>/dev/null
"$lzxcab" -w 20 -b u -s 999 "$work/lzx20u.cab" . a.txt calls.bin 2>/dev/null
"$lzxcab" -w 17 "$work/big-lzx.cab" . big.txt bignoise.bin a.txt 2>/dev/null
# Three stored folders of one file each, several kilobytes apart: going from
# folder to folder seeks in the cabinet past what was read ahead. (gcab
# writes one folder; mklzxcab's folders are LZX.)
LC_ALL=C awk 'function le(v, n,  i) { for (i = 0; i < n; i++) { printf "%c", v % 256; v = int(v / 256) } }
BEGIN {
    nf = 3; size[0] = 1500; size[1] = 2500; size[2] = 900
    for (i = 0; i < nf; i++) names += 16 + 7
    off = 36 + 8 * nf + names
    total = off; for (i = 0; i < nf; i++) total += 8 + size[i]
    printf "MSCF"; le(0, 4); le(total, 4); le(0, 4); le(36 + 8 * nf, 4); le(0, 4)
    le(259, 2); le(nf, 2); le(nf, 2); le(0, 2); le(4660, 2); le(0, 2)
    for (i = 0; i < nf; i++) { le(off, 4); le(1, 2); le(0, 2); off += 8 + size[i] }
    for (i = 0; i < nf; i++) { le(size[i], 4); le(0, 4); le(i, 2); le(8812, 2); le(22970, 2); le(32, 2); printf "f%d.txt", i; le(0, 1) }
    for (i = 0; i < nf; i++) { le(0, 4); le(size[i], 2); le(size[i], 2); for (j = 0; j < size[i]; j++) printf "%c", 97 + (i * 7 + j) % 26 }
}' > "$work/folders3.cab"

seed() {  # seed NAME CONTROL_BYTES(octal escapes) FILE
    { printf "$2"; cat "$3"; } > "$out/$1"
}
# Sound cabinets whose seeds must all extract: named good-*, so that the
# replay can hold them to it.
sound() {
    case $(basename "$1") in
        normal_*|reserve_*|mszip_lzx_qtm.cab|multi_basic_pt[2-5].cab) return 0 ;;
    esac
    [ "$(dirname "$1")" = "$work" ]
}
for c in "$work"/*.cab "$corpus"/*.cab; do
    n=$(basename "$c" .cab)
    sound "$c" && n=good-$n
    seed "$n" '\0\0' "$c"
done
for c in "$corpus"/normal_2files_2folders.cab "$corpus"/mszip_lzx_qtm.cab "$work"/mszip.cab "$work"/lzx15.cab; do
    n=$(basename "$c" .cab)
    seed "$n-skipodd" '\001\0' "$c"
    seed "$n-only1" '\006\0' "$c"
    seed "$n-veto0" '\100\0' "$c"
    seed "$n-oom" '\0\003' "$c"
    seed "$n-badread" '\0\205' "$c"
    seed "$n-shortwrite" '\0\302' "$c"
done
for c in "$work"/*.cab "$corpus"/mszip_lzx_qtm.cab "$corpus"/normal_2files_2folders.cab "$corpus"/reserve_HFD.cab; do
    n=good-$(basename "$c" .cab)
    seed "$n-shortreads" '\0\013' "$c"
    seed "$n-skipodd-shortreads" '\001\001' "$c"
    seed "$n-only2-shortreads" '\012\077' "$c"
done
