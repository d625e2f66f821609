#!/usr/bin/env bash
# Writes the sample images of examples/ in the forms toolchains give them, with
# binutils' objcopy and ld, for lodconvert's tests to convert back:
#   NAME.bin                 the LOD file's words as bytes, the image at 0x08010000
#   NAME.hex, NAME.srec      at 0x08010000: extended linear addresses (04), S3 and S7
#   NAME-at-0.hex, .srec     at 0x10000 for a flash based at 0: segment addresses (02, 03), S2 and S8
#   old.elf                  ELF32, one PT_LOAD segment
#   new.elf                  ELF64, the image in two segments, the second loaded at 0x20000000 (its VMA)
#                            from its LMA in flash, as initialised data is
#   small.srec, small.hex    the first sector of old.bin at address 0: S1 and S9, no extended addresses
#   object.o                 an ELF object file, no program headers
#   cut.elf                  old.elf cut short inside its segment's bytes
#
#   make_inputs.sh EXAMPLES_FOLDER OUTPUT_FOLDER
set -euo pipefail

if [ "$#" -ne 2 ]; then
  echo "usage: $0 examples-folder output-folder" >&2
  exit 2
fi
examples=$1 out=$2
for tool in objcopy ld python3; do
  command -v $tool >/dev/null || { echo "no $tool on the build machine: scripts/install-deps tests" >&2; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# The words after the one address line, each least significant byte first.
lod_to_bin() {
  python3 - "$1" "$2" <<'PYTHON'
import struct, sys
words, addresses = [], []
for line in open(sys.argv[1]):
    if line.startswith("#"):
        continue
    if line.startswith("@"):
        addresses.append(int(line[1:], 16))
        continue
    words.append(int(line, 16))
if addresses != [0x08010000]:
    sys.exit(f"{sys.argv[1]}: expected one section at 0x08010000, found {addresses}")
open(sys.argv[2], "wb").write(struct.pack(f"<{len(words)}I", *words))
PYTHON
}

# An object file whose one section, named by $3, holds the bytes of $1.
object_of() {
  local flags=(-I binary -O "$4" -B "$5")
  if [ "$3" = .text ]; then
    flags+=(--rename-section .data=.text,alloc,load,readonly,code,contents)
  fi
  objcopy "${flags[@]}" "$1" "$2"
}

for name in old new; do
  lod_to_bin "$examples/$name.lod" "$name.bin"
  objcopy -I binary -O ihex --change-addresses 0x08010000 "$name.bin" "$name.hex"
  objcopy -I binary -O srec --change-addresses 0x08010000 "$name.bin" "$name.srec"
  objcopy -I binary -O ihex --change-addresses 0x10000 "$name.bin" "$name-at-0.hex"
  objcopy -I binary -O srec --change-addresses 0x10000 "$name.bin" "$name-at-0.srec"
done

object_of old.bin object.o .text elf32-i386 i386
ld -m elf_i386 -N -Ttext=0x08010000 -e 0x08010000 --build-id=none --no-warn-rwx-segments -o old.elf object.o

head -c 131072 new.bin >new-code.bin
tail -c +131073 new.bin >new-data.bin
object_of new-code.bin new-code.o .text elf64-x86-64 i386:x86-64
object_of new-data.bin new-data.o .data elf64-x86-64 i386:x86-64
cat >new.ld <<'SCRIPT'
SECTIONS
{
  .text 0x08010000 : { new-code.o(.text) }
  .data 0x20000000 : AT(0x08010000 + SIZEOF(.text)) { new-data.o(.data) }
}
SCRIPT
ld -m elf_x86_64 -N -T new.ld -e 0x08010000 --build-id=none --no-warn-rwx-segments -o new.elf new-code.o new-data.o
rm new-code.bin new-data.bin new-code.o new-data.o new.ld

head -c 4096 old.bin >small.bin
objcopy -I binary -O srec small.bin small.srec
objcopy -I binary -O ihex small.bin small.hex
rm small.bin

head -c 100000 old.elf >cut.elf
echo "lodconvert inputs made in $out"
