# Sourced by the native build scripts: build OUT COMPILER FLAGS... SOURCE
# compiles only when OUT is missing or older than SOURCE, than the calling
# script or than the cabinet reader's header.
build() {
    obj=$1; shift
    eval "last=\${$#}"
    if [ ! -f "$obj" ] || [ "$last" -nt "$obj" ] || [ "$0" -nt "$obj" ] ||
       [ "$root/update/CabinetReader.h" -nt "$obj" ]; then "$@" -o "$obj"; fi
}
