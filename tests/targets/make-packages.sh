#!/bin/sh
# Makes the update packages of the target tests with gcab: one cabinet per
# package name of the updater's table, each holding files named after what
# it updates, stamped 2005-06-07 08:09:10 so that a test can tell a file
# that came out of a package from one that was there before. velsvc_s.cab
# carries the real stand-in service, so the service still starts after its
# program has been replaced. Given the build's package signing
# (cmake/sign-package and its certificate and key), each is signed.
# Usage: make-packages.sh OUT_DIR VELSVC_EXE [SIGNER CERT KEY]
set -eu
out=$1
service=$2
signer=${3:-} cert=${4:-} key=${5:-}
export TZ=UTC
rm -rf "$out" && mkdir -p "$out/src"
cd "$out/src"

# pack CABINET FILE... : each FILE holds "<cabinet> <file>" unless it exists.
pack() {
  cab=$1
  shift
  for f in "$@"; do
    [ -e "$f" ] || printf '%s %s\r\n' "$cab" "$f" > "$f"
    touch -d '2005-06-07 08:09:10' "$f"
  done
  gcab -c -n "$out/$cab" "$@"
  [ -z "$signer" ] || sh "$signer" "$cert" "$key" "$out/$cab"
  rm -f "$@"
}

pack SCRNMODE.cab Scrnmode.exe
pack VLWORD.cab Words.exe words.dic
pack VLMATH.cab Sums.exe sums.dat
pack Homedeck.cab VelraHomedeck.exe homedeck.dat
pack LumoView.cab VelraLumoView.exe
cp "$service" velsvc_s.exe
pack velsvc_s.cab velsvc_s.exe
pack CORE.cab core.dll
pack VCORE.cab vcore.dll
pack VTUNE.cab vtune.dll
pack VPAD.cab vpad.dll
pack XCORE.cab xcore.dll
pack LEDUtility.cab VelraLumoLEDUtility.EXE
pack SLOTLOCK.cab slotlock.sys
rmdir "$out/src"
touch "$out/packages.stamp"
