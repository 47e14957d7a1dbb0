#!/bin/sh
# Line and branch coverage of the cabinet reader and the libmspack code it
# drives, over a fuzzing run's corpus and seeds (no sanitizers, clang's
# source-based coverage). Usage: tests/fuzz/coverage.sh OUT_DIR
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
src=${MSPACK_SRC:-$root/.cache/libmspack-src}
out=$(cd "$1" && pwd)
cov=$out/coverage
mkdir -p "$cov/obj"

flags="-fprofile-instr-generate -fcoverage-mapping -fsanitize=fuzzer-no-link -g -O1"
for f in system cabd mszipd lzxd qtmd; do
    clang $flags -w -D_FILE_OFFSET_BITS=64 -I"$src/mspack" -c "$src/mspack/$f.c" -o "$cov/obj/$f.o"
done
clang++ $flags -std=c++17 -DCABINET_READ_AHEAD=1000 -I"$root/update" -I"$src/mspack" \
    -c "$root/update/CabinetReader.cpp" -o "$cov/obj/CabinetReader.o"
clang++ $flags -std=c++17 -I"$root/update" -c "$root/tests/fuzz/cabinet_fuzzer.cpp" -o "$cov/obj/cabinet_fuzzer.o"
clang++ -fprofile-instr-generate -fsanitize=fuzzer "$cov"/obj/*.o -o "$cov/cabinet_fuzzer"

rm -f "$cov"/*.profraw
LLVM_PROFILE_FILE="$cov/run.profraw" "$cov/cabinet_fuzzer" -runs=0 "$out/corpus" "$out/seeds" >"$cov/run.log" 2>&1
llvm-profdata merge -sparse "$cov/run.profraw" -o "$cov/run.profdata"
llvm-cov report "$cov/cabinet_fuzzer" -instr-profile="$cov/run.profdata" \
    "$root/update/CabinetReader.cpp" "$src/mspack/cabd.c" "$src/mspack/mszipd.c" "$src/mspack/lzxd.c" \
    "$src/mspack/qtmd.c"
