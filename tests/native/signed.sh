#!/bin/sh
# The shipped programs as signed by the build (cmake/sign): each signature
# verifies against the certificate alone, is SHA-256 and has no time stamp,
# and a copy with one byte changed no longer verifies.
# Usage: tests/native/signed.sh CERT PROGRAM...
set -eu
cert=$1; shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for f in "$@"; do
    out=$(osslsigncode verify -CAfile "$cert" -in "$f" 2>&1) || { echo "$f: not verified"; echo "$out"; status=1; continue; }
    echo "$out" | grep -q '^Message digest algorithm *: SHA256' || { echo "$f: not SHA-256"; status=1; }
    echo "$out" | grep -q '^Timestamp is not available' || { echo "$f: time-stamped"; status=1; }
    # A byte of the code section, well inside the first page after the headers.
    cp "$f" "$scratch/changed.exe"
    printf '\377' | dd of="$scratch/changed.exe" bs=1 seek=4200 conv=notrunc 2>/dev/null
    if osslsigncode verify -CAfile "$cert" -in "$scratch/changed.exe" >/dev/null 2>&1; then
        echo "$f: a changed copy still verifies"; status=1
    fi
done
exit $status
