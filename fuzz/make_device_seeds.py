#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_device_apply into fuzz/corpus/device_apply/.

  fuzz/make_device_seeds.py PACKCLI     PACKCLI: a built packcli, e.g. build/cli/packcli

Each seed is the ten bytes of settings that fuzz/device_apply/fuzz_input.h describes, then a pack
or a patch stream for the old image of fuzz/data/old.lod. The packs are packcli's, of the fuzz pair
and of new images made here from the same old image; the rest are one seed for each fault the
target was written to find, so that a run of the seeds alone shows them. Check with:
FUZZ_REPORT_DEVICE=1 build-fuzz/fuzz/fuzz_device_apply fuzz/corpus/device_apply/*
"""
import lzma
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CODE_BASE = 0x10000
FLASH_SIZE = 0x20000  # the code area ends here, as in fuzz_pack.cpp

# Byte 1 of the settings.
STREAM, SIGNED, CHANGING = 0x01, 0x02, 0x04
CUT_BEFORE, CUT_TORN, CUT_AFTER = 0x00, 0x20, 0x40
# Byte 2: the start, the work memory's misalignment, the failing store and the sector map.
OLD_IMAGE, FINISHED, DAMAGED, FORGED = range(4)
FAILING = 0x20
NO_MAP, PAGES_256, SECTORS_16K, SECTOR_64K = range(4)


def settings(unit_shift=0, flags=0, start=OLD_IMAGE, cut=0, swap=0, damage=0, xor=0x80, work_offset=0,
             sectors=NO_MAP):
    placement = start | work_offset << 2 | sectors << 6
    return bytes([unit_shift, flags, placement]) + struct.pack(">HHHB", cut, swap, damage, xor)


def pack_crc(data):
    """The pack checksum: reflected CRC-32, initial value 0, no final inversion."""
    return zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def read_image(name):
    words = []
    with open(os.path.join(HERE, "data", name)) as lod:
        for line in lod:
            line = line.strip()
            if line and not line.startswith("@"):
                words.append(int(line, 16))
    return b"".join(struct.pack("<I", word) for word in words)


def write_lod(path, image):
    with open(path, "w") as lod:
        lod.write("@%08x\n" % (0x08000000 + CODE_BASE))
        for at in range(0, len(image), 4):
            lod.write("%08x\n" % struct.unpack_from("<I", image, at))


def compressible(length, seed):
    """Firmware-like bytes: a few repeated blocks with a counter and a seed byte in them."""
    block = bytes((i * 7 + seed) & 0xFF for i in range(256))
    out = bytearray()
    while len(out) < length:
        out += block[: 252] + struct.pack("<I", len(out) + seed)
    return bytes(out[:length])


class Packer:
    def __init__(self, packcli, folder):
        self.packcli = packcli
        self.folder = folder
        self.old_path = os.path.join(HERE, "data", "old.lod")

    def pack(self, new_image):
        new_path = os.path.join(self.folder, "new.lod")
        pack_path = os.path.join(self.folder, "out.pack")
        write_lod(new_path, new_image)
        if os.path.exists(pack_path):
            os.remove(pack_path)
        subprocess.run([self.packcli, hex(FLASH_SIZE), hex(CODE_BASE), self.old_path, new_path, pack_path],
                       check=True, stdout=subprocess.DEVNULL)
        with open(pack_path, "rb") as made:
            return made.read()


def stream_of(pack):
    return lzma.LZMADecompressor(format=lzma.FORMAT_ALONE).decompress(pack[28:])


def stream(chunks):
    """A patch stream from (target, crc, records, diff bytes, literal bytes) per chunk."""
    table = struct.pack("<I", len(chunks))
    diffs = literals = b""
    for target, crc, records, diff, literal in chunks:
        table += struct.pack("<III", target, crc, len(records))
        for record in records:
            table += struct.pack("<III", *record)
        diffs += diff
        literals += literal
    return table + diffs + literals


def same_unit_chunk(old, empty_records=0):
    """Chunk 0 rebuilds the first unit from itself unchanged, after records with no bytes at all."""
    records = [(0xE0E0E0E0, 0, 0)] * empty_records + [(CODE_BASE, 4096, 0)]
    return (CODE_BASE, pack_crc(old[:4096]), records, bytes(4096), b"")


def same_size_variant(packer, new_image, size):
    """Another new image whose pack has the given size: one word changed until the sizes agree."""
    for attempt in range(1, 400):
        variant = bytearray(new_image)
        struct.pack_into("<I", variant, 4 * (attempt * 97 % (len(new_image) // 4)), attempt * 0x9E3779B1 & 0xFFFFFFFF)
        pack = packer.pack(bytes(variant))
        if len(pack) == size:
            return pack
    sys.exit("no variant of the new image gives a pack of %d bytes" % size)


def seeds(packer):
    old = read_image("old.lod")
    fuzz_new = read_image("new.lod")
    fuzz_pack = packer.pack(fuzz_new)
    # Content moved up by a block inserted near the start: walked backward.
    moved_up = (old[:2048] + compressible(1024, 3) + old[2048:])[: len(old) + 4096]
    moved_up += compressible(len(old) + 4096 - len(moved_up), 5)
    # A block removed: walked forward, the old image's tail left as it was.
    shrunk = old[:1024] + old[5120:]
    # The whole code area: one 64 KiB unit that reads itself.
    grown = old + compressible(0x10000 - len(old), 9)
    shrunk_pack = packer.pack(shrunk)

    made = {
        "fuzz_pair": settings(0, CUT_BEFORE, cut=13) + fuzz_pack,
        "fuzz_pair_signed": settings(3, SIGNED | CUT_TORN, cut=21) + fuzz_pack,
        "moved_up": settings(8, CUT_AFTER, cut=40, work_offset=3) + packer.pack(moved_up),
        "grown_64k_signed": settings(2, SIGNED | CUT_TORN, cut=7) + packer.pack(grown),
        "shrunk_finished": settings(1, 0, start=FINISHED) + shrunk_pack,
        "shrunk.stream": settings(4, STREAM | CUT_TORN, cut=9) + stream_of(shrunk_pack),
        # Sector maps: pages of 256 bytes, 16 KiB sectors the 4 KiB chunks share, one 64 KiB sector.
        "fuzz_pair_pages": settings(4, CUT_TORN, cut=30, sectors=PAGES_256) + fuzz_pack,
        "fuzz_pair_16k_sectors": settings(3, CUT_TORN, cut=11, sectors=SECTORS_16K) + fuzz_pack,
        "moved_up_64k_sector_signed": settings(8, SIGNED | CUT_AFTER, cut=25, sectors=SECTOR_64K)
        + packer.pack(moved_up),
    }

    # Fault 1: header checksums hold but the LZMA data is damaged inside the chunk table, where the
    # table walk fails and a decoder that already failed was called again (in LzmaDec.c, its input
    # pointer moved by about 2^32). It takes a decoder error in a symbol that straddles two of the
    # applier's 512-byte input blocks, so a table longer than one block: 4 bytes inserted every 24
    # give hundreds of records.
    scattered = bytearray()
    for at in range(0, len(old), 24):
        scattered += old[at : at + 24] + struct.pack("<I", at * 0x9E3779B1 & 0xFFFFFFFF)
    scattered += compressible(len(old) + 4096 - len(scattered), 11)
    damaged = bytearray(packer.pack(scattered))
    damaged[DAMAGED_TABLE_BYTE] ^= DAMAGED_TABLE_XOR
    made["fault1_lzma_damaged_in_table"] = settings() + bytes(damaged)

    # Fault 2: a store that serves the signed pack while it is hashed, then another valid pack of
    # the same size from the read after the hash: the progress meter's read of the header, then the
    # first pass, which hashes, checks and decodes the pack a 512-byte granule at a time.
    other = same_size_variant(packer, fuzz_new, len(fuzz_pack))
    after_hash = 1 + (len(fuzz_pack) + 511) // 512
    made["fault2_store_changes_after_hash"] = settings(0, SIGNED | CHANGING, swap=after_hash) + fuzz_pack + other
    # The unsigned call's store changing once that first pass is over: the applier's re-checks.
    after_check = after_hash
    made["store_changes_after_check"] = settings(0, CHANGING | CUT_TORN, cut=17, swap=after_check) + fuzz_pack + other

    # Fault 3: records with no bytes, which make a small pack a stream of any length.
    made["fault3_empty_records"] = settings(0, STREAM) + stream([same_unit_chunk(old, empty_records=3)])

    # Fault 4: a pack with no chunks on a flash that holds neither image; one whose only chunk already
    # holds, with the old image damaged outside it; and a finished flash with a unit changed that
    # keeps its checksum.
    made["fault4_no_chunks"] = settings(0, STREAM, start=DAMAGED, damage=5000) + stream([])
    made["fault4_units_hold"] = settings(0, STREAM, start=DAMAGED, damage=5000) + stream([same_unit_chunk(old)])
    made["fault4_forged_unit"] = settings(0, 0, start=FORGED, damage=100) + fuzz_pack

    # A pack read that fails once the chunks are being written: the call must not answer with a code
    # that promises an untouched flash.
    made["read_fails_after_writes"] = settings(0, 0, start=OLD_IMAGE | FAILING, swap=12) + fuzz_pack
    return made


# A byte of the scattered pair's LZMA data inside the chunk table, and a change of it that makes the
# decoder fail at the second input block's first symbol, found by trying every byte and value with
# liblzma 5.4's encoder; another encoder version may need another.
DAMAGED_TABLE_BYTE = 461
DAMAGED_TABLE_XOR = 0x49


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = os.path.join(HERE, "corpus", "device_apply")
    os.makedirs(folder, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        made = seeds(Packer(os.path.abspath(sys.argv[1]), scratch))
    for name, data in made.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
