# Sourced by the native build scripts: build OUT COMPILER FLAGS... SOURCE
# compiles only when OUT is missing or older than SOURCE, than the calling
# script or than the cabinet reader's header; relink OUT OBJ_DIR LINKER FLAGS...
# links OUT from the objects in OBJ_DIR only when one of them is newer. A program
# is linked beside and moved into place: it may be running (a fuzzer), and
# a running executable cannot be overwritten.
build() {
    obj=$1; shift
    eval "last=\${$#}"
    if [ ! -f "$obj" ] || [ "$last" -nt "$obj" ] || [ "$0" -nt "$obj" ] ||
       [ "$root/update/CabinetReader.h" -nt "$obj" ]; then "$@" -o "$obj"; fi
}
relink() {
    exe=$1 objs=$2; shift 2
    for o in "$objs"/*.o; do
        if [ ! -f "$exe" ] || [ "$o" -nt "$exe" ]; then
            "$@" "$objs"/*.o -o "$exe.new" && mv -f "$exe.new" "$exe"
            return
        fi
    done
}
