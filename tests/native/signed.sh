#!/bin/sh
# The shipped programs and an update package as the build signs them
# (cmake/sign, cmake/sign-package): each signature verifies against the
# certificate alone and has no time stamp; a program's is SHA-256, a
# package's SHA-1 with a SHA-256 one nested in it; and a copy with one byte
# changed no longer verifies. Wine's signature check does not look at a
# cabinet's content: the refusal of a changed package rests on this.
# Usage: tests/native/signed.sh CERT FILE...
set -eu
cert=$1; shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for f in "$@"; do
    out=$(osslsigncode verify -CAfile "$cert" -in "$f" 2>&1) || { echo "$f: not verified"; echo "$out"; status=1; continue; }
    echo "$out" | grep -q '^Timestamp is not available' || { echo "$f: time-stamped"; status=1; }
    case $f in
      *.cab)
        # A byte of the first file's data, after the header and entries.
        at=$(($(wc -c <"$f") / 4))
        echo "$out" | grep -q '^Message digest algorithm *: SHA1' || { echo "$f: not SHA-1 first"; status=1; }
        echo "$out" | grep -q '^Number of verified signatures: 2' || { echo "$f: no nested signature"; status=1; } ;;
      *)
        # A byte of the code section, well inside the first page after the headers.
        at=4200
        echo "$out" | grep -q '^Message digest algorithm *: SHA256' || { echo "$f: not SHA-256"; status=1; } ;;
    esac
    cp "$f" "$scratch/changed"
    printf '\377' | dd of="$scratch/changed" bs=1 seek="$at" conv=notrunc 2>/dev/null
    if osslsigncode verify -CAfile "$cert" -in "$scratch/changed" >/dev/null 2>&1; then
        echo "$f: a changed copy still verifies"; status=1
    fi
done
exit $status
