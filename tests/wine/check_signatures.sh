#!/usr/bin/env bash
# Under Wine, packsign.exe makes a key and signs a pack, and the build machine's
# openssl must verify the signature; openssl signs, and packcheck.exe must take
# the signature and refuse it for a pack with one byte changed. The folder and
# file names are not ASCII, so the programs' wide paths are used throughout.
#
#   check_signatures.sh WINE PACKCLI_EXE PACKSIGN_EXE PACKCHECK_EXE EXAMPLES_FOLDER WORK_FOLDER
set -euo pipefail

if [ "$#" -ne 6 ]; then
  echo "usage: $0 wine packcli.exe packsign.exe packcheck.exe examples-folder work-folder" >&2
  exit 2
fi
wine=$1 packcli=$2 packsign=$3 packcheck=$4 examples=$5 work=$6
command -v openssl >/dev/null || { echo "no openssl on the build machine: scripts/install-deps windows" >&2; exit 1; }
# Wine turns Unix arguments and file names into UTF-16 through the locale's character set.
export LC_ALL=C.UTF-8

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Changes one byte of a file in place.
flip_byte() {
  local file=$1 at=$2 byte
  byte=$(od -An -tu1 -j "$at" -N1 "$file" | tr -d ' ')
  # shellcheck disable=SC2059 # the format is the escaped byte
  printf "$(printf '\\%03o' $((byte ^ 0x20)))" | dd of="$file" bs=1 seek="$at" conv=notrunc status=none
}

folder="$work/Schlüssel 测试"
rm -rf "$work"
mkdir -p "$folder"
cd "$folder"
cp "$examples/old.lod" "alt ü.lod"
cp "$examples/new.lod" "neu ü.lod"
"$wine" "$packcli" 0x400000 0x10000 "alt ü.lod" "neu ü.lod" "Paket ü.pack"
cp "Paket ü.pack" unsigned.pack

# packsign.exe's key and signature, checked by openssl.
"$wine" "$packsign" --new-key "Schlüssel ü.pem"
openssl pkey -in "Schlüssel ü.pem" -pubout -out public.pem || fail "openssl cannot read the key of packsign.exe --new-key"
# The key's access list lets in its user alone, which Wine shows as no permission for others.
[ $((0$(stat -c %a "Schlüssel ü.pem") & 7)) -eq 0 ] || fail "others may use the new key: mode $(stat -c %a "Schlüssel ü.pem")"
cp "Schlüssel ü.pem" key-before.pem
if "$wine" "$packsign" --new-key "Schlüssel ü.pem" >new-key.out 2>&1; then
  fail "packsign.exe --new-key wrote over an existing key"
fi
cmp -s "Schlüssel ü.pem" key-before.pem || fail "packsign.exe --new-key changed an existing key"
grep -q "never overwritten" new-key.out || fail "packsign.exe --new-key over a key said: $(cat new-key.out)"
[ -z "$(find . -name '.~*')" ] || fail "a temporary file was left: $(ls -A)"

"$wine" "$packsign" "Schlüssel ü.pem" "Paket ü.pack"
cmp -s "Paket ü.pack" unsigned.pack || fail "packsign.exe changed the pack"
verdict=$(openssl dgst -sha256 -verify public.pem -signature "Paket ü.pack.sig" "Paket ü.pack" 2>&1) || true
[ "$verdict" = "Verified OK" ] || fail "openssl on the signature of packsign.exe: $verdict"
echo "openssl verifies the signature of packsign.exe: $verdict"
cp "Paket ü.pack" changed.pack
flip_byte changed.pack 1000
if openssl dgst -sha256 -verify public.pem -signature "Paket ü.pack.sig" changed.pack >/dev/null 2>&1; then
  fail "openssl took the signature of packsign.exe for a changed pack"
fi

# The C array of --public-key holds the 65 bytes that end openssl's DER public key.
expected=$(openssl pkey -pubin -in public.pem -outform DER | tail -c 65 | od -An -tx1 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
listed=$("$wine" "$packsign" --public-key "Schlüssel ü.pem" | tr -d '\r' | sed -n '/{/,/}/p' | grep -o '0x[0-9a-fA-F][0-9a-fA-F]' |
  sed 's/^0x//' | tr 'A-F' 'a-f' | tr '\n' ' ' | sed 's/ $//')
[ "$listed" = "$expected" ] || fail "packsign.exe --public-key listed [$listed], openssl has [$expected]"

# openssl's key and signature, checked by packcheck.exe with the private and with the public key.
openssl ecparam -name prime256v1 -genkey -out "openssl ü.pem" 2>/dev/null
openssl pkey -in "openssl ü.pem" -pubout -out "openssl ü.pub.pem"
openssl dgst -sha256 -sign "openssl ü.pem" -out "Paket ü.pack.sig" "Paket ü.pack"
for key in "openssl ü.pem" "openssl ü.pub.pem"; do
  "$wine" "$packcheck" --verify-signature "$key" "Paket ü.pack" || fail "packcheck.exe refused openssl's signature with $key"
done
echo "packcheck.exe verifies the signature of openssl"
cp "Paket ü.pack.sig" changed.pack.sig
if "$wine" "$packcheck" --verify-signature "openssl ü.pub.pem" changed.pack >refused.out 2>&1; then
  fail "packcheck.exe took openssl's signature for a pack with a changed byte"
fi
grep -q "does not verify" refused.out || fail "packcheck.exe on a changed pack said: $(cat refused.out)"
if "$wine" "$packcheck" --verify-signature "Schlüssel ü.pem" "Paket ü.pack" >/dev/null 2>&1; then
  fail "packcheck.exe took openssl's signature with another key"
fi
echo "packcheck.exe refuses a changed byte and another key"
