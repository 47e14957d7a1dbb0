#!/bin/sh
# fault-disk.sh <build dir> <wine-run> <fault_disk_check.exe>
# Mounts a 512 KB file system as drive T: of the prefix, fills it by
# extracting a 1 MB file over a small existing one, then does the same with
# the file system mounted read-only.
set -eu
build=$1 winerun=$2 check=$3
. "$(dirname "$winerun")/wine-env"
mnt="$build/faultdisk"
data="$build/faultdata"
drive="$WINEPREFIX/dosdevices/t:"
cleanup() { rm -f "$drive"; umount "$mnt" 2>/dev/null || true; rm -rf "$data"; }
trap cleanup EXIT
mkdir -p "$mnt" "$data/payload"
head -c 1048576 /dev/urandom > "$data/payload/big.dat"
(cd "$data/payload" && gcab -c -z "$data/big.cab" big.dat)
status=0

mount -t tmpfs -o size=512k tmpfs "$mnt"
printf 'previous version' > "$mnt/big.dat"
ln -sfn "$mnt" "$drive"
echo "== full disk"
"$winerun" "$check" 'T:\' 'Z:'"$(echo "$data/big.cab" | tr / '\\')" big.dat 'previous version' || status=1

mount -o remount,ro "$mnt"
echo "== read-only folder"
"$winerun" "$check" 'T:\' 'Z:'"$(echo "$data/big.cab" | tr / '\\')" big.dat 'previous version' || status=1
exit $status
