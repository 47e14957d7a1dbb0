#!/bin/sh
# Builds the cabinet reader natively (clang, ASan + UBSan) together with the
# libmspack sources it needs, and the project's LZX cabinet writer; with
# --run, then runs the harness over the corpus and over cabinets of that
# writer. The build builds it (only what changed), the test runs it.
# Usage: tests/native/build.sh [OUT_DIR] [--run]   (default build/native)
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
src=${MSPACK_SRC:-$root/.cache/libmspack-src}
out=${1:-$root/build/native}
mkdir -p "$out/obj"

san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1"
. "$root/tests/native/rebuild.sh"
# No config.h: the source tree's one describes the i686 cross build.
for f in system cabd mszipd lzxd qtmd; do
    build "$out/obj/$f.o" clang $san -w -D_FILE_OFFSET_BITS=64 -I"$src/mspack" -c "$src/mspack/$f.c"
done
# md5 comes from libmspack's own test helpers.
build "$out/obj/md5.o" clang $san -w -I"$src/test" -c "$src/test/md5.c"
build "$out/obj/CabinetReader.o" clang++ $san -std=c++17 -Wall -Wextra -I"$root/update" -I"$src/mspack" \
    -c "$root/update/CabinetReader.cpp"
build "$out/obj/cabinet_reader_test.o" clang++ $san -std=c++17 -Wall -Wextra -I"$root/update" \
    -c "$root/tests/native/cabinet_reader_test.cpp"
relink "$out/cabinet_reader_test" "$out/obj" clang++ $san
build "$out/mklzxcab" clang $san -std=c11 -Wall -Wextra "$root/tools/mklzxcab.c"
[ "${2:-}" = --run ] || exit 0

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$out/cabinet_reader_test" "$src/test/test_files/cabd" "$scratch" "$out/mklzxcab"
