#!/bin/sh
# Builds the cabinet reader's libFuzzer target natively (clang, ASan + UBSan)
# with the libmspack sources it needs, the LZX writer and the seed corpus.
# Usage: tests/fuzz/build.sh OUT_DIR
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
src=${MSPACK_SRC:-$root/.cache/libmspack-src}
out=$1
mkdir -p "$out/obj"

san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1"
. "$root/tests/native/rebuild.sh"
# No config.h: the source tree's one describes the i686 cross build.
# lzxd.c shifts a signed int into the sign bit while reading the E8 file
# size from an LZX header; GCC, which builds the shipped library, defines
# that shift as two's complement, so only this check is left out there.
# The decoders' inner loops compare on every bit they read: tracing those
# comparisons (which helps the fuzzer through header fields) would cost
# more than half of all fuzzing time, so they keep only edge coverage.
for f in system cabd mszipd lzxd qtmd; do
    case $f in mszipd|lzxd|qtmd) cmp=-fno-sanitize-coverage=trace-cmp ;; *) cmp= ;; esac
    build "$out/obj/$f.o" clang $san -fno-sanitize=shift-base -fsanitize=fuzzer-no-link $cmp -w \
        -D_FILE_OFFSET_BITS=64 -I"$src/mspack" -c "$src/mspack/$f.c"
done
# A read-ahead far smaller than the shipped 64 KiB: fuzzed cabinets stay
# under 64 KiB, and the buffer's edges must fall inside them.
build "$out/obj/CabinetReader.o" clang++ $san -fsanitize=fuzzer-no-link -std=c++17 -Wall -Wextra \
    -DCABINET_READ_AHEAD=1000 -I"$root/update" -I"$src/mspack" -c "$root/update/CabinetReader.cpp"
build "$out/obj/cabinet_fuzzer.o" clang++ $san -fsanitize=fuzzer-no-link -std=c++17 -Wall -Wextra \
    -I"$root/update" -c "$root/tests/fuzz/cabinet_fuzzer.cpp"
relink "$out/cabinet_fuzzer" "$out/obj" clang++ $san -fsanitize=fuzzer
build "$out/mklzxcab" clang -O2 -w "$root/tools/mklzxcab.c"
# The seed corpus, made again when its recipe changes; made beside its place
# and moved in, so that a build stopped halfway leaves none.
if [ ! -d "$out/seeds" ] || [ "$root/tests/fuzz/make-seeds.sh" -nt "$out/seeds" ]; then
    rm -rf "$out/seeds" "$out/seeds.new"
    sh "$root/tests/fuzz/make-seeds.sh" "$out/seeds.new" "$out/mklzxcab"
    mv "$out/seeds.new" "$out/seeds"
fi
