#!/bin/sh
# A test program as the recogniser sees it: stand-in.sh COUNTER EXIT [TEXT]
# counts its runs in COUNTER; its first run prints TEXT (if any) and ends
# with EXIT, every later run prints "second run" and ends with 0.
n=$(($(cat "$1" 2>/dev/null || echo 0) + 1))
echo "$n" >"$1"
if [ "$n" -gt 1 ]; then echo "second run"; exit 0; fi
[ -z "${3:-}" ] || echo "$3"
exit "$2"
