#!/bin/sh
# start-up-trace.sh <wine-run> <VelraUpdate.exe>
# What the updater's own code calls before its defences are up: the program
# runs from a folder of its own under Wine's relay trace, which logs every
# call into a system library with the address it returns to. Until both the
# library search is narrowed and the error mode is set, every call made from
# the program's image must be one of a few that load nothing. A list of what
# may run, not of what may not: whatever a new runtime or library brings
# before the defences fails here, a library loader or not.
set -eu
winerun=$1 program=$2
. "$(dirname "$winerun")/wine-env"
folder="$WINEPREFIX/drive_c/start-up trace"
trace=$(mktemp)
pid=
cleanup() { [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true; rm -rf "$trace" "$folder"; }
trap cleanup EXIT
mkdir -p "$folder"
cp "$program" "$folder/VelraUpdate.exe"

# The run ends in a box (nothing to update) that nobody answers: it is
# stopped once the trace has got past the defences, or after a minute.
WINEDEBUG=+relay,+loaddll "${WINELOADER:-wine}" 'C:\start-up trace\VelraUpdate.exe' 2>"$trace" &
pid=$!
n=0
until grep -q 'Ret  KERNEL32.SetErrorMode' "$trace" || ! kill -0 "$pid" 2>/dev/null || [ $n -ge 600 ]; do
  sleep 0.1
  n=$((n + 1))
done
kill -9 "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=

# The image's extent: where the loader put it, and its SizeOfImage.
peoffset=$(od -An -t u4 -j 60 -N 4 "$program" | tr -d ' ')
size=$(od -An -t u4 -j $((peoffset + 24 + 56)) -N 4 "$program" | tr -d ' ')
awk -v size="$size" '
function hex(s,   i, n) {
  n = 0
  s = tolower(s)
  for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
  return n
}
BEGIN {
  split("KERNEL32.GetModuleHandleA KERNEL32.GetProcAddress KERNEL32.QueryPerformanceCounter " \
        "KERNEL32.GetSystemTimeAsFileTime KERNEL32.GetCurrentProcessId KERNEL32.GetCurrentThreadId " \
        "KERNEL32.GetTickCount KERNEL32.SetDefaultDllDirectories KERNEL32.SetDllDirectoryA " \
        "KERNEL32.SetErrorMode", list, " ")
  for (i in list) allowed[list[i]] = 1
}
/trace:loaddll:.*start-up trace.*VelraUpdate.exe" at / {
  at = $0
  sub(/.*" at /, "", at)
  sub(/:.*/, "", at)
  base = hex(at)
  next
}
base != "" && /:Call [A-Za-z0-9_]+\.[A-Za-z0-9_]+\(.* ret=[0-9a-f]+$/ {
  ret = $NF
  sub(/^ret=/, "", ret)
  at = hex(ret)
  if (at < base || at >= base + size) next
  name = $0
  sub(/^[^:]*:Call /, "", name)
  sub(/\(.*/, "", name)
  calls++
  if (!(name in allowed)) { bad++; if (bad <= 10) print "called before the defences: " name " (ret=" ret ")" }
  if (name ~ /SetDefaultDllDirectories|SetDllDirectoryA/) hardened = 1
  if (name ~ /SetErrorMode/) errormode = 1
  if (hardened && errormode) { done = 1; exit }
}
END {
  if (base == "") { print "the program was never loaded"; exit 1 }
  if (!done) { print "the library search and the error mode were not both set (" calls " calls seen)"; exit 1 }
  if (bad) { print bad " calls outside the list, of " calls; exit 1 }
  print calls " calls before the defences, each on the list"
}' "$trace"
