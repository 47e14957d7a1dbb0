#!/bin/sh
# Makes the extraction tests' cabinets with gcab and copies libmspack's
# corpus beside them; given the build's package signing (cmake/sign-package
# and its certificate and key), also the packages of the runs of a signed
# updater, in OUT_DIR/signed.
# Usage: make-cabinets.sh OUT_DIR CORPUS_DIR [SIGNER CERT KEY]
# Time stamps are written and stored in UTC, so a cabinet says exactly the
# wall-clock times given here; the tests read them back in another zone.
set -eu
out=$1
corpus=$2
export TZ=UTC
rm -rf "$out/src" "$out/corpus" "$out/signed" "$out"/*.cab && mkdir -p "$out/src/three" "$out/src/sub/sub" "$out/src/utf8" "$out/src/many" "$out/corpus"
cp "$corpus"/*.cab "$out/corpus/"

cd "$out/src/three"
printf 'Velra\r\n' > alpha.txt
seq 1 20000 > bravo.log          # ~109 KB: several data blocks
: > charlie.dat
touch -d '2021-03-04 05:06:08' alpha.txt
touch -d '1999-12-31 23:59:58' bravo.log
touch -d '2010-07-15 12:00:00' charlie.dat
gcab -c -n "$out/three-stored.cab" alpha.txt bravo.log charlie.dat
gcab -c -n -z "$out/three-mszip.cab" alpha.txt bravo.log charlie.dat

cd "$out/src/sub"
printf 'in a folder\n' > sub/file.dat
gcab -c "$out/subfolder.cab" sub/file.dat

cd "$out/src/utf8"
printf 'kana\n' > 更新ﾌｧｲﾙ.txt
printf 'latin\n' > café.txt
gcab -c -n "$out/utf8-kana.cab" 更新ﾌｧｲﾙ.txt
gcab -c -n "$out/utf8-latin.cab" café.txt

# A package big enough to watch: many files, many blocks each.
cd "$out/src/many"
i=1
while [ $i -le 60 ]; do
  seq $i 3 120000 > "module$(printf %02d $i).dll"
  i=$((i + 1))
done
gcab -c -n -z "$out/many.cab" module*.dll

# What the LZX and Quantum folders of the corpus must decode to, as an
# independent extractor reads them.
cabextract -q -d "$out/src/mixed" "$out/corpus/mszip_lzx_qtm.cab"

[ $# -ge 5 ] || exit 0
signer=$3 cert=$4 key=$5
mkdir -p "$out/signed/other" "$out/src/replacement"
cd "$out/signed"
for f in three-stored.cab three-mszip.cab many.cab; do cp "../$f" .; done
cp ../corpus/mszip_lzx_qtm.cab .
printf 'not what was taken\r\n' > "$out/src/replacement/alpha.txt"
(cd "$out/src/replacement" && gcab -c -n "$out/signed/replacement.cab" alpha.txt)
for f in three-stored.cab three-mszip.cab many.cab mszip_lzx_qtm.cab replacement.cab; do sh "$signer" "$cert" "$key" "$f"; done
# Refused ones: signed by someone else, and signed with the signature cut off.
openssl req -x509 -sha1 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Someone else" \
  -addext extendedKeyUsage=codeSigning -keyout other/key.pem -out other/cert.pem 2>/dev/null
cp ../three-stored.cab other-signer.cab
sh "$signer" other/cert.pem other/key.pem other-signer.cab
head -c $(($(wc -c < three-stored.cab) - 200)) three-stored.cab > cut-off.cab
